// SPDX-License-Identifier: GPL-3.0-or-later
// AccountsExtra.ini as a damaged disk or a hand edit may leave it. Nothing
// may crash; an entry read whole must come back the same through the
// writer; and an entry that could not be read must stay unreadable when a
// rewrite gives back its lines, so that no rewrite weakens an account.
#include "core/accounts/AccountsExtra.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

TPOPAcc accountOf(const TAccountExtra& e)
{
    TPOPAcc acc;
    acc.AccName = e.AccName;
    acc.Security = e.Security;
    acc.OAuth = e.OAuth;
    acc.TlsSeen = e.TlsSeen;
    acc.ClearTextAllowed = e.ClearTextAllowed;
    if (e.SecretInKeyring)
        acc.SecretPlace = TPOPAcc::TSecretPlace::Keyring;
    return acc;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> outside;
    const std::vector<TAccountExtra> entries = ParseAccountsExtra(text, outside);
    for (const TAccountExtra& e : entries) {
        if (e.Position == 0)
            continue;
        TPOPAcc acc = accountOf(e);
        if (!e.Error.empty()) {
            acc.Broken = e.Error;
            acc.RawExtra = e.Raw;
        } else if (e.AccName.empty() || e.AccName.find_first_of("\r\n") != std::string::npos) {
            continue;
        }
        std::string written;
        try {
            written = FormatAccountsExtra(std::vector<TPOPAcc>{acc});
        } catch (...) {
            continue; // an OAuth2 value the writer refuses
        }
        std::vector<std::string> again;
        const std::vector<TAccountExtra> back = ParseAccountsExtra(written, again);
        if (!again.empty())
            std::abort();
        if (!e.Error.empty()) {
            bool stillDamaged = false;
            for (const TAccountExtra& b : back)
                stillDamaged = stillDamaged || !b.Error.empty() || b.AccName.empty();
            if (!stillDamaged && !back.empty())
                std::abort();
            continue;
        }
        if (back.empty())
            continue; // nothing to keep: no section is written
        const TAccountExtra& b = back.front();
        if (!b.Error.empty() || b.AccName != e.AccName || b.Security != e.Security || b.OAuth != e.OAuth ||
            b.TlsSeen != e.TlsSeen || b.ClearTextAllowed != e.ClearTextAllowed || b.SecretInKeyring != e.SecretInKeyring)
            std::abort();
    }
    return 0;
}
