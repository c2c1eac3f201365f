#pragma once
// What a new-mail notification says, and the port that shows it. The check
// cycle decides when mail is new; the desktop (app/) sends the notification.
#include "core/Settings.h"
#include "net/WirePOP3.h"

#include <cstddef>
#include <cstdint>
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
    TPOPAcc Account;      // the account the mail arrived on
    int32_t NewCount = 0; // how many more messages than the previous check
    std::vector<TMailHeadline> Newest; // newest first
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

// Logs in to account on pop (a client of its own, not the check's), reads
// the header blocks of messages total, total-1, ... (at most wanted of them,
// "TOP n 0") and logs out. Throws the login's, transport's and TOP's errors.
std::vector<TMailHeadline> FetchHeadlines(TWirePOP3& pop, const TPOPAcc& account, int32_t total, int32_t wanted,
                                          int32_t timeout);
