// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Which messages of a mailbox are new, told by their unique ids (as the
// mail drop lists them) and kept per mailbox for the whole run of the window. Counts
// cannot tell: a message that arrives while another is taken elsewhere
// leaves the count as it was, and comparing one account's count with
// another's announces the same mail on every round.
#include "core/mailbox/IdSet.h"
#include "core/mailbox/MailDrop.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// One check's listing as it streams in: each message's number and a 64-bit
// hash of its unique id (a mailbox of a million messages keeps 16 MB, not
// the ids' text).
class TListing {
public:
    // The next message of the listing.
    void Add(const TListedMessage& message);

    struct Entry {
        int32_t Number;
        uint64_t Id;
    };
    const std::vector<Entry>& Entries() const { return m_entries; }
    // False when a message came without an id: the server has no usable
    // ids and new mail is told by the count instead.
    bool HasIds() const { return m_hasIds; }
    // The number of the message with id hash, or 0 when it is not listed.
    int32_t NumberOf(uint64_t id) const;

private:
    std::vector<Entry> m_entries;
    bool m_hasIds = true;
};

// What one check found new in its mailbox.
struct TArrival {
    // The got-mail picture goes up and the sound plays.
    bool GotMail = false;
    // The mailbox was emptied since its last check: the no-mail picture.
    bool Emptied = false;
    // Numbers of the messages no notification has told of yet, newest first.
    std::vector<int32_t> Notify;
    // The id hash of Notify's first message; none when the server gives no ids.
    std::optional<uint64_t> NewestId;
};

class TArrivals {
public:
    // Connect: the next check of each mailbox announces the mail waiting
    // there (picture and sound), as does the first check of a mailbox not
    // seen before; notifications still tell only of messages never told.
    void AnnounceWaiting();

    // The decision for one check of mailbox key. listed: the listing ran to
    // its end (a broken one tells nothing and changes nothing); count: the
    // messages counted. The first check of a mailbox in the run takes what
    // waits as known, unless AnnounceWaiting came first.
    TArrival Check(const std::string& key, const TListing& listing, bool listed, int32_t count);

private:
    struct Mailbox {
        bool hasIds = false;
        TIdSet ids;
        int32_t count = 0;
        bool announce = false;
    };
    std::map<std::string, Mailbox> m_boxes;
    bool m_announceUnseen = false;
};
