// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/accounts/AccountsExtra.h"

#include "base/AtomicFile.h"
#include "base/Exception.h"
#include "base/Text.h"

#include <cerrno>
#include <cstring>
#include <string_view>
#include <utility>

namespace {

struct SecurityName {
    TSecurity security;
    std::string_view word;
    std::string_view text;
};

constexpr SecurityName SecurityNames[] = {
    {TSecurity::TlsFirstByte, "tls-first-byte", "TLS from the first byte"},
    {TSecurity::TlsWhenOffered, "tls-when-offered", "TLS when offered"},
    {TSecurity::TlsRequired, "tls-required", "TLS required"},
    {TSecurity::Unencrypted, "unencrypted", "Unencrypted (not recommended)"},
};

constexpr std::string_view FileName = "AccountsExtra.ini";

// The file is small; anything larger is not ours and is not read whole.
constexpr std::size_t MaxExtraFileBytes = 64 * 1024;

// "[AccountN]" with N in 1..MaxAccounts (any letter case), else 0.
int sectionNumber(std::string_view line)
{
    constexpr std::string_view head = "[account";
    if (line.size() < head.size() + 2 || !text::sameText(line.substr(0, head.size()), head) || line.back() != ']')
        return 0;
    const std::string_view digits = line.substr(head.size(), line.size() - head.size() - 1);
    if (digits.empty() || digits.size() > 2)
        return 0;
    int n = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9')
            return 0;
        n = n * 10 + (c - '0');
    }
    return n >= 1 && n <= MaxAccounts ? n : 0;
}

// The OAuth2 settings kept as text, under their keys, in the order they
// are written.
constexpr std::pair<std::string_view, std::string TOAuthSettings::*> OAuthTexts[] = {
    {"provider", &TOAuthSettings::Provider},
    {"authorization_endpoint", &TOAuthSettings::AuthorizationEndpoint},
    {"token_endpoint", &TOAuthSettings::TokenEndpoint},
    {"client_id", &TOAuthSettings::ClientId},
    {"client_secret", &TOAuthSettings::ClientSecret},
    {"scope", &TOAuthSettings::Scope},
};

// The OAuth2 setting a key names, in the entry's settings once sign_in =
// oauth2 came before it; nullptr otherwise.
std::string* oauthField(std::optional<TPOPAcc::TOAuth>& oauth, const std::string& key)
{
    if (!oauth)
        return nullptr;
    for (const auto& [name, member] : OAuthTexts)
        if (key == name)
            return &(*oauth.*member);
    return nullptr;
}

std::string where(std::size_t lineNumber)
{
    return std::string(FileName) + " line " + std::to_string(lineNumber) + ": ";
}

constexpr const char* TlsSeenKey = "tls_offered";
constexpr const char* ClearTextKey = "clear_text";

// The keys this copy reads.
constexpr std::string_view KnownKeys[] = {"acc_name", "security", "secret", "sign_in", "token_place",
                                          "provider", "authorization_endpoint", "token_endpoint", "client_id",
                                          "client_secret", "scope", "tls_offered", "clear_text"};

// A key as a later copy would spell one: lower-case letters, digits and '_'.
bool plainKey(std::string_view key)
{
    if (key.empty())
        return false;
    for (const char c : key)
        if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_'))
            return false;
    return true;
}

// Whether a and b differ by at most one byte changed, added or removed.
bool withinOneEdit(std::string_view a, std::string_view b)
{
    if (a.size() > b.size())
        std::swap(a, b);
    if (b.size() - a.size() > 1)
        return false;
    std::size_t i = 0;
    while (i < a.size() && a[i] == b[i])
        ++i;
    if (a.size() == b.size())
        return a.substr(i + (i < a.size())) == b.substr(i + (i < b.size()));
    return a.substr(i) == b.substr(i + 1);
}

// One byte away from a key of ours (or the key itself): what a damaged byte
// makes of it. Later copies keep their own keys further from ours.
bool nearKnownKey(std::string_view key)
{
    for (const std::string_view known : KnownKeys)
        if (withinOneEdit(key, known))
            return true;
    return false;
}

// A line that begins one byte away from a key of ours ("tl=_offered",
// ";ecurity"): a damaged byte, not a key of a later copy.
bool damagedKnownKey(std::string_view lowerLine)
{
    for (const std::string_view known : KnownKeys) {
        if (lowerLine.size() < known.size())
            continue;
        int differences = 0;
        for (std::size_t i = 0; i < known.size(); ++i)
            differences += lowerLine[i] != known[i];
        if (differences == 1)
            return true;
    }
    return false;
}

bool yesOrNo(std::string_view value, bool& out)
{
    if (text::sameText(value, "yes"))
        out = true;
    else if (text::sameText(value, "no"))
        out = false;
    else
        return false;
    return true;
}

} // namespace

std::string_view SecurityText(TSecurity security)
{
    for (const SecurityName& n : SecurityNames)
        if (n.security == security)
            return n.text;
    return {};
}

std::string_view SecurityWord(TSecurity security)
{
    for (const SecurityName& n : SecurityNames)
        if (n.security == security)
            return n.word;
    return {};
}

std::optional<TSecurity> SecurityFromWord(std::string_view word)
{
    for (const SecurityName& n : SecurityNames)
        if (text::sameText(word, n.word))
            return n.security;
    return std::nullopt;
}

std::vector<TAccountExtra> ParseAccountsExtra(std::string_view content, std::vector<std::string>& outside)
{
    std::vector<TAccountExtra> entries;
    std::optional<std::size_t> current; // index into entries
    const auto fail = [&](std::size_t lineNumber, const std::string& why) {
        const std::string text = where(lineNumber) + why;
        if (!current)
            outside.push_back(text);
        else if (entries[*current].Error.empty())
            entries[*current].Error = text;
    };
    std::size_t lineNumber = 0;
    while (!content.empty()) {
        ++lineNumber;
        // CR LF, LF or a lone CR each end a line: a lone CR in a value must
        // not hide a second line inside the first.
        const std::size_t eol = content.find_first_of("\r\n");
        const std::string_view raw = content.substr(0, eol);
        std::size_t next = eol == std::string_view::npos ? content.size() : eol + 1;
        if (eol != std::string_view::npos && content[eol] == '\r' && next < content.size() && content[next] == '\n')
            ++next;
        const std::string_view line = text::trim(raw);
        if (current && (line.empty() || line.front() != '['))
            entries[*current].Raw += content.substr(0, next);
        content.remove_prefix(next);
        if (line.empty())
            continue;
        if (line.front() == ';' || line.front() == '#') {
            // A damaged first byte must not turn a setting into a comment.
            if (damagedKnownKey(text::lower(line)))
                fail(lineNumber, "\"" + std::string(line) + "\" cannot be read");
            continue;
        }
        if (line.front() == '[') {
            const int n = sectionNumber(line);
            entries.push_back({});
            current = entries.size() - 1;
            entries.back().Position = n;
            entries.back().Line = lineNumber;
            if (n == 0)
                entries.back().Error = where(lineNumber) + "\"" + std::string(line) + "\" is no account section";
            continue;
        }
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos) {
            fail(lineNumber, "\"" + std::string(line) + "\" cannot be read");
            continue;
        }
        if (!current) {
            fail(lineNumber, "\"" + std::string(line) + "\" is outside any account section");
            continue;
        }
        TAccountExtra& e = entries[*current];
        const std::string key = text::lower(text::trim(line.substr(0, eq)));
        const std::string_view value = text::trim(line.substr(eq + 1));
        const std::string quoted = "'" + std::string(value) + "'";
        if (key == "acc_name") {
            e.AccName = std::string(value);
        } else if (key == "security") {
            e.Security = SecurityFromWord(value);
            if (!e.Security)
                fail(lineNumber, quoted + " is not a security choice");
        } else if (key == "sign_in") {
            if (text::sameText(value, "oauth2"))
                e.OAuth.emplace();
            else if (!text::sameText(value, "password"))
                fail(lineNumber, quoted + " is not a way to sign in");
        } else if (std::string* field = oauthField(e.OAuth, key)) {
            *field = std::string(value);
        } else if (key == "token_place") {
            if (!text::sameText(value, "file") && !text::sameText(value, "keyring"))
                fail(lineNumber, quoted + " is not a place for a sign-in");
            else if (e.OAuth)
                e.OAuth->TokenInFile = text::sameText(value, "file");
        } else if (key == "secret") {
            if (text::sameText(value, "keyring"))
                e.SecretInKeyring = true;
            else if (!text::sameText(value, "accounts-ini"))
                fail(lineNumber, quoted + " is not a place for a password");
        } else if (key == TlsSeenKey) {
            if (!yesOrNo(value, e.TlsSeen))
                fail(lineNumber, quoted + " is neither yes nor no");
        } else if (key == ClearTextKey) {
            if (text::sameText(value, "allowed"))
                e.ClearTextAllowed = true;
            else if (!text::sameText(value, "refused"))
                fail(lineNumber, quoted + " is neither allowed nor refused");
        } else if (!plainKey(key) || nearKnownKey(key) || damagedKnownKey(text::lower(line))) {
            // Keys of later copies are plain words; anything else, or a
            // word one letter off one of ours, is a damaged line.
            fail(lineNumber, "\"" + std::string(line) + "\" cannot be read");
        }
    }
    return entries;
}

std::string FormatAccountsExtra(std::span<const TPOPAcc> accounts)
{
    std::string out = "; Tolmu: account settings beside Accounts.ini (older copies do not read this file)\r\n";
    for (std::size_t i = 0; i < accounts.size(); ++i) {
        const TPOPAcc& acc = accounts[i];
        const bool inKeyring = acc.SecretPlace == TPOPAcc::TSecretPlace::Keyring;
        if (!acc.Broken.empty() && !acc.RawExtra.empty()) {
            // What could not be read is kept as it stands, to be mended.
            out += "\r\n[Account" + std::to_string(i + 1) + "]\r\n" + text::withoutLastBlankLine(acc.RawExtra);
            continue;
        }
        if (!acc.Security && !inKeyring && !acc.OAuth && !acc.TlsSeen && !acc.ClearTextAllowed)
            continue;
        out += "\r\n[Account" + std::to_string(i + 1) + "]\r\n";
        out += "acc_name = " + acc.AccName + "\r\n";
        if (acc.Security)
            out += "security = " + std::string(SecurityWord(*acc.Security)) + "\r\n";
        if (acc.TlsSeen)
            out += std::string(TlsSeenKey) + " = yes\r\n";
        if (acc.ClearTextAllowed)
            out += std::string(ClearTextKey) + " = allowed\r\n";
        if (inKeyring)
            out += "secret = keyring\r\n";
        if (acc.OAuth) {
            const TPOPAcc::TOAuth& o = *acc.OAuth;
            out += "sign_in = oauth2\r\n";
            for (const auto& [name, member] : OAuthTexts) {
                const std::string& value = o.*member;
                // A line break would let a typed-in value add keys of its own.
                if (value.find_first_of("\r\n") != std::string::npos)
                    throw Exception("An OAuth2 setting must not contain a line break");
                // Most installed-app clients have no secret.
                if (member == &TOAuthSettings::ClientSecret && value.empty())
                    continue;
                out += std::string(name) + " = " + value + "\r\n";
            }
            out += std::string("token_place = ") + (o.TokenInFile ? "file" : "keyring") + "\r\n";
        }
    }
    return out;
}

TExtraRead ApplyAccountsExtra(std::span<TPOPAcc> accounts, const std::string& path)
{
    TExtraRead read;
    for (TPOPAcc& acc : accounts) {
        acc.Security.reset();
        acc.OAuth.reset();
        acc.SecretPlace = TPOPAcc::TSecretPlace::AccountsIni;
        acc.TlsSeen = acc.ClearTextAllowed = false;
        acc.RawExtra.clear();
    }
    const auto failEvery = [&](const std::string& why) {
        read.Unusable = why;
        for (TPOPAcc& acc : accounts)
            if (acc.Broken.empty())
                acc.Broken = why;
        return read;
    };
    std::string content;
    const std::string tooLarge = std::string(FileName) + " is larger than " +
        std::to_string(MaxExtraFileBytes / 1024) + " KiB, which Tolmu never writes";
    switch (ReadSmallFile(path, MaxExtraFileBytes, content)) {
    case TSmallFile::Read:
        break;
    case TSmallFile::Missing:
        if (!accounts.empty())
            read.Warning = std::string(FileName) + " not found: every account uses its default security";
        return read;
    case TSmallFile::NotRegular:
        return failEvery(std::string(FileName) + " cannot be read (it is no regular file)");
    case TSmallFile::TooLarge:
        return failEvery(tooLarge);
    case TSmallFile::Failed:
        // What it would have said is unknown: none of its accounts is used.
        return failEvery(std::string(FileName) + " cannot be read (" + std::strerror(errno) + ")");
    }

    std::vector<std::string> outside;
    std::vector<TAccountExtra> entries = ParseAccountsExtra(content, outside);
    std::vector<bool> used(entries.size(), false);
    std::vector<bool> placed(accounts.size(), false);
    const auto take = [&](std::size_t k, std::size_t i) {
        used[k] = true;
        placed[i] = true;
        TPOPAcc& acc = accounts[i];
        const TAccountExtra& e = entries[k];
        acc.RawExtra = e.Raw;
        if (!e.Error.empty()) {
            // Never weaker than the file says: what it says is unknown.
            if (acc.Broken.empty())
                acc.Broken = e.Error;
            return;
        }
        acc.Security = e.Security;
        acc.OAuth = e.OAuth;
        acc.TlsSeen = e.TlsSeen;
        acc.ClearTextAllowed = e.ClearTextAllowed;
        // A password still in Accounts.ini (an older copy wrote it) is used.
        if (e.SecretInKeyring && acc.Password.empty())
            acc.SecretPlace = TPOPAcc::TSecretPlace::Keyring;
    };
    // First the entries at their account's place, then the ones an edit by
    // hand or an older copy moved, found by name; two accounts of one name
    // each take the entry at their own place first.
    for (std::size_t i = 0; i < accounts.size(); ++i)
        for (std::size_t k = 0; k < entries.size(); ++k)
            if (!used[k] && entries[k].Position == static_cast<int>(i + 1) && !entries[k].AccName.empty() &&
                entries[k].AccName == accounts[i].AccName) {
                take(k, i);
                break;
            }
    for (std::size_t i = 0; i < accounts.size(); ++i)
        if (!placed[i])
            for (std::size_t k = 0; k < entries.size(); ++k)
                if (!used[k] && entries[k].Position != 0 && !entries[k].AccName.empty() &&
                    entries[k].AccName == accounts[i].AccName) {
                    take(k, i);
                    break;
                }
    // A section without a name belongs to the account at its place; one
    // whose header cannot be read to the account it names, or else to any
    // account without an entry of its own: each of those fails.
    for (const TAccountExtra& e : entries) {
        if (e.Position == 0) {
            read.Unusable = e.Error;
            for (std::size_t i = 0; i < accounts.size(); ++i)
                if ((e.AccName.empty() ? !placed[i] : accounts[i].AccName == e.AccName) && accounts[i].Broken.empty())
                    accounts[i].Broken = e.Error;
        } else if (e.AccName.empty()) {
            const std::size_t i = static_cast<std::size_t>(e.Position) - 1;
            if (i < accounts.size() && !placed[i]) {
                placed[i] = true;
                accounts[i].RawExtra = e.Raw;
                if (accounts[i].Broken.empty())
                    accounts[i].Broken = e.Error.empty()
                        ? where(e.Line) + "[Account" + std::to_string(e.Position) + "] has no acc_name"
                        : e.Error;
            }
        }
    }
    for (const std::string& why : outside) {
        read.Unusable = why;
        for (std::size_t i = 0; i < accounts.size(); ++i)
            if (!placed[i] && accounts[i].Broken.empty())
                accounts[i].Broken = why;
    }
    return read;
}

void WriteAccountsExtra(std::span<const TPOPAcc> accounts, const std::string& path)
{
    WriteFileAtomically(path, FormatAccountsExtra(accounts), 0600);
}
