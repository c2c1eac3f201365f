// SPDX-License-Identifier: GPL-3.0-or-later
#include "signin/SecretStore.h"

#include "signin/RefreshTokenStore.h"

std::unique_ptr<TSecretStore> MakeSecretStore(TTokenPlace place, const std::string& filePath)
{
    switch (place) {
    case TTokenPlace::Keyring:
        return MakeKeyringSecrets();
    case TTokenPlace::File:
        break;
    }
    return MakeTokenFileSecrets(filePath.empty() ? DefaultTokenFilePath() : filePath);
}
