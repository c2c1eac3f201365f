// SPDX-License-Identifier: GPL-3.0-or-later
// The body reader fed from bytes: the fuzz input is the reply to RETR after
// its "+OK" line (header block, body, maybe a "."), handed out in pieces
// whose size the first byte picks. Its bit 7 turns attachment extraction
// off; its bit 6 runs the reader with bounds so small that short inputs hit
// every one of them. No input may crash, hang or leave an attachment file
// behind open; the files made are removed after each run.
#include "fuzz/MemoryStream.h"
#include "mail/Headers.h"
#include "mail/MimeBody.h"
#include "mail/MimeFiles.h"
#include "net/WirePOP3.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <unistd.h>

namespace {

// Attachment files go to a folder of their own, set before the first one
// and removed (empty by then) when the fuzzer ends.
char tempDir[] = "/tmp/tolmu-fuzz-body-XXXXXX";
const bool tempReady = [] {
    if (mkdtemp(tempDir)) {
        setenv("TMPDIR", tempDir, 1);
        std::atexit([] { ::rmdir(tempDir); });
    }
    return true;
}();

// Bounds that a few lines of input reach: text, one header block, parts,
// one attachment's bytes, nesting.
const mime::BodyLimits SmallLimits{256, 256, 4, 16, 2};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const std::size_t piece = 1 + data[0] % 16;
    std::string input = "+OK\r\n";
    input.append(reinterpret_cast<const char*>(data + 1), size - 1);

    TWirePOP3 pop;
    pop.AttachStream(std::make_unique<MemoryStream>(input, piece));
    TWireMessage msg;
    msg.ExtractAttachments = (data[0] & 0x80) == 0;
    try {
        if (data[0] & 0x40) {
            pop.ReadResponse();
            pop.ReceiveHeader(msg, "");
            ConnectionLines lines(pop);
            mime::ReadBody(lines, msg.Headers,
                           {msg.Text, msg.MessageParts, msg.Attachments, msg.ExtractAttachments},
                           UnfoldHeaders, SmallLimits);
        } else {
            pop.Retrieve(1, msg);
        }
    } catch (const std::exception&) {
        // Closed connection, boundary error, bounds: all reported as errors.
    }
    return 0; // the attachments' copies have no name: they go with msg
}
