// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/AccountStore.h"

#include "base/Exception.h"
#include "core/AccountsExtra.h"
#include "core/AccountsIni.h"

#include <utility>

TAccountStore::TAccountStore(std::string folder) : m_folder(std::move(folder)) {}

void TAccountStore::Load(TAccountProblems* problems)
{
    m_extraWarning.clear();
    ReadAccountsIni(Path(), m_accounts, problems);
    m_extraWarning = ApplyAccountsExtra(m_accounts, ExtraPath());
}

void TAccountStore::requireAccount(int32_t index) const
{
    if (!Has(index))
        throw Exception("There is no account " + std::to_string(index));
}

void TAccountStore::store(std::vector<TPOPAcc> accounts)
{
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
    accounts.push_back(account);
    store(std::move(accounts));
}

void TAccountStore::Modify(int32_t index, const TPOPAcc& account)
{
    requireAccount(index);
    std::vector<TPOPAcc> accounts = m_accounts;
    accounts[index - 1] = account;
    store(std::move(accounts));
}

void TAccountStore::Remove(int32_t index)
{
    requireAccount(index);
    std::vector<TPOPAcc> accounts = m_accounts;
    accounts.erase(accounts.begin() + (index - 1));
    store(std::move(accounts));
}

void TAccountStore::SetInactive(int32_t index, bool inactive)
{
    requireAccount(index);
    std::vector<TPOPAcc> accounts = m_accounts;
    accounts[index - 1].Inactive = inactive;
    store(std::move(accounts));
}

void TAccountStore::Write() { store(m_accounts); }
