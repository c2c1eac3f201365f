// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The account store: the user's mail accounts (at most MaxAccounts),
// numbered 1..Count() everywhere in the program, with Accounts.ini behind
// them. The program makes one and hands it to what reads or changes the
// accounts: the loader, the check cycle, the dialog's Accounts page and the
// command-line modes. Used on one thread (the interface thread under the
// windows).
#include "core/accounts/Account.h"

#include <cstdint>
#include <string>
#include <vector>

class TAccountStore {
public:
    // folder: where Accounts.ini lives (ends in "/"). The store starts
    // empty; Load reads the file.
    explicit TAccountStore(std::string folder);
    TAccountStore(const TAccountStore&) = delete;
    TAccountStore& operator=(const TAccountStore&) = delete;

    // Accounts.ini in the store's folder.
    std::string Path() const { return m_folder + "Accounts.ini"; }
    // AccountsExtra.ini beside it (core/accounts/AccountsExtra.h): what an account
    // keeps beyond its eight lines, such as its security choice.
    std::string ExtraPath() const { return m_folder + "AccountsExtra.ini"; }

    // Refills the store from Accounts.ini as ReadAccountsIni reads it
    // (core/accounts/AccountsIni.h): throws Exception for a port that is not a
    // decimal integer (the accounts before it stay), or, with problems
    // given, records it as that account's problem.
    // Each account's security then comes from AccountsExtra.ini; what was
    // wrong with that file is left in ExtraWarning().
    void Load(TAccountProblems* problems = nullptr);
    // What a person may want to know of AccountsExtra.ini (it is missing:
    // every account uses its default), or empty. An account whose entry
    // could not be read is Broken with the reason.
    const std::string& ExtraWarning() const { return m_extraWarning; }
    // Why AccountsExtra.ini as a whole could not be trusted at the last
    // Load, or empty: while it is set, every change throws it, since a
    // rewrite would lose what the file says.
    const std::string& ExtraUnusable() const { return m_extraUnusable; }

    int32_t Count() const { return static_cast<int32_t>(m_accounts.size()); }
    // Whether index names an account (1..Count()).
    bool Has(int32_t index) const { return index >= 1 && index <= Count(); }
    // Account index (1-based). Throws std::out_of_range when Has(index) is
    // false.
    const TPOPAcc& Account(int32_t index) const { return m_accounts.at(static_cast<std::size_t>(index) - 1); }

    // The changes. An account whose SecretPlace is the keyring has its
    // Password (when not empty) stored in the desktop keyring first and is
    // kept here and in Accounts.ini without it; an empty Password keeps the
    // secret it had (moved to the new host, port or user, or out of the
    // keyring into Accounts.ini). A keyring call that fails throws
    // EKeyringError (signin/SignInErrors.h) with nothing changed; an item
    // left behind in the keyring by a move is removed once the files are
    // written, unless another account still signs in with it; so is the
    // refresh token of an OAuth2 sign-in no account uses any more (removed
    // or changed account, or one made a password account again).
    // Each writes AccountsExtra.ini and Accounts.ini at once; when the write throws
    // (Exception: a value the file cannot hold, or the file cannot be
    // written) the store and the file stay as they were. An index that
    // names no account, or an Add to a full store, throws Exception and
    // changes nothing.
    void Add(const TPOPAcc& account);
    // Overwrites account index whole, its active state included (an
    // account that could not be used is then mended; what was learnt of its
    // server goes when its host or port changes).
    void Modify(int32_t index, const TPOPAcc& account);
    // Removes account index; the later ones move up one place.
    void Remove(int32_t index);
    void SetInactive(int32_t index, bool inactive);
    // Rewrites Accounts.ini from the store as it stands. Throws as a change.
    void Write();
    // Account index's server offered TLS ("TLS when offered"): from now on
    // it is refused without. Throws as a change.
    void NoteTlsOffered(int32_t index);
    // The user's answer for account index, whose server offers no TLS:
    // allow a clear-text sign-in, or require TLS. Throws as a change.
    void DecideClearText(int32_t index, bool allow);
    // Account index's password into the desktop keyring (its scrambled copy
    // leaves Accounts.ini), or back into Accounts.ini. Throw as Modify.
    void MoveToKeyring(int32_t index);
    void MoveToAccountsIni(int32_t index);
    // How long a keyring call may wait (an unlock prompt included).
    void SetKeyringTimeout(int seconds) { m_keyringSeconds = seconds; }

private:
    // Writes accounts to the file and, once written, makes them the store's.
    void store(std::vector<TPOPAcc> accounts);
    void requireAccount(int32_t index) const;
    // account as the store keeps it, its password put where it belongs;
    // old: the account it replaces, if any.
    TPOPAcc placeSecret(TPOPAcc account, const TPOPAcc* old) const;
    // Removes old's keyring item, and the refresh token of its OAuth2
    // sign-in, unless an account of the store uses it.
    void dropUnusedItem(const TPOPAcc& old) const;
    void dropUnusedToken(const TPOPAcc& old) const;

    std::string m_folder;
    std::vector<TPOPAcc> m_accounts;
    std::string m_extraWarning;
    std::string m_extraUnusable;
    int m_keyringSeconds = 60;
};
