// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where an account's OAuth2 refresh token is kept: in the desktop keyring
// (kind "oauth2-refresh-token"), or, on a desktop without one, in a file
// only the user may read: $XDG_DATA_HOME/tolmu/oauth2-tokens.json (else
// ~/.local/share/tolmu/...), mode 0600 in a 0700 folder, rewritten whole
// through a temporary file. The file is plain JSON, so anyone who can read
// it as the user holds the tokens: the dialog says so when it falls back.
//
// Threads: any thread. Writers of the file (the window, `tolmu --check` at
// the same time) take turns on a lock of its folder, so a token one of them
// rotates is not lost to the other's rewrite.
#include "signin/Keyring.h"
#include "signin/StopHook.h"

#include <optional>
#include <string>

enum class TTokenPlace { Keyring, File };

// $XDG_DATA_HOME/tolmu/oauth2-tokens.json, or under ~/.local/share. Throws
// Exception when neither XDG_DATA_HOME nor HOME is set.
std::string DefaultTokenFilePath();

// The place a new sign-in's token goes: the keyring when one answers within
// probeMs, else the file.
TTokenPlace ChooseTokenPlace(int probeMs = 2000);

class TRefreshTokenStore {
public:
    explicit TRefreshTokenStore(TTokenPlace place, std::string filePath = "");

    TTokenPlace Place() const { return m_place; }
    const std::string& FilePath() const { return m_filePath; }

    // The token kept for key (its Kind is taken as RefreshToken), or nothing.
    // Throws EKeyringError (keyring; see KeyringLookup) or Exception (a file
    // that cannot be read or is damaged).
    std::optional<std::string> Load(const TSecretKey& key, int timeoutSeconds, const TStopHook& stop = {}) const;

    // Keeps token for key, replacing the one before. Throws EKeyringError
    // or Exception (the folder or file cannot be written).
    void Save(const TSecretKey& key, const std::string& token, int timeoutSeconds, const TStopHook& stop = {}) const;

    // Forgets key's token; false when none was kept. Throws as Save does.
    bool Remove(const TSecretKey& key, int timeoutSeconds, const TStopHook& stop = {}) const;

private:
    TTokenPlace m_place;
    std::string m_filePath;
};
