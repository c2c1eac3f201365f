// SPDX-License-Identifier: GPL-3.0-or-later
// Every bound of the line layer and of POP3 at its edge: an input exactly
// as large as the bound is taken whole, one byte (or line) more is refused
// with the bound's own error. Each input is fed in one piece, with its last
// byte alone (a CR parted from its LF) and in mid-sized pieces, since an
// off-by-one hides at a receive's edge as often as at the count itself.
#include "fuzz/MemoryStream.h"
#include "net/Pop3Reply.h"
#include "net/WireClient.h"
#include "net/WireErrors.h"
#include "net/WireMessageClient.h"
#include "net/WirePOP3.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace {

// Attaches input to client so that one receive hands out at most piece
// bytes, with a buffer large enough for the whole input in one receive.
void feed(TWireSocket& client, const std::string& input, std::size_t piece)
{
    client.SetBufferChunk(static_cast<int32_t>(input.size() + 16));
    client.AttachStream(std::make_unique<MemoryStream>(input, piece));
}

// What one read made of its input: "" when it was taken whole, else the
// error it threw (or the listing reported).
using Reader = std::function<std::string(const std::string& input, std::size_t piece)>;

template <class Read>
std::string errorOf(Read read)
{
    try {
        read();
    } catch (const EWireException& e) {
        return e.what();
    }
    return "";
}

// Header lines of exactly n bytes together, CR LF included.
std::string headerBlockOf(std::size_t n)
{
    const std::size_t lineBytes = 1002; // "X-Filler: " + filler + CR LF
    const std::size_t lines = n / lineBytes;
    std::string block;
    for (std::size_t i = 0; i < lines; ++i)
        block += "X-Filler: " + std::string(lineBytes - 12 + (i == 0 ? n % lineBytes : 0), 'f') + "\r\n";
    return block;
}

} // namespace

TEST(WireBounds, AnInputExactlyAtEachBoundIsTakenAndOneMoreIsRefused)
{
    struct Row {
        const char* name;
        std::size_t bound;
        std::function<std::string(std::size_t n)> input; // n: bytes or lines up to the bound
        Reader read;
        std::string pastError;
    } rows[] = {
        {"line length", MaxWireLineBytes, [](std::size_t n) { return std::string(n, 'y') + "\r\n"; },
         [](const std::string& input, std::size_t piece) {
             TWireClient client;
             feed(client, input, piece);
             return errorOf([&] { EXPECT_EQ(client.ReadLine().size(), input.size() - 2); });
         },
         "Line too long."},
        // The lines of a multi-line reply together, trimmed: "250-" and
        // filler, then "250 end".
        {"multi-line reply", MaxWireLineBytes,
         [](std::size_t n) { return "250-" + std::string(n - 11, 'r') + "\r\n250 end\r\n"; },
         [](const std::string& input, std::size_t piece) {
             TPop3ReplyRule pop3;
             TWireClient client;
             client.SetReplyRule(pop3);
             feed(client, input, piece);
             return errorOf([&] { EXPECT_EQ(client.ReadResponse(), 250); });
         },
         "Reply too long."},
        {"header block", MaxHeaderBlockBytes, [](std::size_t n) { return headerBlockOf(n) + "\r\n"; },
         [](const std::string& input, std::size_t piece) {
             TWireMessageClient client;
             feed(client, input, piece);
             TWireMessage message;
             return errorOf([&] { client.ReceiveHeader(message, ""); });
         },
         "Header block too large."},
        {"listing lines", static_cast<std::size_t>(MaxListingLines),
         [](std::size_t n) {
             std::string listing = "+OK\r\n";
             for (std::size_t i = 0; i < n; ++i)
                 listing += "1 a\r\n";
             return listing + ".\r\n";
         },
         [](const std::string& input, std::size_t piece) {
             TWirePOP3 pop;
             feed(pop, input, piece);
             const int32_t count = pop.CheckMessages();
             if (pop.ListingFailed())
                 return pop.ListingError();
             EXPECT_EQ(count, MaxListingLines);
             return std::string();
         },
         "Too much data."},
        // A server's text shown in an error or status: kept whole up to the
        // bound, cut with a note past it.
        {"server text", MaxServerTextBytes, [](std::size_t n) { return std::string(n, 't'); },
         [](const std::string& input, std::size_t) {
             const std::string shown = ServerReplyText(input);
             return shown == input ? std::string() : shown.substr(MaxServerTextBytes);
         },
         " ... (cut: the server sent 301 bytes)"},
    };
    for (const Row& r : rows) {
        for (const std::size_t n : {r.bound, r.bound + 1}) {
            const std::string input = r.input(n);
            const std::string expected = n == r.bound ? "" : r.pastError;
            for (const std::size_t piece : {input.size(), input.size() - 1, std::size_t(65536)}) {
                SCOPED_TRACE(std::string(r.name) + (n == r.bound ? " at the bound" : " past it") + ", pieces of " +
                             std::to_string(piece));
                EXPECT_EQ(r.read(input, piece), expected);
            }
        }
    }
}
