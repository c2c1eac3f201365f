// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The one place that knows which protocol serves a mail drop.
#include "core/MailDrop.h"

#include <memory>

// A new mail drop, not connected: POP3, the protocol Tolmu speaks.
std::unique_ptr<TMailDrop> MakeMailDrop();

// Whether account, whose last session's server offered TLS (offered, from
// TMailDrop::TlsOffered), should now keep that (TAccountStore::NoteTlsOffered):
// "TLS when offered" to another computer that did not know it yet.
bool ShouldRememberTlsOffer(const TPOPAcc& account, bool offered);
