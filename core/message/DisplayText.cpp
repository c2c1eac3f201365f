// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/message/DisplayText.h"

#include "base/Text.h"
#include "mail/BodyDecoder.h"
#include "mail/Charset.h"
#include "mail/MimeParams.h"

#include <cctype>
#include <gumbo.h>
#include <map>

namespace {

// Past this, HTML is not handed to the parser: its tree costs many times
// the text, and no one reads more than this in a message window.
constexpr std::size_t MaxHtmlBytes = 4u << 20;

bool isBlock(GumboTag tag)
{
    switch (tag) {
    case GUMBO_TAG_P: case GUMBO_TAG_DIV: case GUMBO_TAG_LI: case GUMBO_TAG_UL: case GUMBO_TAG_OL:
    case GUMBO_TAG_TR: case GUMBO_TAG_TABLE: case GUMBO_TAG_H1: case GUMBO_TAG_H2: case GUMBO_TAG_H3:
    case GUMBO_TAG_H4: case GUMBO_TAG_H5: case GUMBO_TAG_H6: case GUMBO_TAG_BLOCKQUOTE: case GUMBO_TAG_PRE:
    case GUMBO_TAG_HR: case GUMBO_TAG_DL: case GUMBO_TAG_DT: case GUMBO_TAG_DD: case GUMBO_TAG_SECTION:
    case GUMBO_TAG_ARTICLE: case GUMBO_TAG_HEADER: case GUMBO_TAG_FOOTER: case GUMBO_TAG_ADDRESS:
    case GUMBO_TAG_CENTER: case GUMBO_TAG_FORM: case GUMBO_TAG_FIELDSET: case GUMBO_TAG_NAV:
    case GUMBO_TAG_ASIDE: case GUMBO_TAG_MAIN: case GUMBO_TAG_FIGURE: case GUMBO_TAG_FIGCAPTION:
    case GUMBO_TAG_BODY: case GUMBO_TAG_CAPTION: case GUMBO_TAG_TBODY: case GUMBO_TAG_THEAD:
    case GUMBO_TAG_TFOOT:
        return true;
    default:
        return false;
    }
}

bool isHidden(GumboTag tag)
{
    return tag == GUMBO_TAG_SCRIPT || tag == GUMBO_TAG_STYLE || tag == GUMBO_TAG_HEAD ||
           tag == GUMBO_TAG_TEMPLATE || tag == GUMBO_TAG_NOSCRIPT || tag == GUMBO_TAG_TITLE;
}

// Builds the text with at most one blank between words and at most one
// empty line between blocks.
class TextBuilder {
public:
    void words(std::string_view s)
    {
        for (char c : s) {
            if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f') {
                m_blank = true;
                continue;
            }
            if (m_blank && !m_out.empty() && m_out.back() != '\n')
                m_out.push_back(' ');
            m_blank = false;
            m_out.push_back(c);
        }
    }
    void verbatim(std::string_view s)
    {
        for (char c : s)
            if (c != '\r')
                m_out.push_back(c);
        m_blank = false;
    }
    void lineBreak()
    {
        m_out.push_back('\n');
        m_blank = false;
    }
    // Ends the current line and leaves one empty line, unless one is there.
    void blockBreak()
    {
        m_blank = false;
        while (!m_out.empty() && m_out.back() == ' ')
            m_out.pop_back();
        // Blanks alone (a <pre> of spaces) leave nothing to end.
        if (m_out.empty())
            return;
        if (m_out.back() != '\n')
            m_out.push_back('\n');
        if (m_out.size() < 2 || m_out[m_out.size() - 2] != '\n')
            m_out.push_back('\n');
    }
    // The text without the breaks and blanks around it.
    std::string take()
    {
        const std::size_t end = m_out.find_last_not_of(" \n");
        const std::size_t begin = m_out.find_first_not_of(" \n");
        return end == std::string::npos ? std::string() : m_out.substr(begin, end + 1 - begin);
    }

private:
    std::string m_out;
    bool m_blank = false;
};

std::string attribute(const GumboElement& e, const char* name)
{
    const GumboAttribute* a = gumbo_get_attribute(&e.attributes, name);
    return a ? std::string(a->value) : std::string();
}

void walk(const GumboNode* node, TextBuilder& out, bool pre, int depth)
{
    // A deep tree is walked no further than a window could show.
    if (depth > 200)
        return;
    switch (node->type) {
    case GUMBO_NODE_TEXT:
    case GUMBO_NODE_CDATA:
        pre ? out.verbatim(node->v.text.text) : out.words(node->v.text.text);
        return;
    case GUMBO_NODE_WHITESPACE:
        if (pre)
            out.verbatim(node->v.text.text);
        else
            out.words(" ");
        return;
    case GUMBO_NODE_ELEMENT:
    case GUMBO_NODE_TEMPLATE:
    case GUMBO_NODE_DOCUMENT:
        break;
    default:
        return;
    }
    const GumboVector* children =
        node->type == GUMBO_NODE_DOCUMENT ? &node->v.document.children : &node->v.element.children;
    GumboTag tag = GUMBO_TAG_UNKNOWN;
    if (node->type != GUMBO_NODE_DOCUMENT) {
        tag = node->v.element.tag;
        if (isHidden(tag))
            return;
        if (tag == GUMBO_TAG_BR) {
            out.lineBreak();
            return;
        }
        if (tag == GUMBO_TAG_IMG) {
            const std::string alt = attribute(node->v.element, "alt");
            if (!alt.empty())
                out.words(" [" + alt + "] ");
            return;
        }
        if (tag == GUMBO_TAG_TD || tag == GUMBO_TAG_TH)
            out.words(" ");
        if (isBlock(tag))
            out.blockBreak();
        if (tag == GUMBO_TAG_LI)
            out.words("* ");
    }
    const bool inPre = pre || tag == GUMBO_TAG_PRE || tag == GUMBO_TAG_TEXTAREA;
    for (unsigned i = 0; i < children->length; ++i)
        walk(static_cast<const GumboNode*>(children->data[i]), out, inPre, depth + 1);
    if (tag == GUMBO_TAG_A) {
        // The target is kept where a reader cannot see it in the text.
        const std::string href = attribute(node->v.element, "href");
        std::string shown;
        for (unsigned i = 0; i < children->length; ++i) {
            const auto* c = static_cast<const GumboNode*>(children->data[i]);
            if (c->type == GUMBO_NODE_TEXT)
                shown += c->v.text.text;
        }
        const std::string_view target = text::trim(href);
        const bool mailto = text::sameText(target.substr(0, 7), "mailto:");
        if (!target.empty() && target[0] != '#' && !text::sameText(target.substr(0, 11), "javascript:") &&
            text::trim(shown) != target && !(mailto && text::trim(shown) == target.substr(7)))
            out.words(" [" + std::string(target) + "]");
    }
    if (tag != GUMBO_TAG_UNKNOWN && isBlock(tag))
        out.blockBreak();
}

std::vector<std::string> splitLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos <= text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(std::move(line));
        pos = end + 1;
    }
    while (!lines.empty() && text::trim(lines.back()).empty())
        lines.pop_back();
    return lines;
}

} // namespace

std::string DisplayHeader(std::string_view raw)
{
    return mime::DecodeEncodedWords(raw);
}

TDateTime DisplayDate(const std::string& value)
{
    // Tokens after an optional weekday: a day number, a month name, a year.
    std::string_view s = text::trim(value);
    if (const std::size_t comma = s.find(','); comma != std::string_view::npos && comma <= 4)
        s = text::trim(s.substr(comma + 1));
    auto token = [&s]() {
        s = text::trim(s);
        const std::size_t end = std::min(s.find_first_of(" \t"), s.size());
        const std::string_view t = s.substr(0, end);
        s.remove_prefix(end);
        return t;
    };
    auto digits = [](std::string_view t, std::size_t minLen, std::size_t maxLen) {
        if (t.size() < minLen || t.size() > maxLen)
            return false;
        for (char c : t)
            if (!std::isdigit(static_cast<unsigned char>(c)))
                return false;
        return true;
    };
    static const char* const months[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                         "jul", "aug", "sep", "oct", "nov", "dec"};
    const std::string_view day = token();
    const std::string month = text::lower(token().substr(0, 3));
    const std::string_view year = token();
    bool knownMonth = false;
    for (const char* m : months)
        knownMonth = knownMonth || month == m;
    if (!digits(day, 1, 2) || !knownMonth || !digits(year, 2, 4))
        return 0;
    return ParseDate(value);
}

std::string HtmlToText(std::string_view html)
{
    if (html.size() > MaxHtmlBytes)
        html = html.substr(0, MaxHtmlBytes);
    GumboOptions options = kGumboDefaultOptions;
    // Nothing reads the parser's error list, and each record copies the
    // open-tag stack: 20,000 unclosed tags in 100 KB would cost gigabytes.
    options.max_errors = 0;
    GumboOutput* doc = gumbo_parse_with_options(&options, html.data(), html.size());
    TextBuilder out;
    walk(doc->document, out, false, 0);
    gumbo_destroy_output(&options, doc);
    return out.take();
}

std::string DisplayPartText(const TMessagePart& part)
{
    mime::BodyDecoder decoder = mime::BodyDecoder::ForText(part.ContentTransfer);
    std::string bytes;
    for (const std::string& line : part.Text)
        decoder.Feed(line, bytes);
    decoder.Finish(bytes);
    const std::string charset = mime::HeaderParameter(part.ContentType, "charset").value_or("");
    std::string utf8 = mime::ToUtf8(bytes, charset);
    if (mime::MediaType(part.ContentType) == "text/html")
        return HtmlToText(utf8);
    return utf8;
}

std::vector<std::string> DisplayBodyLines(const TMessageParts& parts)
{
    // Which groups of alternatives have a plain version.
    std::map<std::size_t, bool> hasPlain;
    for (const TMessagePart& p : parts) {
        const std::string media = mime::MediaType(p.ContentType);
        if (p.AlternativeGroup && (media == "text/plain" || media.empty()))
            hasPlain[p.AlternativeGroup] = true;
    }
    std::vector<std::string> lines;
    for (const TMessagePart& p : parts) {
        const std::string media = mime::MediaType(p.ContentType);
        if (p.AlternativeGroup && hasPlain[p.AlternativeGroup] && !(media == "text/plain" || media.empty()))
            continue;
        std::vector<std::string> more = splitLines(DisplayPartText(p));
        if (more.empty())
            continue;
        if (!lines.empty())
            lines.emplace_back();
        for (std::string& l : more)
            lines.push_back(std::move(l));
    }
    return lines;
}
