// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The MIME body reader: multipart bodies entered at every level (bounded in
// depth), text parts kept as they arrived, and attachments (a part marked
// or named as one, or any non-text part) decoded from base64,
// quoted-printable or uuencode, or taken as they are, into "PBE" files.
// It reads lines from a LineSource, so the same code runs on a connection,
// in unit tests and under the fuzzer. What a part's headers say (its type,
// boundary, file name) is read by the header-value grammar, mail/MimeParams.
#include "mail/MessageParts.h"
#include "mail/StringList.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace mime {

// Where the body lines come from: the rest of a POP3 reply, through ".".
class LineSource {
public:
    virtual ~LineSource() = default;
    // The next raw line without its CR LF (still dot-stuffed). Throws the
    // transport's errors (closed connection, time-out).
    virtual std::string ReadLine() = 0;
};

// Bounds on what one message may make the reader keep. When one is hit the
// reader stops storing that kind of data, reads on to the end of the
// message (so the connection stays in step) and then throws.
// The memory bounds count each kept line's own overhead as well, so that
// millions of short lines cannot cost more than a few long ones.
struct BodyLimits {
    std::size_t MaxTextBytes = 16u << 20;            // all of Text together
    std::size_t MaxHeaderBytes = 1u << 20;           // one part's header block
    std::size_t MaxParts = 10000;                    // text parts and attachments
    std::uint64_t MaxAttachmentBytes = 4ull << 30;   // one attachment file
    std::size_t MaxDepth = 8;                        // nested multipart levels
    std::size_t MaxTextLines = 250000;               // lines of Text together
    std::size_t MaxStoredHeaderBytes = 8u << 20;     // headers kept by all attachments
};

// What the reader fills: the message's body fields.
struct BodyTarget {
    TStringList& Text;
    TMessageParts& Parts;
    TAttachments& Attachments;
    bool ExtractAttachments = true;
};

// Turns the raw lines of a header block into Name=value entries.
using HeaderUnfolder = std::function<void(TStringList& lines)>;

// Reads one body, whose header block is headers, from in through the final
// "." line, and fills out. A message cut short ends at the "." line (an
// attachment it cuts gets its Problem; one whose encoding ended cleanly is
// kept, with a Note). Attachments own their files
// (TAttachment::StoredFile); a file that could not be written is removed.
// A multipart without a usable boundary parameter takes the one boundary
// its body announces (its first "--" line), or is shown as text when the
// body announces none or several. Throws, after the whole body was read
// (so the connection stays in step), EWireException with the first
// problem met: "Message too large: ..."
// when a BodyLimits bound was hit, or a temporary file that could not be
// created or written; and whatever in throws. Parts and
// attachments stored before an error stay in out; open files are closed.
void ReadBody(LineSource& in, const TStringList& headers, BodyTarget out,
              const HeaderUnfolder& unfold, const BodyLimits& limits = {});

} // namespace mime
