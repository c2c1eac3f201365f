// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Runs the built tolmu from a test as a user would: through the shell, with
// no input, its output and error text captured.
#include <string>

namespace testsupport {

struct RunResult {
    int status = -1; // exit status; -1 when the program did not exit normally
    std::string out, err;
};

// Runs `env tolmu args` (env: variable settings such as "LC_ALL=C", may be
// empty; args are passed to the shell as written). The error text passes
// through errFile, which is overwritten.
RunResult RunTolmu(const std::string& env, const std::string& args, const std::string& errFile);

} // namespace testsupport
