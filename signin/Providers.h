// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The OAuth2 providers the dialog offers: the two large mail providers that
// want OAuth2 for POP3, with their endpoints for installed apps, scopes and
// POP3 server, and "Other provider" with everything typed in (a self-hosted
// identity server). A provider only talks to a registered client: its client
// id comes from the user, or from the build (CMake cache variables
// TOLMU_GOOGLE_CLIENT_ID, TOLMU_GOOGLE_CLIENT_SECRET, TOLMU_MICROSOFT_CLIENT_ID,
// empty by default).
#include "signin/OAuthClient.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct TProviderPreset {
    std::string Id;   // "google", "microsoft", "other": what the account's settings keep
    std::string Name; // what the dialog shows
    std::string AuthorizationEndpoint;
    std::string TokenEndpoint;
    std::string Scope;
    std::string PopHost; // empty for "other"
    int32_t PopPort = 995;
    // The provider's installed-app client type comes with a client secret
    // (not secret at all: every copy of a program carries it), so the dialog
    // asks for one.
    bool UsesClientSecret = false;
    std::string BuiltInClientId;
    std::string BuiltInClientSecret;
    // Send the initial response on the AUTH line itself. One provider's POP3
    // takes it only on the line after "+ ", whatever its length; for servers
    // not known the length rule of RFC 5034 decides.
    enum class AuthLine { Inline, AfterChallenge, ByLength } InitialResponse = AuthLine::ByLength;
};

// The presets in the order the dialog lists them; "other" comes last, with
// empty endpoints, scope and host.
const std::vector<TProviderPreset>& ProviderPresets();

// The preset with this id, or nullptr.
const TProviderPreset* FindProviderPreset(std::string_view id);

// The client to sign in with for preset: the user's client id and secret,
// or the built-in ones where the user left them empty.
TOAuthClient ClientFor(const TProviderPreset& preset, const std::string& clientId, const std::string& clientSecret);
