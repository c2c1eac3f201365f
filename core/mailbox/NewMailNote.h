// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a new-mail notification says, and the port that shows it. The check
// cycle decides when mail is new; the desktop (app/) sends the notification.
#include "core/accounts/AccountId.h"
#include "core/mailbox/Arrivals.h"
#include "core/accounts/CredentialSource.h"
#include "core/mailbox/MailDrop.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Longest sender and subject a notification shows, in characters: enough to
// recognise a message, short enough for a popup.
inline constexpr std::size_t MaxNoteFrom = 60;
inline constexpr std::size_t MaxNoteSubject = 100;
// Newest messages listed in one notification.
inline constexpr int32_t MaxNoteMessages = 3;

// One message as a notification lists it: decoded UTF-8, one line, cut.
struct TMailHeadline {
    std::string From;
    std::string Subject;
    bool operator==(const TMailHeadline&) const = default;
};

struct TNewMailNote {
    TAccountId Account;   // the account the mail arrived on, without its secret
    int32_t NewCount = 0; // messages no notification told of before
    std::vector<TMailHeadline> Newest; // newest first
    // The newest of them: its number at the check, and its id hash when the
    // server gives ids (the number may have moved by the time of a click).
    int32_t NewestNumber = 0;
    std::optional<uint64_t> NewestId;
};

// The desktop's notifications.
class TNotifier {
public:
    virtual ~TNotifier() = default;
    // Whether a notification service is there to take one now; without it
    // the headers are not fetched at all.
    virtual bool Available() = 0;
    // Shows note; failures are ignored (a notification is a courtesy).
    virtual void NotifyNewMail(const TNewMailNote& note) = 0;
};

// A header value for a notification line: encoded words decoded, control
// characters and line breaks made blanks, bidirectional controls shown as
// "\u202E"-style escapes, blanks collapsed and trimmed, cut
// to at most maxChars UTF-8 characters with "…" marking the cut.
std::string HeadlineText(std::string_view raw, std::size_t maxChars);

// Logs in to account on drop (one of its own, not the check's), reads the
// header blocks of messages numbers, in order, and logs out. Throws the
// login's, transport's and header fetch's errors.
std::vector<TMailHeadline> FetchHeadlines(TMailDrop& drop, const TPOPAcc& account,
                                          const TCredentialSource& credentials,
                                          const std::vector<int32_t>& numbers, int32_t timeout);

// The message a click on note opens, given the mailbox's listing now: the
// newest new message found by its id; without ids (or a whole listing) its
// number from the check while that still exists; when it is gone, the
// newest message (0 for an empty mailbox).
int32_t MessageToOpen(const TNewMailNote& note, const TListing& listing, bool listed, int32_t count);

// Where the message window opens after OpenForNote.
struct TNoteOpening {
    int32_t Number = 1;
    int32_t Count = -1; // counted again (the bound for paging); -1: not counted
};

// The mail job behind the message window: logs in to account on drop (the
// worker's, which the window then reads over) and, for a click on note,
// lists the mailbox again and finds the message to open (mail may have come
// and gone since). opening.Number stays as given without a note. Throws the
// login's errors.
void OpenForNote(TMailDrop& drop, const TPOPAcc& account, const TCredentialSource& credentials, int32_t timeout,
                 const TNewMailNote* note, TNoteOpening& opening);
