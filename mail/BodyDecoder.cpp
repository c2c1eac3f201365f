// SPDX-License-Identifier: GPL-3.0-or-later
#include "mail/BodyDecoder.h"

#include "base/Text.h"

namespace mime {

BodyDecoder::Coding BodyDecoder::codingOf(std::string_view transferEncoding, bool uuencode)
{
    const std::string cte = text::lower(text::trim(transferEncoding));
    if (cte == "base64")
        return Coding::Base64;
    if (cte == "quoted-printable")
        return Coding::QuotedPrintable;
    if (uuencode && (cte == "x-uuencode" || cte == "uuencode" || cte == "x-uue"))
        return Coding::Uuencode;
    // 7bit, 8bit, binary, and names no one knows: the lines as they are.
    return Coding::AsIs;
}

BodyDecoder BodyDecoder::ForText(std::string_view transferEncoding)
{
    return BodyDecoder(codingOf(transferEncoding, false), "\n", false, false);
}

BodyDecoder BodyDecoder::ForFile(std::string_view transferEncoding, bool whole)
{
    return BodyDecoder(codingOf(transferEncoding, true), "\r\n", true, whole);
}

void BodyDecoder::feedQuotedPrintable(std::string_view line, std::string& out)
{
    if (m_lineBreakDue)
        out += m_lineBreak;
    m_softEnd = DecodeQuotedPrintableLine(line, out);
    m_lineBreakDue = !m_softEnd;
}

void BodyDecoder::Feed(std::string_view line, std::string& out)
{
    switch (m_coding) {
    case Coding::Base64:
        if (m_file) {
            if (m_dataEnded)
                return;
            // Empty lines before the data are some mailers' spacing.
            if (text::trim(line).empty()) {
                m_dataEnded = m_dataBegun && line.empty();
                return;
            }
            m_dataBegun = true;
        }
        m_base64.Feed(line, out);
        return;
    case Coding::QuotedPrintable:
        if (m_file) {
            feedQuotedPrintable(line, out);
            return;
        }
        for (std::size_t end = line.find('\n'); end != std::string_view::npos; end = line.find('\n')) {
            feedQuotedPrintable(line.substr(0, end), out);
            line.remove_prefix(end + 1);
        }
        feedQuotedPrintable(line, out);
        return;
    case Coding::Uuencode:
        m_uu.Feed(line, out);
        return;
    case Coding::AsIs:
        if (m_lineBreakDue)
            out += m_lineBreak;
        out += line;
        m_lineBreakDue = true;
        return;
    }
}

bool BodyDecoder::Finish(std::string& out)
{
    bool clean = true;
    switch (m_coding) {
    case Coding::Base64:
        clean = m_base64.Complete();
        m_base64.Finish(out);
        break;
    case Coding::QuotedPrintable:
        clean = !m_softEnd;
        break;
    case Coding::Uuencode:
        clean = m_uu.Finished();
        break;
    case Coding::AsIs:
        break;
    }
    if (m_whole && m_lineBreakDue)
        out += m_lineBreak;
    m_lineBreakDue = false;
    return clean;
}

} // namespace mime
