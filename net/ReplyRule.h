// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How a protocol reads its replies: the part of the exchange that the line
// layer (TWireSocket::ReadResponse) leaves to the protocol. The line layer
// reads the lines (skipping empty ones, trimming blanks), keeps the time and
// size bounds, logs and collects; the rule says whether a reply goes on past
// its first line, which line closes it, and what it answered. POP3 plugs in
// TPop3ReplyRule; a tagged protocol (IMAP: untagged "* " lines closed by
// "A1 OK") or a SASL exchange (a "+ " challenge) plugs in its own.
#include <cstdint>
#include <string_view>

class TReplyRule {
public:
    virtual ~TReplyRule() = default;

    // Whether first, the first line of a reply (non-empty, trimmed), opens a
    // multi-line reply: the line layer then reads on, line by line, until
    // ClosesReply says a line closes it.
    virtual bool OpensMultiLine(std::string_view first) const = 0;
    // Whether line (non-empty, trimmed) closes the multi-line reply that
    // first opened.
    virtual bool ClosesReply(std::string_view first, std::string_view line) const = 0;
    // The verdict of a reply whose closing (or only) line is last: what
    // ResultCode holds and what SendCommand compares with its expectation.
    virtual int16_t Verdict(std::string_view last) const = 0;
};
