// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The ids a mailbox held at one look, to tell at the next which messages
// are new: the one rule of the window (core/mailbox/Arrivals.h) and of
// tolmu --check --new (core/mailbox/SeenIds.h). Kept as 64-bit hashes of
// the ids, sorted: a million ids keep 8 MB, not their text, and two ids of
// one mailbox meet by chance about never.
#include <algorithm>
#include <cstdint>
#include <string_view>
#include <vector>

class TIdSet {
public:
    // The hash every id is kept and compared by (FNV-1a).
    static uint64_t Hash(std::string_view id)
    {
        uint64_t h = 14695981039346656037ull;
        for (const char c : id) {
            h ^= static_cast<unsigned char>(c);
            h *= 1099511628211ull;
        }
        return h;
    }

    // Adds an id's hash while the set is being built.
    void Add(uint64_t hash) { m_hashes.push_back(hash); }
    // Sorts and drops repeats; IsNew works from then on.
    void Seal()
    {
        std::sort(m_hashes.begin(), m_hashes.end());
        m_hashes.erase(std::unique(m_hashes.begin(), m_hashes.end()), m_hashes.end());
    }
    // Whether a message whose id has this hash is new to the mailbox: the
    // set, sealed, does not hold it.
    bool IsNew(uint64_t hash) const { return !std::binary_search(m_hashes.begin(), m_hashes.end(), hash); }
    std::size_t Size() const { return m_hashes.size(); }

private:
    std::vector<uint64_t> m_hashes;
};
