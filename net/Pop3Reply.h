// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// POP3's reply rule (RFC 1939) as this program has always read it: "+OK" is
// 1 and "-ERR" 0, any other line its first three characters as a signed
// decimal number (0 when they are none), and a line whose fourth character
// is "-" ("250-a") opens a multi-line reply that the first line starting
// with the same three characters and a blank ("250 done") closes.
// Known limits, kept on purpose: the numeric forms are no POP3 (servers
// never send them), and "+OKAY" reads as "+OK"; callers compare verdicts
// with 1 and 0 only, so the rule stays as it was rather than guessing
// what another reading might break.
#include "net/ReplyRule.h"

class TPop3ReplyRule final : public TReplyRule {
public:
    bool OpensMultiLine(std::string_view first) const override;
    bool ClosesReply(std::string_view first, std::string_view line) const override;
    // 1 for "+OK...", 0 for "-ERR...", else the number the first three
    // characters spell ("250" 250, "-12" -12, "12" 12), 0 when not one.
    int16_t Verdict(std::string_view last) const override;
};

// The verdict of a SASL challenge ("+ " and base64, RFC 5034).
inline constexpr int16_t SaslChallenge = 2;

// POP3's replies inside an AUTH exchange: a line "+" or "+ " followed by a
// challenge reads SaslChallenge, every other line as TPop3ReplyRule reads
// it. No reply of the exchange spans lines.
class TPop3SaslReplyRule final : public TReplyRule {
public:
    bool OpensMultiLine(std::string_view) const override { return false; }
    bool ClosesReply(std::string_view, std::string_view) const override { return true; }
    int16_t Verdict(std::string_view last) const override;

private:
    TPop3ReplyRule m_pop3;
};
