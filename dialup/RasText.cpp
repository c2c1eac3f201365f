// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialup/RasText.h"

#include <algorithm>

namespace dialup {

namespace {

bool endsWith(std::string_view s, std::string_view tail)
{
    return s.size() >= tail.size() && s.substr(s.size() - tail.size()) == tail;
}

// The kernel's PID_MAX_LIMIT on 64-bit systems; no live pid is larger.
constexpr long maxPid = 4194304;

} // namespace

bool IsUsableEntryName(std::string_view name)
{
    if (name.empty() || name.size() > MaxEntryNameBytes || name == "." || name == "..")
        return false;
    return std::none_of(name.begin(), name.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return c == '/' || u < 32 || u == 127;
    });
}

bool IsPeerFileName(std::string_view name)
{
    return IsUsableEntryName(name) && name.front() != '.' && !endsWith(name, "~") && !endsWith(name, ".bak") &&
           name.find(".dpkg-") == std::string_view::npos;
}

std::optional<pid_t> ParsePidFile(std::string_view text)
{
    std::size_t i = 0;
    long value = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        value = value * 10 + (text[i] - '0');
        if (value > maxPid)
            return std::nullopt;
        ++i;
    }
    if (i == 0 || value == 0)
        return std::nullopt;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    if (i < text.size() && text[i] != '\n' && text[i] != '\r')
        return std::nullopt;
    return static_cast<pid_t>(value);
}

std::vector<std::string> SplitCmdline(std::string_view image)
{
    std::vector<std::string> argv;
    std::size_t start = 0;
    while (start < image.size()) {
        std::size_t end = image.find('\0', start);
        if (end == std::string_view::npos)
            end = image.size();
        argv.emplace_back(image.substr(start, end - start));
        start = end + 1;
    }
    return argv;
}

namespace {

bool isPppdProgram(std::string_view program)
{
    const std::size_t slash = program.rfind('/');
    return program.substr(slash == std::string_view::npos ? 0 : slash + 1) == "pppd";
}

} // namespace

std::optional<std::string> PppdCallEntry(const std::vector<std::string>& argv)
{
    if (argv.size() < 3 || argv[1] != "call" || !IsUsableEntryName(argv[2]) || !isPppdProgram(argv[0]))
        return std::nullopt;
    return argv[2];
}

bool PppdNamesEntry(const std::vector<std::string>& argv, const std::string& name)
{
    if (argv.empty() || !isPppdProgram(argv[0]) || !IsUsableEntryName(name))
        return false;
    if (PppdCallEntry(argv) == name)
        return true;
    for (std::size_t i = 1; i + 1 < argv.size(); ++i)
        if (argv[i] == "linkname" && argv[i + 1] == name)
            return true;
    return false;
}

} // namespace dialup
