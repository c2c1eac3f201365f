// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/mailbox/Arrivals.h"

#include <algorithm>


void TListing::Add(const TListedMessage& message)
{
    if (message.Id.empty())
        m_hasIds = false;
    m_entries.push_back({message.Number, message.Id.empty() ? 0 : TIdSet::Hash(message.Id)});
}

int32_t TListing::NumberOf(uint64_t id) const
{
    if (!m_hasIds)
        return 0;
    for (const Entry& e : m_entries)
        if (e.Id == id)
            return e.Number;
    return 0;
}

void TArrivals::AnnounceWaiting()
{
    for (auto& [key, box] : m_boxes)
        box.announce = true;
    m_announceUnseen = true;
}

TArrival TArrivals::Check(const std::string& key, const TListing& listing, bool listed, int32_t count)
{
    TArrival arrival;
    if (!listed)
        return arrival;
    const auto [it, unseen] = m_boxes.try_emplace(key);
    Mailbox& box = it->second;
    const bool announce = box.announce || (unseen && m_announceUnseen);

    TIdSet ids;
    if (listing.HasIds()) {
        for (const TListing::Entry& e : listing.Entries())
            ids.Add(e.Id);
        ids.Seal();
    }

    std::vector<TListing::Entry> fresh;
    if (unseen) {
        if (announce)
            fresh = listing.Entries();
    } else if (listing.HasIds() && box.hasIds) {
        for (const TListing::Entry& e : listing.Entries())
            if (box.ids.IsNew(e.Id))
                fresh.push_back(e);
    } else {
        // No ids to go by: the messages beyond this mailbox's last count,
        // which POP3 numbers last.
        fresh = listing.Entries();
        std::sort(fresh.begin(), fresh.end(), [](const auto& a, const auto& b) { return a.Number < b.Number; });
        const std::size_t more = count > box.count ? static_cast<std::size_t>(count - box.count) : 0;
        fresh.erase(fresh.begin(), fresh.end() - static_cast<std::ptrdiff_t>(std::min(more, fresh.size())));
    }
    std::sort(fresh.begin(), fresh.end(), [](const auto& a, const auto& b) { return a.Number > b.Number; });

    arrival.GotMail = !fresh.empty() || (announce && count > 0);
    arrival.Emptied = count < 1 && !unseen && box.count > 0;
    for (const TListing::Entry& e : fresh)
        arrival.Notify.push_back(e.Number);
    if (!fresh.empty() && listing.HasIds())
        arrival.NewestId = fresh.front().Id;

    box.hasIds = listing.HasIds();
    box.ids = std::move(ids);
    box.count = count;
    box.announce = false;
    return arrival;
}
