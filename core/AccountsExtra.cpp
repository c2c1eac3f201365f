// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/AccountsExtra.h"

#include "base/AtomicFile.h"
#include "base/Exception.h"
#include "base/Text.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
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
constexpr std::streamsize MaxExtraFileBytes = 64 * 1024;

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

std::vector<TAccountExtra> ParseAccountsExtra(std::string_view content, std::vector<std::string>& warnings)
{
    std::vector<TAccountExtra> entries;
    TAccountExtra* current = nullptr;
    std::size_t currentLine = 0;
    const auto closeSection = [&] {
        if (current && current->AccName.empty()) {
            warnings.push_back(where(currentLine) + "[Account" + std::to_string(current->Position) +
                               "] has no acc_name; it is left out");
            entries.pop_back();
        }
        current = nullptr;
    };
    std::size_t lineNumber = 0;
    while (!content.empty()) {
        ++lineNumber;
        const std::size_t eol = content.find('\n');
        const std::string_view raw = content.substr(0, eol);
        content.remove_prefix(eol == std::string_view::npos ? content.size() : eol + 1);
        const std::string_view line = text::trim(raw);
        if (line.empty() || line.front() == ';' || line.front() == '#')
            continue;
        if (line.front() == '[') {
            closeSection();
            const int n = sectionNumber(line);
            if (n == 0) {
                warnings.push_back(where(lineNumber) + "\"" + std::string(line) + "\" is no account section");
                continue;
            }
            entries.push_back({n, {}, std::nullopt, false, std::nullopt});
            current = &entries.back();
            currentLine = lineNumber;
            continue;
        }
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos || !current) {
            warnings.push_back(where(lineNumber) + "cannot be read");
            continue;
        }
        const std::string key = text::lower(text::trim(line.substr(0, eq)));
        const std::string_view value = text::trim(line.substr(eq + 1));
        if (key == "acc_name") {
            current->AccName = std::string(value);
        } else if (key == "security") {
            current->Security = SecurityFromWord(value);
            if (!current->Security)
                warnings.push_back(where(lineNumber) + "unknown security \"" + std::string(value) +
                                   "\"; that account uses TLS when offered");
        } else if (key == "sign_in") {
            if (text::sameText(value, "oauth2"))
                current->OAuth.emplace();
            else if (!text::sameText(value, "password"))
                warnings.push_back(where(lineNumber) + "unknown sign_in \"" + std::string(value) + "\"");
        } else if (std::string* field = oauthField(current->OAuth, key)) {
            *field = std::string(value);
        } else if (key == "token_place") {
            if (current->OAuth)
                current->OAuth->TokenInFile = text::sameText(value, "file");
        } else if (key == "secret") {
            if (text::sameText(value, "keyring"))
                current->SecretInKeyring = true;
            else if (!text::sameText(value, "accounts-ini"))
                warnings.push_back(where(lineNumber) + "unknown secret place \"" + std::string(value) +
                                   "\"; that account's password is read from Accounts.ini");
        }
        // Other keys belong to other copies of Tolmu.
    }
    closeSection();
    return entries;
}

std::string FormatAccountsExtra(std::span<const TPOPAcc> accounts)
{
    std::string out = "; Tolmu: account settings beside Accounts.ini (older copies do not read this file)\r\n";
    for (std::size_t i = 0; i < accounts.size(); ++i) {
        const TPOPAcc& acc = accounts[i];
        const bool inKeyring = acc.SecretPlace == TPOPAcc::TSecretPlace::Keyring;
        if (!acc.Security && !inKeyring && !acc.OAuth)
            continue;
        out += "\r\n[Account" + std::to_string(i + 1) + "]\r\n";
        out += "acc_name = " + acc.AccName + "\r\n";
        if (acc.Security)
            out += "security = " + std::string(SecurityWord(*acc.Security)) + "\r\n";
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

std::string ApplyAccountsExtra(std::span<TPOPAcc> accounts, const std::string& path)
{
    for (TPOPAcc& acc : accounts) {
        acc.Security.reset();
        acc.OAuth.reset();
        acc.SecretPlace = TPOPAcc::TSecretPlace::AccountsIni;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (accounts.empty())
            return {};
        if (errno == ENOENT)
            return std::string(FileName) + " not found: every account uses TLS when offered (TLS on port 995)";
        return std::string(FileName) + " cannot be read (" + std::strerror(errno) +
               "): every account uses TLS when offered (TLS on port 995)";
    }
    std::string content(static_cast<std::size_t>(MaxExtraFileBytes) + 1, '\0');
    in.read(content.data(), MaxExtraFileBytes + 1);
    content.resize(static_cast<std::size_t>(in.gcount()));
    if (content.size() > static_cast<std::size_t>(MaxExtraFileBytes))
        return std::string(FileName) + " is too large: every account uses TLS when offered (TLS on port 995)";

    std::vector<std::string> warnings;
    std::vector<TAccountExtra> entries = ParseAccountsExtra(content, warnings);
    std::vector<bool> used(entries.size(), false);
    const auto take = [&](std::size_t k, TPOPAcc& acc) {
        used[k] = true;
        acc.Security = entries[k].Security;
        acc.OAuth = entries[k].OAuth;
        // A password still in Accounts.ini (an older copy wrote it) is used.
        if (entries[k].SecretInKeyring && acc.Password.empty())
            acc.SecretPlace = TPOPAcc::TSecretPlace::Keyring;
    };
    // First the entries still at their account's place, then the ones an
    // edit by hand or an older copy moved: those are found by name.
    std::vector<bool> placed(accounts.size(), false);
    for (std::size_t i = 0; i < accounts.size(); ++i)
        for (std::size_t k = 0; k < entries.size(); ++k)
            if (!used[k] && entries[k].Position == static_cast<int>(i + 1) && entries[k].AccName == accounts[i].AccName) {
                take(k, accounts[i]);
                placed[i] = true;
                break;
            }
    for (std::size_t i = 0; i < accounts.size(); ++i)
        if (!placed[i])
            for (std::size_t k = 0; k < entries.size(); ++k)
                if (!used[k] && entries[k].AccName == accounts[i].AccName) {
                    take(k, accounts[i]);
                    break;
                }
    std::string warning;
    for (const std::string& w : warnings)
        warning += (warning.empty() ? "" : "\r") + w;
    return warning;
}

std::vector<std::string> PasswordlessAccountNames(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return {};
    std::string content(static_cast<std::size_t>(MaxExtraFileBytes) + 1, '\0');
    in.read(content.data(), MaxExtraFileBytes + 1);
    content.resize(static_cast<std::size_t>(in.gcount()));
    if (content.size() > static_cast<std::size_t>(MaxExtraFileBytes))
        return {};
    std::vector<std::string> warnings; // ApplyAccountsExtra reports them
    std::vector<std::string> names;
    for (const TAccountExtra& e : ParseAccountsExtra(content, warnings))
        if (e.SecretInKeyring || e.OAuth)
            names.push_back(e.AccName);
    return names;
}

void WriteAccountsExtra(std::span<const TPOPAcc> accounts, const std::string& path)
{
    WriteFileAtomically(path, FormatAccountsExtra(accounts), 0600);
}
