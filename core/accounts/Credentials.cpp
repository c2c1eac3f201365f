// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/accounts/Credentials.h"

#include "base/Exception.h"
#include "core/accounts/OAuthAccount.h"
#include "core/accounts/SecretKeys.h"
#include "signin/AccessTokens.h"

namespace {

// When nothing says how long a session may take.
constexpr int32_t DefaultKeyringSeconds = 60;

class TStoredPasswords final : public TCredentialSource {
public:
    std::string Secret(const TPOPAcc& account) const override { return secretWithin(account, DefaultKeyringSeconds); }
    TSignInSecret SignInSecret(const TPOPAcc& account) const override
    {
        return SecretForSession(account, DefaultKeyringSeconds);
    }
    TSignInSecret SecretForSession(const TPOPAcc& account, int32_t timeoutSeconds) const override
    {
        if (account.OAuth)
            return {TSignInSecret::Kind::AccessToken,
                    AccessTokenFor(m_tokens, OAuthClientOf(*account.OAuth), RefreshTokenKey(account),
                                   RefreshTokensOf(*account.OAuth),
                                   timeoutSeconds > 0 ? timeoutSeconds : DefaultKeyringSeconds)};
        return {TSignInSecret::Kind::Password, secretWithin(account, timeoutSeconds)};
    }
    void SecretRefused(const TPOPAcc& account) const override
    {
        if (account.OAuth)
            m_tokens.Forget(RefreshTokenKey(account));
    }

private:
    // Access tokens in memory only, shared by every session of the process
    // (it locks).
    mutable TAccessTokenCache m_tokens;

    static std::string secretWithin(const TPOPAcc& account, int32_t timeoutSeconds)
    {
        if (account.SecretPlace != TPOPAcc::TSecretPlace::Keyring)
            return account.Password;
        std::optional<std::string> password =
            PasswordSecrets().Read(PasswordKey(account), timeoutSeconds > 0 ? timeoutSeconds : DefaultKeyringSeconds);
        if (!password || password->empty())
            throw Exception("The desktop keyring holds no password for this account: enter it in Configure");
        return std::move(*password);
    }
};

} // namespace

const TCredentialSource& StoredPasswords()
{
    static const TStoredPasswords source;
    return source;
}
