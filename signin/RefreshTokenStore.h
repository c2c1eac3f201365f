// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where an account's OAuth2 refresh token is kept: in the desktop keyring
// (kind "oauth2-refresh-token"), or, on a desktop without one, in a file
// only the user may read: $XDG_DATA_HOME/tolmu/oauth2-tokens.json (else
// ~/.local/share/tolmu/...), mode 0600 in a 0700 folder, rewritten whole
// through a temporary file. The file is plain JSON, so anyone who can read
// it as the user holds the tokens: the dialog says so when it falls back.
//
// The token folder is refused when another user owns it (root aside) or
// others may write to it, and a token file of another user is never read:
// either could hand this user's mail client someone else's sign-in.
//
// Threads and processes: any thread. Every writer, of either store (the
// window, a status bar's `tolmu --check` at the same time), takes turns on
// one lock file in the token folder, oauth2-tokens.lock; a refresh holds it
// from reading the refresh token to keeping the one that replaces it (see
// Hold), so a provider that takes each refresh token once never sees it
// twice.
#include "base/FileDescriptor.h"
#include "signin/Keyring.h"
#include "signin/SecretStore.h"
#include "signin/StopHook.h"

#include <memory>
#include <optional>
#include <string>

// $XDG_DATA_HOME/tolmu/oauth2-tokens.json, or under ~/.local/share. Throws
// Exception when neither XDG_DATA_HOME nor HOME is set.
std::string DefaultTokenFilePath();

// The place a new sign-in's token goes: the keyring when one answers within
// probeMs, else the file.
TTokenPlace ChooseTokenPlace(int probeMs = 2000);

class TRefreshTokenStore {
public:
    // filePath: the token file (empty: DefaultTokenFilePath()); its folder
    // holds the lock file for both places. A keyring store without such a
    // place (neither XDG_DATA_HOME nor HOME) works without the lock.
    explicit TRefreshTokenStore(TTokenPlace place, std::string filePath = "");

    TTokenPlace Place() const { return m_place; }
    const std::string& FilePath() const { return m_filePath; }

    // The store's lock, held while this lives (move-only).
    class THold {
    public:
        THold(THold&&) noexcept = default;
        THold& operator=(THold&&) noexcept = default;

    private:
        friend class TRefreshTokenStore;
        THold() = default; // nothing held: no place for the lock
        explicit THold(int fd) : m_fd(fd) {}
        FileDescriptor m_fd; // closing drops the lock
    };

    // Takes the lock every writer of the token store takes, waiting up to
    // timeoutSeconds for another process or thread to let go of it; makes
    // the token folder (0700) when there is none. Throws ESignInError when
    // the wait runs out or stop says so, Exception when the folder is
    // refused or (file store) the lock cannot be made. A keyring store that
    // cannot make its folder or lock file works without the lock.
    THold Hold(int timeoutSeconds, const TStopHook& stop = {}) const;

    // The token kept for key (its Kind is taken as RefreshToken), or nothing.
    // Throws EKeyringError (keyring; see KeyringLookup) or Exception (a file
    // that cannot be read, is damaged or is another user's, or a refused
    // folder).
    std::optional<std::string> Load(const TSecretKey& key, int timeoutSeconds, const TStopHook& stop = {}) const;

    // Keeps token for key, replacing the one before, under the lock. Throws
    // as Hold, EKeyringError or Exception (the folder or file cannot be
    // written).
    void Save(const TSecretKey& key, const std::string& token, int timeoutSeconds, const TStopHook& stop = {}) const;
    // The same for a caller that holds the lock already (held, from Hold).
    void Save(const THold& held, const TSecretKey& key, const std::string& token, int timeoutSeconds,
              const TStopHook& stop = {}) const;

    // Forgets key's token; false when none was kept. Throws as Save does.
    bool Remove(const TSecretKey& key, int timeoutSeconds, const TStopHook& stop = {}) const;

private:
    TTokenPlace m_place;
    std::string m_filePath;
    std::shared_ptr<const TSecretStore> m_secrets; // where the tokens are kept
};
