// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/Credentials.h"

namespace {

class TStoredPasswords final : public TCredentialSource {
public:
    std::string Secret(const TPOPAcc& account) const override { return account.Password; }
};

} // namespace

const TCredentialSource& StoredPasswords()
{
    static const TStoredPasswords source;
    return source;
}

TAccountId AccountId(const TPOPAcc& account)
{
    return {account.AccName, account.HostName, account.UserName, account.PortNumber};
}
