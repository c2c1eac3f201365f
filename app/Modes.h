// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The mode words of the command line, read by both programs: tolmu runs the
// plain modes itself and hands the drawing ones to tolmu-gui, which runs
// only those.
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

using Args = std::vector<std::string>;

enum class Mode { Check, Show, Summary, RenderSkin, SignIn };

struct ModeWord {
    const char* word;
    Mode mode;
    bool drawn; // needs Qt: runs in tolmu-gui
};

inline constexpr ModeWord ModeWords[] = {
    {"--check", Mode::Check, false},
    {"--show", Mode::Show, false},
    {"--summary", Mode::Summary, false},
    {"--render-skin", Mode::RenderSkin, true},
    {"--sign-in", Mode::SignIn, false},
};

struct ModeCall {
    ModeWord word;
    Args args; // the mode's own operands, then the options before its word
};

// The first mode word of args with its arguments, or nothing when args name
// no mode (the main window). The word may follow options
// ("--config-dir D --check").
std::optional<ModeCall> FindMode(const Args& args);
