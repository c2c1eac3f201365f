// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Undoing the transfer encodings of RFC 2045 and uuencode line by line, so an
// attachment of any size is decoded as it streams in, and whole texts for
// the display.
#include <string>
#include <string_view>

namespace mime {

// Base64 that carries incomplete groups over line ends and skips everything
// outside the alphabet (RFC 2045: line breaks and stray characters are
// ignored), so lines of any width decode exactly. Decoding stops at the
// first "=" pad until Reset.
class Base64Stream {
public:
    // Appends the bytes of the complete groups of line to out.
    void Feed(std::string_view line, std::string& out);
    // Appends what a final group without its pad still holds.
    void Finish(std::string& out);
    void Reset() { m_count = 0, m_bits = 0, m_done = false; }
    // Whether the data fed so far ends on a whole group or at its pad, as
    // complete base64 does.
    bool Complete() const { return m_done || m_count == 0; }

private:
    unsigned m_count = 0;
    unsigned m_bits = 0;
    bool m_done = false;
};

// One line of quoted-printable: "=XX" becomes its byte, a malformed "="
// stays as it is, blanks before the line end are transport padding. Returns
// whether the line ends with a soft line break ("=" at its end), which joins
// it to the next line without a line break.
bool DecodeQuotedPrintableLine(std::string_view line, std::string& out);

// A whole quoted-printable text whose lines end in LF or CR LF; hard line
// breaks come out as "\n".
std::string DecodeQuotedPrintable(std::string_view text);

// A whole base64 text; stray characters are skipped.
std::string DecodeBase64(std::string_view text);

// uuencode: the lines between "begin MODE NAME" and "end".
class UudecodeStream {
public:
    void Feed(std::string_view line, std::string& out);
    // Whether the "end" line has been read.
    bool Finished() const { return m_state == State::After; }

private:
    enum class State { Before, Data, After } m_state = State::Before;
};

} // namespace mime
