// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/accounts/AccountId.h"

TAccountId AccountId(const TPOPAcc& account)
{
    return {account.AccName, account.HostName, account.UserName, account.PortNumber};
}
