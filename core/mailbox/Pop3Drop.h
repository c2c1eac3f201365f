// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The POP3 mail drop: the client of net/WirePOP3.h behind TMailDrop. The
// factory (core/mailbox/MailDropFactory.h) makes it for a POP3 account.
#include "core/mailbox/MailDrop.h"

#include <memory>

// A new POP3 drop, not connected.
std::unique_ptr<TMailDrop> MakePop3Drop();
