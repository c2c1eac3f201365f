// SPDX-License-Identifier: GPL-3.0-or-later
// ReadResponse, ReadLine and CaptureLines over arbitrary bytes. The first
// byte picks the receive piece size and the buffer step, so buffer edges
// move around; every failure must be one of the transport's own errors.
#include "fuzz/MemoryStream.h"
#include "net/Pop3Reply.h"
#include "net/WireClient.h"

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const uint8_t control = data[0];
    const std::size_t piece = 1 + (control & 0x0F);
    const int32_t chunk = 2 + ((control >> 4) & 0x07) * 7;
    const bool filter = control & 0x80;
    const TPop3ReplyRule pop3;
    TWireClient client;
    client.SetReplyRule(pop3);
    client.SetBufferChunk(chunk);
    client.ASCIIFilter = filter;
    client.AttachStream(std::make_unique<MemoryStream>(
        std::string(reinterpret_cast<const char*>(data) + 1, size - 1), piece));
    std::vector<std::string> lines;
    try {
        for (int round = 0; round < 64 && client.Connected(); ++round) {
            const int16_t code = client.ReadResponse();
            if (!client.ResponseLines.empty() && client.ResponseLines.back() != client.ResultText)
                std::abort(); // the closing line of a multi-line reply is its ResultText
            if (code == 1) {
                lines.clear();
                const int32_t which = client.CaptureLines(&lines, {".", "--end"});
                if (which < 1 || which > 2)
                    std::abort();
            } else if (code == 0) {
                client.ReadLine();
            }
        }
    } catch (const Exception&) {
        // Closed peer, overlong line: expected endings of a bad stream.
    }
    return 0;
}
