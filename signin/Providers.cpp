// SPDX-License-Identifier: GPL-3.0-or-later
#include "signin/Providers.h"

#ifndef TOLMU_GOOGLE_CLIENT_ID
#define TOLMU_GOOGLE_CLIENT_ID ""
#endif
#ifndef TOLMU_GOOGLE_CLIENT_SECRET
#define TOLMU_GOOGLE_CLIENT_SECRET ""
#endif
#ifndef TOLMU_MICROSOFT_CLIENT_ID
#define TOLMU_MICROSOFT_CLIENT_ID ""
#endif

const std::vector<TProviderPreset>& ProviderPresets()
{
    static const std::vector<TProviderPreset> presets = [] {
        std::vector<TProviderPreset> p(3);
        // "Desktop app" clients: loopback redirect to any port, PKCE, and a
        // client secret that the token endpoint asks for.
        p[0].Id = "google";
        p[0].Name = "Google Mail";
        p[0].AuthorizationEndpoint = "https://accounts.google.com/o/oauth2/v2/auth";
        p[0].TokenEndpoint = "https://oauth2.googleapis.com/token";
        p[0].Scope = "https://mail.google.com/";
        p[0].PopHost = "pop.gmail.com";
        p[0].UsesClientSecret = true;
        p[0].BuiltInClientId = TOLMU_GOOGLE_CLIENT_ID;
        p[0].BuiltInClientSecret = TOLMU_GOOGLE_CLIENT_SECRET;
        p[0].InitialResponse = TProviderPreset::AuthLine::Inline;

        // "Mobile and desktop applications" (public clients, no secret),
        // registered for personal and work accounts alike ("common");
        // offline_access brings the refresh token.
        p[1].Id = "microsoft";
        p[1].Name = "Microsoft (Outlook.com, Microsoft 365)";
        p[1].AuthorizationEndpoint = "https://login.microsoftonline.com/common/oauth2/v2.0/authorize";
        p[1].TokenEndpoint = "https://login.microsoftonline.com/common/oauth2/v2.0/token";
        p[1].Scope = "https://outlook.office.com/POP.AccessAsUser.All offline_access";
        p[1].PopHost = "outlook.office365.com";
        p[1].BuiltInClientId = TOLMU_MICROSOFT_CLIENT_ID;
        p[1].InitialResponse = TProviderPreset::AuthLine::AfterChallenge;

        p[2].Id = "other";
        p[2].Name = "Other provider";
        p[2].UsesClientSecret = true;
        return p;
    }();
    return presets;
}

const TProviderPreset* FindProviderPreset(std::string_view id)
{
    for (const TProviderPreset& p : ProviderPresets())
        if (p.Id == id)
            return &p;
    return nullptr;
}

TOAuthClient ClientFor(const TProviderPreset& preset, const std::string& clientId, const std::string& clientSecret)
{
    TOAuthClient c;
    c.AuthorizationEndpoint = preset.AuthorizationEndpoint;
    c.TokenEndpoint = preset.TokenEndpoint;
    c.Scope = preset.Scope;
    c.ClientId = clientId.empty() ? preset.BuiltInClientId : clientId;
    if (preset.UsesClientSecret)
        c.ClientSecret = clientId.empty() ? preset.BuiltInClientSecret : clientSecret;
    return c;
}
