// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One part's Content-Transfer-Encoding undone line by line: the one place
// that reads the encoding's name, for the text the display shows and for
// the bytes an attachment's file gets alike.
#include "mail/TransferCoding.h"

#include <string>
#include <string_view>

namespace mime {

class BodyDecoder {
public:
    // For a text part as a reader sees it: lines end in "\n" (a bare LF
    // inside a line ends a quoted-printable line too), base64 goes on past
    // empty lines, and uuencode lines are shown as they are.
    static BodyDecoder ForText(std::string_view transferEncoding);
    // For an attachment's file: lines end in CR LF, base64 data ends at the
    // first empty line after it began (what follows is a mailer's footer,
    // not data), uuencode is decoded. whole: the part is the message
    // itself, so its last line break is its own (in a multipart it belongs
    // to the separator).
    static BodyDecoder ForFile(std::string_view transferEncoding, bool whole);

    // Appends the bytes of one more line (without its line end) to out.
    void Feed(std::string_view line, std::string& out);
    // Appends what the last line still holds; returns whether the encoding
    // ended cleanly (whole base64 groups or a pad, no quoted-printable soft
    // break, uuencode's "end"), as a part that was not cut short does.
    bool Finish(std::string& out);

private:
    enum class Coding { Base64, QuotedPrintable, Uuencode, AsIs };
    BodyDecoder(Coding coding, std::string_view lineBreak, bool file, bool whole)
        : m_coding(coding), m_lineBreak(lineBreak), m_file(file), m_whole(whole)
    {
    }
    static Coding codingOf(std::string_view transferEncoding, bool uuencode);
    void feedQuotedPrintable(std::string_view line, std::string& out);

    Coding m_coding;
    std::string_view m_lineBreak;
    bool m_file;               // the bytes go to an attachment's file
    bool m_whole;              // its last line break is its own
    Base64Stream m_base64;
    UudecodeStream m_uu;
    bool m_lineBreakDue = false; // the previous line's break, written once a line follows
    bool m_softEnd = false;      // the last quoted-printable line ended in "="
    bool m_dataBegun = false;    // base64: a line of data was read
    bool m_dataEnded = false;    // base64: an empty line after it ended the data
};

} // namespace mime
