// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/Pop3Reply.h"

#include <string>

bool TPop3ReplyRule::OpensMultiLine(std::string_view first) const
{
    return first.size() > 3 && first[3] == '-';
}

bool TPop3ReplyRule::ClosesReply(std::string_view first, std::string_view line) const
{
    const std::string prefix = std::string(first.substr(0, 3)) + " ";
    return line.compare(0, 4, prefix) == 0;
}

int16_t TPop3ReplyRule::Verdict(std::string_view last) const
{
    if (last.compare(0, 3, "+OK") == 0)
        return 1;
    if (last.compare(0, 4, "-ERR") == 0)
        return 0;
    const std::string_view head = last.substr(0, 3);
    std::size_t i = 0;
    if (i < head.size() && (head[i] == '+' || head[i] == '-'))
        ++i;
    if (i == head.size())
        return 0;
    int value = 0;
    for (std::size_t k = i; k < head.size(); ++k) {
        if (head[k] < '0' || head[k] > '9')
            return 0;
        value = value * 10 + (head[k] - '0');
    }
    return static_cast<int16_t>(head[0] == '-' ? -value : value);
}

int16_t TPop3SaslReplyRule::Verdict(std::string_view last) const
{
    // The line layer trims blanks, so an empty challenge arrives as "+".
    if (last == "+" || last.starts_with("+ "))
        return SaslChallenge;
    return m_pop3.Verdict(last);
}
