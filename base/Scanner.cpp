// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/Scanner.h"

#include "base/Exception.h"
#include "base/LineReader.h"
#include "base/Report.h"
#include "base/Text.h"

#include <algorithm>
#include <cstdint>

namespace {

const char* const SkinPathNotFound =
    "SKIN PATH not found !\rCheck the TOLMU.INI line : current_skin = your skin dir.";

bool isCandidate(const std::string& line) { return !line.empty() && line.front() != ';'; }

// "[account" digits "]" as a whole line, already in lower case.
bool isAccountHeader(const std::string& lower)
{
    const std::string head = "[account";
    if (lower.size() < head.size() + 2 || lower.compare(0, head.size(), head) != 0 || lower.back() != ']')
        return false;
    for (std::size_t i = head.size(); i + 1 < lower.size(); ++i)
        if (lower[i] < '0' || lower[i] > '9')
            return false;
    return true;
}

std::string valueOf(const std::string& line)
{
    const auto eq = line.find('=');
    return TrimLeadingBlanks(eq == std::string::npos ? line : line.substr(eq + 1));
}

} // namespace

int AccountHeaderNumber(const std::string& lower)
{
    if (!isAccountHeader(lower))
        return 0;
    const std::string head = "[account";
    int n = 0;
    for (std::size_t i = head.size(); i + 1 < lower.size(); ++i) {
        if (lower[i] < '0' || lower[i] > '9')
            return 0;
        n = std::min(n * 10 + (lower[i] - '0'), 1000000);
    }
    return n;
}

std::string TrimLeadingBlanks(const std::string& text)
{
    std::size_t start = 0;
    while (text.size() - start > 1 && text[start] == ' ')
        ++start;
    return text.substr(start);
}

int32_t ParseInteger(const std::string& text)
{
    const auto invalid = [&] { return Exception("'" + text + "' is not a valid integer value"); };
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    if (i >= text.size())
        throw invalid();
    int64_t value = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c < '0' || c > '9')
            throw invalid();
        value = value * 10 + (c - '0');
        if (value > int64_t(INT32_MAX) + 1)
            throw invalid();
    }
    if (negative)
        value = -value;
    if (value > INT32_MAX || value < INT32_MIN)
        throw invalid();
    return static_cast<int32_t>(value);
}

std::string FindInSkin(const std::string& fileName, const std::string& section,
                       const std::string& key, ScanScope scope)
{
    LineReader reader(fileName, MaxLineBytes, MaxFileBytes);
    const auto unreadable = [&]() -> std::string {
        if (fileName.find("Accounts.ini") != std::string::npos)
            return "";
        report::Fatal(SkinPathNotFound);
    };
    if (reader.failed())
        return unreadable();

    const std::string wantSection = text::lower(section);
    const std::string wantKey = text::lower(key);
    std::string line;
    bool inSection = section.empty();
    bool startLine = true; // the line the search starts on is never its end
    while (reader.next(line)) {
        if (!isCandidate(line))
            continue;
        const std::string lower = text::lower(line);
        if (!inSection) {
            if (lower != wantSection)
                continue;
            inSection = true;
        } else if (scope == ScanScope::ToNextAccount && !startLine && isAccountHeader(lower)) {
            return "none";
        }
        startLine = false;
        // The header line itself is searched too: the key search starts
        // where the section search stopped.
        if (lower.find(wantKey) != std::string::npos)
            return valueOf(line);
    }
    if (reader.failed())
        return unreadable();
    return "none";
}
