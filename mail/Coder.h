// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Base64 of RFC 2045 (alphabet A-Z a-z 0-9 + /, pad "="): the decoder turns
// the lines of a base64 attachment into bytes, the encoder writes a file as
// base64 lines for the sending side.
#include "mail/StringList.h"

#include <functional>
#include <ostream>
#include <string>
#include <string_view>

class TWireCoder {
public:
    virtual ~TWireCoder() = default;
};

class TWireDecoder : public TWireCoder {
public:
    // Decodes exactly four characters into 1 to 3 bytes: one byte when the
    // third character is "=", two when only the fourth is, else three.
    // Characters outside the alphabet count as 0. Throws Exception
    // "DecodeUnit length error." when s is not four characters long.
    static std::string DecodeUnit(std::string_view s);

    // Decodes every complete group of four characters of the whole line (no
    // length cap); a line of three characters or fewer gives nothing, and
    // characters after the last complete group are ignored. Never throws.
    static std::string DecodeLine(std::string_view line);

    // DecodeLine appending to out, so a streaming reader reuses one buffer.
    static void DecodeLineTo(std::string_view line, std::string& out);
};

class TWireEncoder : public TWireCoder {
public:
    // Receives each encoded line when EncodeFile has no target.
    using LineHandler = std::function<void(const std::string& line)>;
    LineHandler OnLine;

    // Standard base64 of 1 to 3 bytes, padded with "=" to four characters.
    // Throws Exception "EncodeUnit length error." for any other length.
    static std::string EncodeUnit(std::string_view bytes);

    // EncodeUnit over successive groups of three bytes, joined; the last
    // group may be shorter. An empty input gives an empty text.
    static std::string EncodeLine(std::string_view bytes);

    // Encodes the file at path in blocks of 45 bytes, one 60-character line
    // per full block (the last one shorter), then writes one empty line.
    // The targets: a string list gets each line appended; a byte stream
    // gets it followed by CR LF; with no target, OnLine receives it (the
    // transport sends to a connection with EncodeFileToConnection).
    // Throws Exception "Cannot open file <path>." when the file cannot be
    // opened, Exception "No Event Defined" without target and OnLine, and
    // whatever the target throws (connection errors).
    void EncodeFile(const std::string& path, TStringList& target) const;
    void EncodeFile(const std::string& path, std::ostream& target) const;
    void EncodeFile(const std::string& path) const;

    // The encoding loop under every EncodeFile: write gets each line; begin
    // the file size, progress the bytes done after each block, end the close.
    void EncodeFileWith(const std::string& path, const std::function<void(const std::string&)>& write,
                        const std::function<void(long long size)>& begin,
                        const std::function<void(long long done)>& progress,
                        const std::function<void()>& end) const;
};
