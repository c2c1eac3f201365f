// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/mailbox/SeenIds.h"

#include "base/AtomicFile.h"
#include "base/Exception.h"
#include "net/Wire.h"
#include "net/WirePOP3.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <system_error>

namespace {

// The first line of every file we write; anything else is not ours.
const char* const Magic = "tolmu seen-ids 1";

// Ids go into blocks of this size; a reference holds the block number in
// its upper 12 bits and the offset in the lower 20, which is why an id
// always starts in a block's first MiB (a longer id gets a block of its own).
constexpr std::size_t BlockBytes = std::size_t(1) << 20;
constexpr std::size_t MaxBlocks = std::size_t(1) << 12;

const TIdList NoIds;

std::string& seenIdsOverride()
{
    static std::string path;
    return path;
}

// An id as servers give it is printable ASCII without blanks; anything else
// (a control character above all) would break the line format.
bool printableId(std::string_view id)
{
    if (id.empty())
        return false;
    for (const char ch : id) {
        const auto c = static_cast<unsigned char>(ch);
        if (c <= 0x20 || c == 0x7F)
            return false;
    }
    return true;
}

bool validKey(const std::string& key)
{
    for (const char ch : key)
        if (ch == '\n' || ch == '\r')
            return false;
    return true;
}

// The lines of a state file, read in blocks. A line longer than max (no
// line a listing can give) ends the reading with tooLong set, and a last
// line without its LF with cutOff set (we always write whole files).
class StateLines {
public:
    StateLines(std::istream& in, std::size_t max) : m_in(in), m_max(max) {}

    // The next line without its LF; false at the end (or a bad line).
    bool next(std::string& line)
    {
        line.clear();
        for (;;) {
            if (m_at == m_size && !fill()) {
                cutOff = cutOff || !line.empty();
                return !line.empty() && !cutOff;
            }
            const char* start = m_block + m_at;
            const void* lf = std::memchr(start, '\n', m_size - m_at);
            const std::size_t n = lf ? static_cast<const char*>(lf) - start : m_size - m_at;
            if (line.size() + n > m_max) {
                tooLong = true;
                return false;
            }
            line.append(start, n);
            m_at += n;
            if (lf) {
                ++m_at;
                return true;
            }
        }
    }

    bool tooLong = false;
    bool cutOff = false;

private:
    bool fill()
    {
        m_in.read(m_block, sizeof m_block);
        m_size = static_cast<std::size_t>(m_in.gcount());
        m_at = 0;
        return m_size > 0;
    }

    std::istream& m_in;
    std::size_t m_max;
    char m_block[64 * 1024];
    std::size_t m_size = 0, m_at = 0;
};

} // namespace

std::string SeenIdsPath()
{
    if (!seenIdsOverride().empty())
        return seenIdsOverride();
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state && state[0] == '/')
        return std::string(state) + "/tolmu/seen-ids";
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/')
        return std::string(home) + "/.local/state/tolmu/seen-ids";
    return {};
}

void SetSeenIdsPath(const std::string& path) { seenIdsOverride() = path; }

std::string SeenIdsKey(const TPOPAcc& account)
{
    return account.UserName + "@" + account.HostName + ":" + std::to_string(account.PortNumber);
}

bool TIdList::Add(std::string_view id)
{
    if (m_refs.size() >= static_cast<std::size_t>(MaxListingLines))
        return false;
    if (m_blocks.empty() || m_blocks.back().size() + id.size() + 1 > BlockBytes) {
        if (m_blocks.size() == MaxBlocks)
            return false;
        m_blocks.emplace_back();
        // Later blocks are known to fill up; the first grows as needed, so
        // that a short list stays small.
        if (m_blocks.size() > 1)
            m_blocks.back().reserve(std::max(BlockBytes, id.size() + 1));
    }
    std::string& block = m_blocks.back();
    m_refs.push_back(static_cast<uint32_t>((m_blocks.size() - 1) << 20 | block.size()));
    block.append(id);
    block.push_back('\n');
    m_sealed = false;
    return true;
}

std::string_view TIdList::at(uint32_t ref) const
{
    const std::string& block = m_blocks[ref >> 20];
    const std::size_t start = ref & (BlockBytes - 1);
    return std::string_view(block).substr(start, block.find('\n', start) - start);
}

void TIdList::Seal()
{
    if (m_sealed)
        return;
    // A list read back from our own file comes sorted already.
    const auto less = [this](uint32_t a, uint32_t b) { return at(a) < at(b); };
    if (!std::is_sorted(m_refs.begin(), m_refs.end(), less))
        std::sort(m_refs.begin(), m_refs.end(), less);
    m_refs.erase(std::unique(m_refs.begin(), m_refs.end(), [this](uint32_t a, uint32_t b) { return at(a) == at(b); }),
                 m_refs.end());
    m_refs.shrink_to_fit();
    m_sealed = true;
}

bool TIdList::Contains(std::string_view id) const
{
    const auto it = std::lower_bound(m_refs.begin(), m_refs.end(), id,
                                     [this](uint32_t ref, std::string_view v) { return at(ref) < v; });
    return it != m_refs.end() && at(*it) == id;
}

void TSeenIds::Load(const std::string& path, const std::set<std::string>& keys, std::string& warning)
{
    warning.clear();
    m_accounts.clear();
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    if (ec) {
        if (std::filesystem::exists(path, ec))
            warning = "cannot read " + path;
        return;
    }
    if (size > MaxSeenIdsFileBytes) {
        warning = path + " is too large for a list of ids";
        return;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        warning = "cannot read " + path;
        return;
    }
    if (!Parse(in, &keys))
        warning = in.bad() ? "cannot read " + path : path + " is damaged or not Tolmu's";
}

bool TSeenIds::Parse(std::istream& in, const std::set<std::string>* keys)
{
    std::map<std::string, TIdList> accounts;
    const auto lines = std::make_unique<StateLines>(in, MaxWireLineBytes);
    std::string line;
    if (!lines->next(line) || line != Magic)
        return false;
    TIdList* current = nullptr;
    bool inAccount = false; // an "A" line came, kept or not
    while (lines->next(line)) {
        if (line.rfind("A ", 0) == 0) {
            const std::string key = line.substr(2);
            inAccount = true;
            current = !keys || keys->count(key) ? &accounts[key] : nullptr;
        } else if (line.rfind("I ", 0) == 0 && inAccount && printableId(std::string_view(line).substr(2))) {
            // More ids than a listing may hold were never written by us.
            if (current && !current->Add(std::string_view(line).substr(2)))
                return false;
        } else {
            return false;
        }
    }
    if (lines->tooLong || lines->cutOff || in.bad())
        return false;
    for (auto& [key, ids] : accounts)
        ids.Seal();
    m_accounts = std::move(accounts);
    return true;
}

bool TSeenIds::Parse(const std::string& text)
{
    std::istringstream in(text);
    return Parse(in, nullptr);
}

template <class Sink> void TSeenIds::write(Sink& sink) const
{
    sink(Magic);
    sink("\n");
    for (const auto& [key, ids] : m_accounts) {
        if (!validKey(key))
            continue;
        sink("A ");
        sink(key);
        sink("\n");
        ids.ForEach([&sink](std::string_view id) {
            if (printableId(id)) {
                sink("I ");
                sink(id);
                sink("\n");
            }
        });
    }
}

std::string TSeenIds::Text() const
{
    std::string out;
    auto sink = [&out](std::string_view piece) { out.append(piece); };
    write(sink);
    return out;
}

void TSeenIds::Save(const std::string& path) const
{
    if (path.empty())
        throw Exception("no state directory (neither XDG_STATE_HOME nor HOME is set)");
    const std::filesystem::path dir = std::filesystem::path(path).parent_path();
    std::error_code ec;
    // Only a folder made here is narrowed to its owner: the ids say who
    // gets mail where.
    if (std::filesystem::create_directories(dir, ec))
        std::filesystem::permissions(dir, std::filesystem::perms::owner_all, ec);
    if (ec)
        throw Exception("cannot create " + dir.string() + ": " + ec.message());
    WriteFileAtomically(path, [this](const AtomicSink& sink) { write(sink); }, 0600);
}

const TIdList& TSeenIds::Seen(const std::string& key) const
{
    const auto it = m_accounts.find(key);
    return it == m_accounts.end() ? NoIds : it->second;
}

TNewCounter::TNewCounter(const TIdList& seen)
{
    seen.ForEach([this](std::string_view id) { m_seen.Add(TIdSet::Hash(id)); });
    m_seen.Seal();
}

void TNewCounter::Add(const TListedMessage& message)
{
    // A message without an id cannot be compared and counts as new every
    // time.
    const std::string_view id = message.Id;
    if (!printableId(id)) {
        ++m_new;
        return;
    }
    if (m_seen.IsNew(TIdSet::Hash(id)))
        ++m_new;
    m_ids.Add(id);
}

TIdList TNewCounter::TakeIds()
{
    m_ids.Seal();
    return std::move(m_ids);
}
