// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/mailbox/NewMailNote.h"

#include "base/Text.h"
#include "core/message/DisplayText.h"

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

std::vector<TMailHeadline> FetchHeadlines(TMailDrop& drop, const TPOPAcc& account,
                                          const TCredentialSource& credentials,
                                          const std::vector<int32_t>& numbers, int32_t timeout)
{
    std::vector<TMailHeadline> newest;
    drop.Open(account, credentials, timeout);
    try {
        TWireMessage message;
        for (const int32_t n : numbers) {
            drop.Fetch(n, message, true);
            newest.push_back({HeadlineText(message.From(), MaxNoteFrom), HeadlineText(message.Subject(), MaxNoteSubject)});
        }
    } catch (...) {
        drop.CloseQuietly();
        throw;
    }
    drop.CloseQuietly();
    return newest;
}

int32_t MessageToOpen(const TNewMailNote& note, const TListing& listing, bool listed, int32_t count)
{
    if (listed && note.NewestId) {
        const int32_t n = listing.NumberOf(*note.NewestId);
        return n > 0 ? n : std::max(0, count);
    }
    if (note.NewestNumber >= 1 && note.NewestNumber <= count)
        return note.NewestNumber;
    return std::max(0, count);
}

void OpenForNote(TMailDrop& drop, const TPOPAcc& account, const TCredentialSource& credentials, int32_t timeout,
                 const TNewMailNote* note, TNoteOpening& opening)
{
    drop.Open(account, credentials, timeout);
    if (!note)
        return;
    TListing listing;
    const TMailCount found = drop.Count([&listing](const TListedMessage& m) { listing.Add(m); });
    opening.Count = found.Count;
    opening.Number = MessageToOpen(*note, listing, found.Listed, found.Count);
}
