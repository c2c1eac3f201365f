// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/accounts/AccountEdit.h"

#include "base/Text.h"

namespace {

// The duplicate and completeness checks shared by Add and Modify, in their
// order; skip is the account allowed to keep its name (0 for none). A
// sign-in asks for no password, and a provider may bring the host.
std::vector<std::string> checkFields(const TAccountStore& accounts, const TAccountFields& f, int32_t skip,
                                     bool forSignIn = false)
{
    std::vector<std::string> shown;
    if (!f.Name.empty()) {
        for (int32_t i = 1; i <= accounts.Count(); ++i) {
            if (i != skip && accounts.Account(i).AccName == f.Name) {
                shown.emplace_back(AccountExists);
                break;
            }
        }
    }
    // A password the keyring already holds is not shown, so it is not typed.
    const bool kept = forSignIn || (skip != 0 && accounts.Has(skip) &&
                                        (accounts.Account(skip).SecretPlace == TPOPAcc::TSecretPlace::Keyring ||
                                         accounts.Account(skip).OAuth));
    if (f.Name.empty() || f.Login.empty() || (f.Password.empty() && !kept) || (f.Host.empty() && !forSignIn))
        shown.emplace_back(FillAllFields);
    return shown;
}

// The checks made where the fields are turned into an account: the port
// and what the file can hold. One message, or none.
std::vector<std::string> checkConversion(const TAccountFields& f)
{
    if (!ParsePortText(f.Port))
        return {BadPort};
    const std::string reason = UnstorableReason(f);
    if (!reason.empty())
        return {reason};
    return {};
}

void fill(TPOPAcc& acc, const TAccountFields& f)
{
    acc.AccName = f.Name;
    acc.HostName = f.Host;
    acc.UserName = f.Login;
    acc.Password = f.Password;
    acc.PortNumber = *ParsePortText(f.Port);
    // A password typed for an account that signs in with OAuth2 turns it
    // back into a password account: the page has no other way back.
    if (acc.OAuth && !f.Password.empty())
        acc.OAuth.reset();
    if (!acc.OAuth)
        acc.SecretPlace = f.InKeyring ? TPOPAcc::TSecretPlace::Keyring : TPOPAcc::TSecretPlace::AccountsIni;
    if (f.Security)
        acc.Security = f.Security;
}

} // namespace

std::optional<int32_t> ParsePortText(const std::string& text)
{
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos)
        return std::nullopt;
    const std::size_t last = text.find_last_not_of(' ');
    int32_t port = 0;
    for (std::size_t i = first; i <= last; ++i) {
        const char c = text[i];
        if (c < '0' || c > '9')
            return std::nullopt;
        port = port * 10 + (c - '0');
        if (port > 65535)
            return std::nullopt;
    }
    if (port < 1)
        return std::nullopt;
    return port;
}

TSecurity ProposedSecurity(const std::string& host, int32_t port, int32_t tlsPort)
{
    // While the host is still empty the page proposes nothing stricter.
    if (host.find_first_not_of(' ') == std::string::npos && DefaultSecurity(host, port, tlsPort) != TSecurity::TlsFirstByte)
        return TSecurity::TlsWhenOffered;
    return DefaultSecurity(host, port, tlsPort);
}

// Known limits of the file these rules keep away from: every value goes
// through the line scanner, which ends a line at CR and the file at byte 26,
// trims leading blanks, reads a name of "none" as the end of the list, and
// finds a key as a case-insensitive substring of any later line, so a value
// holding a key word is taken for that key. The scrambled password cannot
// hold a key word: it has only even bytes, and every key word has a vowel,
// all of which are odd.
std::string UnstorableReason(const TAccountFields& fields)
{
    static const char* const keyWords[] = {"acc_name", "host_name", "user_name", "password",
                                           "port_number", "inactive", "[account"};
    const std::pair<const char*, const std::string*> texts[] = {
        {"The name", &fields.Name}, {"The host", &fields.Host}, {"The login", &fields.Login}};
    for (const auto& [what, value] : texts) {
        if (value->find_first_of("\r\x1a") != std::string::npos)
            return std::string(what) + " may not hold a line break or the character code 26 !";
        if (!value->empty() && value->front() == ' ')
            return std::string(what) + " may not start with a blank !";
        const std::string lower = text::lower(*value);
        for (const char* word : keyWords)
            if (lower.find(word) != std::string::npos)
                return std::string(what) + " may not contain \"" + word + "\", a key word of Accounts.ini !";
    }
    if (fields.Name == "none")
        return "An account may not be named \"none\" !";
    // The keyring holds any text; only the scrambled form has these limits.
    if (fields.InKeyring)
        return "";
    if (fields.Password.size() > 255)
        return "The password may hold at most 255 characters !";
    for (const char c : fields.Password)
        if (c < ' ' || c > '~')
            return "The password may hold only printable ASCII characters (no accents, no control codes) !";
    return "";
}

std::vector<std::string> AddAccount(TAccountStore& accounts, const TAccountFields& fields)
{
    std::vector<std::string> shown = checkFields(accounts, fields, 0);
    if (!shown.empty())
        return shown;
    if (accounts.Count() >= MaxAccounts)
        return {AccountsFull};
    shown = checkConversion(fields);
    if (!shown.empty())
        return shown;
    // A new account starts active.
    TPOPAcc acc;
    fill(acc, fields);
    accounts.Add(acc);
    return {};
}

std::vector<std::string> ModifyAccount(TAccountStore& accounts, int32_t index, const TAccountFields& fields,
                                       bool inactive)
{
    if (!accounts.Has(index))
        return {};
    std::vector<std::string> shown = checkFields(accounts, fields, index);
    if (!shown.empty())
        return shown;
    shown = checkConversion(fields);
    if (!shown.empty())
        return shown;
    TPOPAcc acc = accounts.Account(index);
    fill(acc, fields);
    acc.Inactive = inactive;
    accounts.Modify(index, acc);
    return {};
}

std::vector<std::string> CheckSignInFields(const TAccountStore& accounts, int32_t index, const TAccountFields& fields)
{
    std::vector<std::string> shown = checkFields(accounts, fields, index, true);
    if (!shown.empty())
        return shown;
    if (index == 0 && accounts.Count() >= MaxAccounts)
        return {AccountsFull};
    // The password field plays no part: an OAuth2 account keeps none.
    TAccountFields withoutPassword = fields;
    withoutPassword.Password.clear();
    return checkConversion(withoutPassword);
}

TPOPAcc SignInAccountFrom(const TAccountStore& accounts, int32_t index, const TAccountFields& fields)
{
    TPOPAcc acc = accounts.Has(index) ? accounts.Account(index) : TPOPAcc{};
    TAccountFields withoutPassword = fields;
    withoutPassword.Password.clear();
    fill(acc, withoutPassword);
    return acc;
}

bool RemoveAccount(TAccountStore& accounts, int32_t index)
{
    if (!accounts.Has(index))
        return false;
    accounts.Remove(index);
    return true;
}

bool SetAccountInactive(TAccountStore& accounts, int32_t index, bool inactive)
{
    if (!accounts.Has(index))
        return false;
    accounts.SetInactive(index, inactive);
    return true;
}
