// SPDX-License-Identifier: GPL-3.0-or-later
// The display decoding fed from bytes: the first byte picks what the rest
// is (a header value with encoded words, a text part in one of a few
// transfer encodings and charsets, or HTML). No input may crash, hang or
// read out of bounds.
#include "core/message/DisplayText.h"
#include "mail/Charset.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    static const char* const charsets[] = {"utf-8", "iso-8859-1", "windows-1252", "koi8-r",
                                           "iso-2022-jp", "shift_jis", "big5", "x-unknown"};
    static const char* const codings[] = {"", "quoted-printable", "base64", "8bit"};
    const uint8_t pick = data[0];
    const std::string input(reinterpret_cast<const char*>(data + 1), size - 1);
    switch (pick % 3) {
    case 0:
        DisplayHeader(input);
        break;
    case 1: {
        TMessagePart part;
        part.ContentType = std::string(pick & 0x80 ? "text/html" : "text/plain") + "; charset=" +
                           charsets[(pick >> 2) % 8];
        part.ContentTransfer = codings[(pick >> 5) % 4];
        std::size_t pos = 0;
        while (pos <= input.size()) {
            std::size_t end = input.find('\n', pos);
            if (end == std::string::npos)
                end = input.size();
            part.Text.push_back(input.substr(pos, end - pos));
            pos = end + 1;
        }
        DisplayBodyLines({part});
        break;
    }
    default:
        mime::ToUtf8(input, charsets[(pick >> 2) % 8]);
        HtmlToText(input);
        break;
    }
    return 0;
}
