// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/RunTolmu.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <sys/wait.h>

namespace testsupport {

RunResult RunTolmu(const std::string& env, const std::string& args, const std::string& errFile)
{
    const std::string cmd =
        env + " '" TOLMU_BINARY_DIR "/tolmu' " + args + " 2>'" + errFile + "' </dev/null";
    RunResult r;
    FILE* p = ::popen(cmd.c_str(), "r");
    if (p == nullptr)
        return r;
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
        r.out.append(buf, n);
    const int st = ::pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    std::ifstream in(errFile, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    r.err = s.str();
    return r;
}

} // namespace testsupport
