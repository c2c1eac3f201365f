// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where an account's secret is kept, behind one port: read, store and
// remove by the account's key. Two stores today, chosen by place: the
// desktop keyring (Secret Service, signin/Keyring.h) and the token file
// (signin/RefreshTokenStore.h: 0600 JSON in the user's data folder). Another
// store (a wallet's own API, a password command) is one more file with its
// class and one more row in MakeSecretStore.
//
// Errors: the keyring throws EKeyringError (signin/SignInErrors.h: no
// service, locked, timed out, stopped, refused); the file throws Exception
// naming the file and what to do. A store holds nothing itself and may be
// used from any thread.
#include "signin/Keyring.h"
#include "signin/StopHook.h"

#include <memory>
#include <optional>
#include <string>

enum class TTokenPlace { Keyring, File };

class TSecretStore {
public:
    virtual ~TSecretStore() = default;
    // The secret kept under key, or nothing when the store holds none.
    virtual std::optional<std::string> Read(const TSecretKey& key, int timeoutSeconds,
                                            const TStopHook& stop = {}) const = 0;
    // Keeps secret under key, replacing the one before.
    virtual void Store(const TSecretKey& key, const std::string& secret, int timeoutSeconds,
                       const TStopHook& stop = {}) const = 0;
    // Forgets key's secret; false when none was kept.
    virtual bool Remove(const TSecretKey& key, int timeoutSeconds, const TStopHook& stop = {}) const = 0;
};

// The store at place. filePath: the token file of the file store (empty:
// DefaultTokenFilePath(), which throws Exception without XDG_DATA_HOME and
// HOME); the keyring takes none. A file store does not lock: its writers
// take TRefreshTokenStore's lock.
std::unique_ptr<TSecretStore> MakeSecretStore(TTokenPlace place, const std::string& filePath = "");

// Each store's own maker, for MakeSecretStore's table.
std::unique_ptr<TSecretStore> MakeKeyringSecrets();
std::unique_ptr<TSecretStore> MakeTokenFileSecrets(const std::string& filePath);
