// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the body reader splits a message into: text parts as they arrived,
// and attachments whose decoded bytes sit in a temporary file.
#include "mail/StringList.h"

#include <cstddef>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace mime {
class TempFileGuard;
}

struct TMessagePart {
    TStringList Text;            // the part's lines as received
    std::string ContentTransfer; // its "Content-Transfer-Encoding" value
    std::string ContentType;     // its "Content-Type" value
    // Parts with the same non-zero number are versions of one text (the
    // same multipart/alternative); 0 for a part outside any.
    std::size_t AlternativeGroup = 0;
};

struct TAttachment {
    TAttachment() = default;
    TAttachment(TStringList headers, std::string fileName, std::string storedPathName)
        : Headers(std::move(headers)), FileName(std::move(fileName)), StoredPathName(std::move(storedPathName))
    {
    }

    TStringList Headers;        // the attachment part's headers, Name=value
    std::string FileName;       // its file name in UTF-8, or one made up
    std::string StoredPathName; // temporary file holding the decoded bytes
    // Why the stored file does not hold the whole attachment (cut at a
    // bound, a failed write, the message ended inside it); "" when it does.
    std::string Problem;
    // What the user should know about a stored file that is complete as
    // far as its transfer encoding tells (its part lacked the closing
    // boundary line); "" when there is nothing to say.
    std::string Note;
    // Removes the stored file when the last copy of this attachment goes
    // (the message cleared or destroyed); empty for files someone else owns.
    std::shared_ptr<mime::TempFileGuard> StoredFile;

    // Copies the stored file to destination (one trailing "/" removed),
    // replacing an existing file; a copy that fails half-way is removed.
    // Returns whether the copy succeeded.
    bool SaveToFile(const std::string& destination) const;
};

using TMessageParts = std::vector<TMessagePart>;
using TAttachments = std::vector<TAttachment>;
