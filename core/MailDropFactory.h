// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The one place that knows which protocol serves a mail drop.
#include "core/MailDrop.h"

#include <memory>

// A new mail drop, not connected: POP3, the protocol Tolmu speaks.
std::unique_ptr<TMailDrop> MakeMailDrop();
