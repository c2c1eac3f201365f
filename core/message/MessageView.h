// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the message window shows of a message, and how an attachment leaves
// the temporary folder: shared by the window and tolmu --show, so the two
// cannot drift apart.
#include "mail/Headers.h"
#include "mail/MessageParts.h"
#include "mail/WireMessage.h"

#include <string>
#include <vector>

// The date part of value in the locale's short form (strftime "%x" under
// the LC_TIME the program selected); "" for 0, a missing or unreadable date.
std::string ShortDate(TDateTime value);

// The window's lines for msg: "From : ", "Subj : ", "Date : ", with
// headersOnly false also "File : " + the attachment count, then a rule of 26
// underscores, an empty line and (not headersOnly) the message text. From
// and Subject have their encoded words decoded, a date that is not one shows
// nothing, and the text is the readable one of DisplayBodyLines.
// Bidirectional controls show as "\u202E"-style escapes.
std::vector<std::string> MessageWindowLines(const TWireMessage& msg, bool headersOnly);

// The same lines as the message holds them: From and Subject as they
// arrived, the date as the window shows it, and the raw lines of Text.
std::vector<std::string> RawMessageWindowLines(const TWireMessage& msg, bool headersOnly);

// A file name from a mail made safe to create in a folder the user chose:
// only its last path component (either separator counts), control
// characters (C0, DEL, C1) and bidirectional controls made "_", a leading
// "~" made "_" (a home folder to a save dialog), and "attachment" for an
// empty name, "." or "..".
std::string SafeFileName(const std::string& fileName);

// Copies the attachment's stored file into dir under SafeFileName of its
// name, or "name (n).ext" when that is taken: an existing file or link is
// never written through, and a copy that fails half-way is removed. Returns
// the path written. Throws Exception naming the file and the system's error
// on failure.
std::string SaveAttachmentInto(const TAttachment& att, const std::string& dir);
