#include "core/SeenIds.h"

#include "base/AtomicFile.h"
#include "base/Exception.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

namespace {

// The first line of every file we write; anything else is not ours.
const char* const Magic = "tolmu seen-ids 1";

const TSeenIds::Ids NoIds;

// An id as servers give it is printable ASCII without blanks; anything else
// (a control character above all) would break the line format.
bool printableId(const std::string& id)
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

} // namespace

std::string SeenIdsPath()
{
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state && state[0] == '/')
        return std::string(state) + "/tolmu/seen-ids";
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/')
        return std::string(home) + "/.local/state/tolmu/seen-ids";
    return {};
}

std::string SeenIdsKey(const TPOPAcc& account)
{
    return account.UserName + "@" + account.HostName + ":" + std::to_string(account.PortNumber);
}

void TSeenIds::Load(const std::string& path, std::string& warning)
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
    std::ostringstream text;
    text << in.rdbuf();
    if (!in && !in.eof()) {
        warning = "cannot read " + path;
        return;
    }
    if (!Parse(text.str()))
        warning = path + " is damaged or not Tolmu's";
}

bool TSeenIds::Parse(const std::string& text)
{
    std::map<std::string, Ids> accounts;
    std::istringstream in(text);
    std::string line;
    if (!std::getline(in, line) || line != Magic)
        return false;
    Ids* current = nullptr;
    while (std::getline(in, line)) {
        if (line.rfind("A ", 0) == 0) {
            current = &accounts[line.substr(2)];
        } else if (line.rfind("I ", 0) == 0 && current && printableId(line.substr(2))) {
            current->insert(line.substr(2));
        } else {
            return false;
        }
    }
    // A file cut off mid-line was not written by us (we write whole files).
    if (!text.empty() && text.back() != '\n')
        return false;
    m_accounts = std::move(accounts);
    return true;
}

std::string TSeenIds::Text() const
{
    std::string out = std::string(Magic) + "\n";
    for (const auto& [key, ids] : m_accounts) {
        if (!validKey(key))
            continue;
        out += "A " + key + "\n";
        for (const std::string& id : ids)
            if (printableId(id))
                out += "I " + id + "\n";
    }
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
    WriteFileAtomically(path, Text(), 0600);
}

const TSeenIds::Ids& TSeenIds::Seen(const std::string& key) const
{
    const auto it = m_accounts.find(key);
    return it == m_accounts.end() ? NoIds : it->second;
}

void TNewCounter::Line(const std::string& line)
{
    // "n id": the id is the second word. A line without one cannot be
    // compared and counts as new every time.
    const std::size_t space = line.find(' ');
    const std::size_t start = space == std::string::npos ? std::string::npos : line.find_first_not_of(' ', space);
    std::string id = start == std::string::npos ? std::string() : line.substr(start);
    id.erase(id.find_last_not_of(" \t") + 1);
    if (!printableId(id)) {
        ++m_new;
        return;
    }
    if (!m_seen.count(id))
        ++m_new;
    m_ids.insert(std::move(id));
}
