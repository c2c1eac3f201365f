// SPDX-License-Identifier: GPL-3.0-or-later
// tolmu --sign-in NAME: the OAuth2 browser sign-in of account NAME for users
// without the window. Prints the address to open, waits for the browser's
// redirect to a one-shot listener on 127.0.0.1 and keeps the refresh token
// where the account says (the keyring, or the token file when no keyring
// answers). Exit status 0 when signed in, 1 when the sign-in failed, 2 for
// a command-line or settings problem. No token is ever printed.
#include "app/Cli.h"
#include "base/QuitSignals.h"
#include "base/Report.h"
#include "core/accounts/AccountStore.h"
#include "core/settings/ConfigDir.h"
#include "core/accounts/OAuthAccount.h"

#include <cstdio>
#include <exception>
#include <string>

int RunSignIn(const Args& args)
{
    Args rest;
    try {
        rest = TakeConfigDirOption(args);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tolmu: %s\n", e.what());
        return 2;
    }
    if (rest.size() != 1 || rest[0].rfind("--", 0) == 0) {
        std::fputs("Usage: tolmu --sign-in NAME [--config-dir DIR]\n", stderr);
        return 2;
    }
    const std::string& name = rest[0];

    TAccountStore store(ConfigDir());
    int32_t index = 0;
    try {
        store.Load();
        for (int32_t i = 1; i <= store.Count() && index == 0; ++i)
            if (store.Account(i).AccName == name)
                index = i;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", report::ConsoleText(e.what()).c_str());
        return 2;
    }
    if (index == 0) {
        std::fprintf(stderr, "tolmu: there is no account named '%s'\n", name.c_str());
        return 2;
    }
    TPOPAcc account = store.Account(index);
    if (!account.OAuth) {
        std::fprintf(stderr, "tolmu: %s signs in with a password, not with OAuth2\n", name.c_str());
        return 2;
    }

    try {
        const bool inFile = SignInAccount(
            account,
            [&](const std::string& url) {
                std::printf("Open this address in a browser to sign in to %s:\n\n%s\n\n"
                            "Waiting for the browser (Ctrl+C to give up)...\n",
                            name.c_str(), url.c_str());
                std::fflush(stdout);
            },
            [] { return CaughtQuitSignal() != 0; });
        if (inFile) {
            std::fprintf(stderr,
                         "tolmu: no desktop keyring answers: the sign-in is kept in %s, which anyone who can read "
                         "your files can use\n",
                         RefreshTokensOf(*account.OAuth).FilePath().c_str());
            store.Modify(index, account);
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s : %s\n", name.c_str(), report::ConsoleText(e.what()).c_str());
        return 1;
    }
    std::printf("%s is signed in.\n", name.c_str());
    return 0;
}
