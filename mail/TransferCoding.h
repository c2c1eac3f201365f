// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Undoing the transfer encodings of RFC 2045 and uuencode line by line, so an
// attachment of any size is decoded as it streams in, and whole texts for
// the display.
#include "base/Base64.h"

#include <string>
#include <string_view>

namespace mime {

// Base64 of a body as its lines stream in (TBase64Leniency::SkipStray):
// incomplete groups carry over line ends and everything outside the
// alphabet is skipped (line breaks and stray characters are ignored), so
// lines of any width decode exactly. Decoding stops at the first "=" pad
// until Reset; Finish appends what a final group without its pad holds.
class Base64Stream : public TBase64Decoder {
public:
    Base64Stream() : TBase64Decoder(TBase64Leniency::SkipStray) {}
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
