// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The one place that knows which protocol serves a mail drop.
#include "core/mailbox/MailDrop.h"

#include <memory>

// A new mail drop for account's protocol (today POP3), not connected: the one
// place that chooses a protocol.
std::unique_ptr<TMailDrop> MakeMailDrop(const TPOPAcc& account);
// A drop for whichever account each Open names, for a holder that serves
// them all in turn (the mail worker): it takes MakeMailDrop's drop for that
// account, keeping it while the protocol stays the same.
std::unique_ptr<TMailDrop> MakeMailDrop();

// Whether account, whose last session's server offered TLS (offered, from
// TMailDrop::TlsOffered), should now keep that (TAccountStore::NoteTlsOffered):
// "TLS when offered" to another computer that did not know it yet.
bool ShouldRememberTlsOffer(const TPOPAcc& account, bool offered);
