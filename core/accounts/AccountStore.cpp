// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/accounts/AccountStore.h"

#include "base/Exception.h"
#include "base/Text.h"
#include "core/accounts/AccountsExtra.h"
#include "core/accounts/AccountsIni.h"
#include "core/accounts/OAuthAccount.h"
#include "core/accounts/SecretKeys.h"
#include "signin/Keyring.h"
#include "signin/SignInErrors.h"

#include <utility>

TAccountStore::TAccountStore(std::string folder) : m_folder(std::move(folder)) {}

void TAccountStore::Load(TAccountProblems* problems)
{
    m_extraWarning.clear();
    m_extraUnusable.clear();
    std::vector<bool> passwordLineMissing;
    ReadAccountsIni(Path(), m_accounts, problems, &passwordLineMissing);
    const TExtraRead extra = ApplyAccountsExtra(m_accounts, ExtraPath());
    m_extraWarning = extra.Warning;
    m_extraUnusable = extra.Unusable;
    // Where the password lives is known by the account's place in the
    // files, never by its name: a second account of the same name must not
    // borrow the first one's keyring mark and send an empty password.
    for (std::size_t i = 0; i < m_accounts.size(); ++i) {
        TPOPAcc& acc = m_accounts[i];
        const bool elsewhere = acc.SecretPlace == TPOPAcc::TSecretPlace::Keyring || acc.OAuth;
        if (passwordLineMissing[i] && !elsewhere)
            acc.Password = UnscramblePassword("none"); // as older copies read a missing line
        if (acc.Broken.empty() && acc.Password.empty() && !elsewhere)
            acc.Broken = "Accounts.ini [Account" + std::to_string(i + 1) + "] has no password, and " +
                "AccountsExtra.ini keeps none for it: enter the password in Configure, Accounts";
    }
}

void TAccountStore::requireAccount(int32_t index) const
{
    if (!Has(index))
        throw Exception("There is no account " + std::to_string(index));
}

TPOPAcc TAccountStore::placeSecret(TPOPAcc account, const TPOPAcc* old) const
{
    using Place = TPOPAcc::TSecretPlace;
    // A sign-in token is kept apart (core/accounts/Credentials.h); a password such
    // an account had leaves the files and the keyring.
    if (account.OAuth) {
        account.Password.clear();
        account.SecretPlace = Place::AccountsIni;
        return account;
    }
    const bool oldInKeyring = old && old->SecretPlace == Place::Keyring;
    if (account.Password.empty() && old) {
        if (!oldInKeyring) {
            account.Password = old->Password;
        } else if (account.SecretPlace == Place::AccountsIni || !SameKeyringItem(PasswordKey(account), PasswordKey(*old))) {
            std::optional<std::string> kept = PasswordSecrets().Read(PasswordKey(*old), m_keyringSeconds);
            if (!kept || kept->empty())
                throw Exception("The desktop keyring holds no password for " + old->AccName +
                                ": enter the password again");
            account.Password = std::move(*kept);
        }
    }
    if (account.SecretPlace == Place::Keyring) {
        if (!account.Password.empty())
            PasswordSecrets().Store(PasswordKey(account), account.Password, m_keyringSeconds);
        else if (!old)
            throw Exception("An account needs a password");
        account.Password.clear();
    }
    return account;
}

void TAccountStore::dropUnusedItem(const TPOPAcc& old) const
{
    if (old.OAuth)
        dropUnusedToken(old);
    if (old.SecretPlace != TPOPAcc::TSecretPlace::Keyring)
        return;
    for (const TPOPAcc& acc : m_accounts)
        if (acc.SecretPlace == TPOPAcc::TSecretPlace::Keyring && SameKeyringItem(PasswordKey(acc), PasswordKey(old)))
            return;
    // The files no longer point at it; one left behind is only clutter in
    // the keyring, so a failure here does not undo the change.
    try {
        PasswordSecrets().Remove(PasswordKey(old), m_keyringSeconds);
    } catch (const Exception&) {
    }
}

void TAccountStore::dropUnusedToken(const TPOPAcc& old) const
{
    const TOAuthSettings& was = *old.OAuth;
    for (const TPOPAcc& acc : m_accounts)
        if (acc.OAuth && acc.OAuth->TokenInFile == was.TokenInFile &&
            SameKeyringItem(RefreshTokenKey(acc), RefreshTokenKey(old)))
            return;
    // A sign-in no account uses any more is a credential left lying
    // around; failing to remove it does not undo the change.
    try {
        RefreshTokensOf(was).Remove(RefreshTokenKey(old), m_keyringSeconds);
    } catch (const Exception&) {
    }
}

void TAccountStore::store(std::vector<TPOPAcc> accounts)
{
    // A rewrite would lose what the damaged file says.
    if (!m_extraUnusable.empty())
        throw Exception(m_extraUnusable + ": mend or remove AccountsExtra.ini before changing the accounts");
    // The companion file goes first: should Accounts.ini then fail, its
    // entries are still found by name, never lost.
    WriteAccountsExtra(accounts, ExtraPath());
    WriteAccountsIni(Path(), accounts);
    m_accounts = std::move(accounts);
}

void TAccountStore::Add(const TPOPAcc& account)
{
    if (Count() >= MaxAccounts)
        throw Exception("Accounts.ini holds at most " + std::to_string(MaxAccounts) + " accounts");
    std::vector<TPOPAcc> accounts = m_accounts;
    TPOPAcc added = account;
    // A new account is a whole record: nothing of an unusable one's lines.
    added.Broken.clear();
    added.RawBlock.clear();
    added.RawExtra.clear();
    accounts.push_back(placeSecret(added, nullptr));
    store(std::move(accounts));
}

void TAccountStore::Modify(int32_t index, const TPOPAcc& account)
{
    requireAccount(index);
    const TPOPAcc old = m_accounts[index - 1];
    std::vector<TPOPAcc> accounts = m_accounts;
    TPOPAcc changed = account;
    // The record given is whole: an account that could not be used is
    // mended by it.
    changed.Broken.clear();
    changed.RawBlock.clear();
    changed.RawExtra.clear();
    // What was learnt of one server says nothing of another.
    if (!text::sameText(text::trim(changed.HostName), text::trim(old.HostName)) ||
        (changed.PortNumber & 0xFFFF) != (old.PortNumber & 0xFFFF))
        changed.TlsSeen = changed.ClearTextAllowed = false;
    accounts[index - 1] = placeSecret(changed, &old);
    store(std::move(accounts));
    dropUnusedItem(old);
}

void TAccountStore::Remove(int32_t index)
{
    requireAccount(index);
    const TPOPAcc old = m_accounts[index - 1];
    std::vector<TPOPAcc> accounts = m_accounts;
    accounts.erase(accounts.begin() + (index - 1));
    store(std::move(accounts));
    dropUnusedItem(old);
}

void TAccountStore::SetInactive(int32_t index, bool inactive)
{
    requireAccount(index);
    std::vector<TPOPAcc> accounts = m_accounts;
    TPOPAcc& acc = accounts[index - 1];
    acc.Inactive = inactive;
    if (!acc.Broken.empty())
        acc.RawBlock = WithInactiveLine(acc.RawBlock, inactive);
    store(std::move(accounts));
}

void TAccountStore::NoteTlsOffered(int32_t index)
{
    requireAccount(index);
    std::vector<TPOPAcc> accounts = m_accounts;
    accounts[index - 1].TlsSeen = true;
    store(std::move(accounts));
}

void TAccountStore::DecideClearText(int32_t index, bool allow)
{
    requireAccount(index);
    std::vector<TPOPAcc> accounts = m_accounts;
    TPOPAcc& acc = accounts[index - 1];
    if (allow)
        acc.ClearTextAllowed = true;
    else
        acc.Security = TSecurity::TlsRequired;
    store(std::move(accounts));
}

void TAccountStore::Write() { store(m_accounts); }

void TAccountStore::MoveToKeyring(int32_t index)
{
    requireAccount(index);
    TPOPAcc account = m_accounts[index - 1];
    account.SecretPlace = TPOPAcc::TSecretPlace::Keyring;
    Modify(index, account);
}

void TAccountStore::MoveToAccountsIni(int32_t index)
{
    requireAccount(index);
    TPOPAcc account = m_accounts[index - 1];
    account.SecretPlace = TPOPAcc::TSecretPlace::AccountsIni;
    Modify(index, account);
}
