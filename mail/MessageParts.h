#pragma once
// What the body reader splits a message into: text parts as they arrived,
// and attachments whose decoded bytes sit in a temporary file.
#include "mail/StringList.h"

#include <string>
#include <vector>

struct TMessagePart {
    TStringList Text;            // the part's lines as received
    std::string ContentTransfer; // its "Content-Transfer-Encoding" value
    std::string ContentType;     // its "Content-Type" value
};

struct TAttachment {
    TStringList Headers;        // the attachment part's headers, Name=value
    std::string FileName;       // from the part's Content-Disposition
    std::string StoredPathName; // temporary file holding the decoded bytes

    // Copies the stored file to destination (one trailing "/" removed),
    // replacing an existing file. Returns whether the copy succeeded.
    bool SaveToFile(const std::string& destination) const;
};

using TMessageParts = std::vector<TMessagePart>;
using TAttachments = std::vector<TAttachment>;
