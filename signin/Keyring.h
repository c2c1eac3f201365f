// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// An account's secret in the user's desktop keyring, through the Secret
// Service API (libsecret). Each item carries the attributes application
// "tolmu", kind ("password" or "oauth2-refresh-token"), host, port and user,
// and the label "Tolmu: NAME" that the keyring's own window shows. A secret
// is any UTF-8 text (the scrambled Accounts.ini form only holds printable
// ASCII; this one does not).
//
// Threads: every call may run on any thread, the mail worker and
// `tolmu --check` (no main loop) included, and on several threads at once.
// A call opens its own connection to the service and waits on a private
// GLib main context, so it neither needs nor disturbs the caller's event
// loop; it blocks the calling thread until the service answers, the
// time-out passes or stop says so. A locked keyring is asked to unlock: the
// desktop shows its own prompt, and the call waits for the user within the
// same time-out.
#include "signin/StopHook.h"

#include <cstdint>
#include <optional>
#include <string>

enum class TSecretKind {
    Password,     // the account's POP3 password
    RefreshToken, // an OAuth2 refresh token
};

// What finds a secret again. Two accounts with the same host, port, user
// and kind share one item, as they share the login.
struct TSecretKey {
    std::string AccountName; // only for the label "Tolmu: NAME"
    std::string Host;
    int32_t Port = 110;
    std::string User;
    TSecretKind Kind = TSecretKind::Password;
};

// True when a Secret Service answers on the session bus within timeoutMs
// (a session is opened, so a service that is only named but cannot start
// does not count). For the dialog's default; never throws, never prompts.
bool KeyringAvailable(int timeoutMs = 2000);

// Stores secret under key in the default collection, replacing an item with
// the same attributes. Throws Exception when secret is not valid UTF-8, and
// EKeyringError: NoService (no session bus or no service on it), Locked
// (the unlock prompt was dismissed), TimedOut (no answer or no unlock
// within timeoutSeconds), Stopped, Failed (the service refused).
void KeyringStore(const TSecretKey& key, const std::string& secret, int timeoutSeconds, const TStopHook& stop = {});

// The secret kept under key, or nothing when the keyring holds no such item.
// A secret that exists but stays locked is never reported as missing: it
// throws EKeyringError Locked (dismissed) or TimedOut. Throws the other
// EKeyringError kinds as KeyringStore does.
std::optional<std::string> KeyringLookup(const TSecretKey& key, int timeoutSeconds, const TStopHook& stop = {});

// Removes every item under key (unlocking first when it is locked). Returns
// false when there was none. Throws EKeyringError as KeyringLookup does.
bool KeyringRemove(const TSecretKey& key, int timeoutSeconds, const TStopHook& stop = {});
