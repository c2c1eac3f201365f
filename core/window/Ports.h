// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the core asks of the desktop, declared as small interfaces that the
// windows fill with Qt (app/) and tests with doubles. Plain C++: the core
// never sees a widget.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

// What a check shows on the main window.
class TCheckView {
public:
    virtual ~TCheckView() = default;
    // A status text on the status picture (its hint keeps the whole text).
    virtual void ShowStatus(const std::string& text) = 0;
    // A number on the count picture.
    virtual void ShowCount(int32_t count) = 0;
    // The pictures of the connected state: status, count, online picture
    // and its hint, notification-area icon, the no-mail picture.
    virtual void ShowConnectionState(bool online, int32_t messageCount) = 0;
    // Stops the periodic check.
    virtual void StopTimer() = 0;
};

// Message boxes and file dialogs. Every modal question of the program goes
// through one of these, so tests answer them without a person.
class TPrompt {
public:
    enum class Icon { Information, Warning, Error, Question };
    enum class Answer { Ok, Cancel, Yes, No };

    virtual ~TPrompt() = default;
    // Shows text ("\r" breaks lines) with an OK button, modally.
    virtual void Message(const std::string& text, Icon icon) = 0;
    // Asks a yes / no question; Answer::Yes or Answer::No.
    virtual Answer Ask(const std::string& text) = 0;
    // Asks to choose between two answers with these button texts:
    // Answer::Yes for the first, Answer::No for the second, Answer::Cancel
    // when the box was closed without a choice.
    virtual Answer Choose(const std::string& text, const std::string& first, const std::string& second) = 0;
    // A file to open, or nothing when cancelled. filter: "desc (*.x)".
    virtual std::optional<std::string> OpenFile(const std::string& title, const std::string& filter,
                                                const std::string& startDir) = 0;
    // A file to save to, proposing proposedName; nothing when cancelled.
    virtual std::optional<std::string> SaveFile(const std::string& title, const std::string& proposedName,
                                                const std::string& filter) = 0;
    // A folder, or nothing when cancelled.
    virtual std::optional<std::string> PickFolder(const std::string& title, const std::string& startDir) = 0;
};

// The desktop's actions: the shell's "open", starting a program, a sound.
class TDesktop {
public:
    virtual ~TDesktop() = default;
    // Opens a mailto: or web address with the desktop's handler; false when
    // nothing could be started.
    virtual bool OpenUrl(const std::string& url) = 0;
    // Starts program detached with its parameters (split as a shell would).
    virtual bool StartProgram(const std::string& program, const std::string& parameters) = 0;
    // Starts the desktop's default mail program (the handler of mailto:
    // links) as the desktop's own launcher does, without waiting for it;
    // done runs later on the interface thread with "" once it started, else
    // with why nothing started (none registered, the start failed).
    virtual void StartMailProgram(std::function<void(const std::string& problem)> done) = 0;
    // Starts playing a sound file, replacing one still playing; a file that
    // cannot be played gives the system's default sound. Never fails.
    virtual void PlaySound(const std::string& file) = 0;
};
