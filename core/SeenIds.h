#pragma once
// tolmu --check --new: the unique ids each account's mailbox held at the last
// such check, kept in the user's state directory, so the next check counts
// only what arrived since. Comparing ids (not counts) stays right when mail
// is deleted from another client meanwhile.
#include "core/Settings.h"

#include <cstdint>
#include <map>
#include <string>
#include <unordered_set>

// A state file larger than this is no list of ids we wrote: it is ignored.
inline constexpr std::uintmax_t MaxSeenIdsFileBytes = std::uintmax_t(512) << 20;

// $XDG_STATE_HOME/tolmu/seen-ids; without an absolute XDG_STATE_HOME,
// $HOME/.local/state/tolmu/seen-ids. Empty when neither is set.
std::string SeenIdsPath();

// Which mailbox an account's ids belong to: user, host and port, so that
// renaming an account keeps what it has seen.
std::string SeenIdsKey(const TPOPAcc& account);

class TSeenIds {
public:
    using Ids = std::unordered_set<std::string>;

    // Reads path. A missing file is an empty store; a damaged, foreign or
    // oversized one is empty as well, with warning telling why (empty when
    // the file was fine). Never throws.
    void Load(const std::string& path, std::string& warning);
    // Writes every account's ids to path atomically, mode 0600, creating
    // its directory (0700). Throws Exception when that fails.
    void Save(const std::string& path) const;

    // The ids of key's mailbox at the last check (empty when never seen).
    const Ids& Seen(const std::string& key) const;
    // Replaces key's ids after a listing that ran to its end.
    void Replace(const std::string& key, Ids ids) { m_accounts[key] = std::move(ids); }

    // The file's text for the store (for tests and Save).
    std::string Text() const;
    // Parses text; false (store unchanged) when it is not a file of ours.
    bool Parse(const std::string& text);

private:
    std::map<std::string, Ids> m_accounts;
};

// Counts the new messages of one listing as it streams: each line
// "n unique-id" is looked up among what the last check saw.
class TNewCounter {
public:
    explicit TNewCounter(const TSeenIds::Ids& seen) : m_seen(seen) {}
    void Line(const std::string& line);
    int32_t NewCount() const { return m_new; }
    // The ids of this listing, for the next check.
    TSeenIds::Ids TakeIds() { return std::move(m_ids); }

private:
    const TSeenIds::Ids& m_seen;
    TSeenIds::Ids m_ids;
    int32_t m_new = 0;
};
