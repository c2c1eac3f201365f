// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/Report.h"

#include "base/Text.h"

#include <cstdio>
#include <cstdlib>
#include <utility>

namespace report {
namespace {
FatalSink& sink()
{
    static FatalSink s;
    return s;
}
} // namespace

void SetFatalSink(FatalSink s) { sink() = std::move(s); }

namespace {

void appendEscape(std::string& out, unsigned char c)
{
    static const char hex[] = "0123456789abcdef";
    out += "\\x";
    out += hex[c >> 4];
    out += hex[c & 15];
}

} // namespace

std::string ConsoleText(const std::string& text, LineBreaks breaks)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        const bool crlf = c == '\r' && i + 1 < text.size() && text[i + 1] == '\n';
        if (c == '\r' && breaks == LineBreaks::LfOnly) {
            out += "\\r";
        } else if (c == '\r' || (c == '\n' && breaks == LineBreaks::OneLine)) {
            if (crlf)
                ++i;
            out += breaks == LineBreaks::OneLine ? ' ' : '\n';
        } else if (c == '\n' || c == '\t') {
            out += static_cast<char>(c);
        } else if (c == 0x1B) {
            out += "\\e";
        } else if (c < 0x20 || c == 0x7F) {
            appendEscape(out, c);
        } else if (c >= 0x80) {
            char32_t cp = 0;
            const std::size_t len = text::utf8Char(text, i, cp);
            if (len == 2 && cp <= 0x9F) {
                // A C1 control written in UTF-8: U+009B is a CSI to a UTF-8 terminal.
                appendEscape(out, c);
                appendEscape(out, static_cast<unsigned char>(text[++i]));
            } else if (len > 1) {
                out.append(text, i, len);
                i += len - 1;
            } else if (c <= 0x9F) {
                // A raw C1 byte outside any UTF-8 character: 0x9B is a CSI
                // to a terminal reading 8-bit controls.
                appendEscape(out, c);
            } else {
                out += static_cast<char>(c); // Latin-1 text, harmless
            }
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

void Fatal(const std::string& text)
{
    std::fprintf(stderr, "%s\n", ConsoleText(text).c_str());
    std::fflush(stderr);
    if (sink())
        sink()(text);
    std::fflush(stdout);
    std::_Exit(1);
}

} // namespace report
