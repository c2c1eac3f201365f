#include "core/NewMailNote.h"

#include "base/Text.h"
#include "core/DisplayText.h"
#include "core/MailSession.h"

#include <algorithm>

namespace {

bool isContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

} // namespace

std::string HeadlineText(std::string_view raw, std::size_t maxChars)
{
    const std::string decoded = text::escapeBidiControls(DisplayHeader(raw));
    std::string line;
    line.reserve(decoded.size());
    bool blank = true; // drops leading blanks and runs of them
    for (const char ch : decoded) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c == 0x7F || c == ' ') {
            if (!blank)
                line += ' ';
            blank = true;
            continue;
        }
        line += ch;
        blank = false;
    }
    if (!line.empty() && line.back() == ' ')
        line.pop_back();

    std::size_t chars = 0;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (isContinuation(static_cast<unsigned char>(line[i])))
            continue;
        if (chars == maxChars) {
            // Cut before a whole character, never inside one.
            line.erase(i);
            while (!line.empty() && line.back() == ' ')
                line.pop_back();
            return line + "\xE2\x80\xA6";
        }
        ++chars;
    }
    return line;
}

std::vector<TMailHeadline> FetchHeadlines(TWirePOP3& pop, const TPOPAcc& account, int32_t total, int32_t wanted,
                                          int32_t timeout)
{
    std::vector<TMailHeadline> newest;
    TMailSession session(pop);
    session.Open(account, timeout);
    try {
        TWireMessage message;
        const int32_t last = std::max(1, total - std::max(0, wanted) + 1);
        for (int32_t n = total; n >= last; --n) {
            session.Fetch(n, message, true);
            newest.push_back({HeadlineText(message.From(), MaxNoteFrom), HeadlineText(message.Subject(), MaxNoteSubject)});
        }
    } catch (...) {
        session.CloseQuietly();
        throw;
    }
    session.CloseQuietly();
    return newest;
}
