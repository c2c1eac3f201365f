// SPDX-License-Identifier: GPL-3.0-or-later
#include "mail/WireMessage.h"

void TWireMessage::Clear()
{
    MessageParts.clear();
    Attachments.clear();
    BCCList.clear();
    DefaultDomain.clear();
    // Cc, Date and From live in Headers and go with it.
    Headers.clear();
    MsgNo = 0;
    Text.clear();
}
