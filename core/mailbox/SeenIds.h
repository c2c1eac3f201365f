// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// tolmu --check --new: the unique ids each account's mailbox held at the last
// such check, kept in the user's state directory, so the next check counts
// only what arrived since. Comparing ids (not counts) stays right when mail
// is deleted from another client meanwhile.
#include "core/accounts/Account.h"
#include "core/mailbox/IdSet.h"
#include "core/mailbox/MailDrop.h"

#include <cstdint>
#include <istream>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

// A state file larger than this is no list of ids we wrote: it is ignored.
inline constexpr std::uintmax_t MaxSeenIdsFileBytes = std::uintmax_t(512) << 20;

// $XDG_STATE_HOME/tolmu/seen-ids; without an absolute XDG_STATE_HOME,
// $HOME/.local/state/tolmu/seen-ids. Empty when neither is set. A path set
// with SetSeenIdsPath wins.
std::string SeenIdsPath();

// Puts the state file at path instead (the demo keeps its own in its
// temporary folder); an empty path goes back to the user's state folder.
void SetSeenIdsPath(const std::string& path);

// Which mailbox an account's ids belong to: user, host and port, so that
// renaming an account keeps what it has seen.
std::string SeenIdsKey(const TPOPAcc& account);

// The unique ids of one mailbox, kept compactly: the ids themselves in
// blocks of text and one 4-byte reference each, sorted, so that a list costs
// little more than its bytes (a set of strings costs several times that).
// Holds at most MaxListingLines ids, the most a listing may have.
class TIdList {
public:
    // Adds id while the list is being built (Contains waits for Seal).
    // False, adding nothing, when the list is full.
    bool Add(std::string_view id);
    // Sorts the ids and drops repeats; Contains works from then on.
    void Seal();
    bool Contains(std::string_view id) const;
    std::size_t Size() const { return m_refs.size(); }
    // Calls visit with each id, in sorted order once sealed.
    template <class Visit> void ForEach(Visit visit) const
    {
        for (const uint32_t ref : m_refs)
            visit(at(ref));
    }

private:
    std::string_view at(uint32_t ref) const;

    std::vector<std::string> m_blocks; // ids, each ended by '\n'
    std::vector<uint32_t> m_refs;      // block number << 20 | offset in it
    bool m_sealed = true;
};

class TSeenIds {
public:
    // Reads path line by line, keeping only the ids of the mailboxes named
    // in keys (those of the accounts still configured): the rest are read
    // past and dropped at the next Save. A missing file is an empty store; a
    // damaged, foreign or oversized one (or one with more ids for a mailbox
    // than a listing may hold) is empty as well, with warning telling why
    // (empty when the file was fine). Never throws.
    void Load(const std::string& path, const std::set<std::string>& keys, std::string& warning);
    // Writes every account's ids to path atomically, mode 0600, creating
    // its directory (0700). Throws Exception when that fails.
    void Save(const std::string& path) const;

    // The ids of key's mailbox at the last check (empty when never seen).
    const TIdList& Seen(const std::string& key) const;
    // Replaces key's ids after a listing that ran to its end.
    void Replace(const std::string& key, TIdList ids) { m_accounts[key] = std::move(ids); }

    // The file's text for the store (for tests; Save streams it instead).
    std::string Text() const;
    // Parses a state file's text, keeping the mailboxes in keys (all of
    // them without keys); false (store unchanged) when it is not a file of
    // ours.
    bool Parse(std::istream& in, const std::set<std::string>* keys = nullptr);
    bool Parse(const std::string& text);

private:
    template <class Sink> void write(Sink& sink) const;

    std::map<std::string, TIdList> m_accounts;
};

// Counts the new messages of one listing as it streams: each message's id
// is looked up among what the last check saw.
class TNewCounter {
public:
    // Compares by the ids' hashes, as the window does (core/mailbox/IdSet.h).
    explicit TNewCounter(const TIdList& seen);
    // The next listed message; one without a usable id counts as new.
    void Add(const TListedMessage& message);
    int32_t NewCount() const { return m_new; }
    // The ids of this listing, for the next check.
    TIdList TakeIds();

private:
    TIdSet m_seen;
    TIdList m_ids;
    int32_t m_new = 0;
};
