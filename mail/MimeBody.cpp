#include "mail/MimeBody.h"

#include "base/Exception.h"
#include "mail/Coder.h"
#include "mail/Headers.h"
#include "mail/MimeFiles.h"
#include "base/Text.h"

#include <algorithm>
#include <cctype>
#include <memory>
#include <vector>

namespace mime {

namespace {

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// RFC 2231 extended value: charset'language'percent-encoded bytes. The bytes
// are kept as they are (UTF-8 in practice); the charset is not converted.
std::string decodeExtendedValue(std::string_view v)
{
    const std::size_t first = v.find('\'');
    const std::size_t second = first == std::string_view::npos ? first : v.find('\'', first + 1);
    if (second != std::string_view::npos)
        v.remove_prefix(second + 1);
    std::string out;
    for (std::size_t i = 0; i < v.size(); ++i) {
        if (v[i] == '%' && i + 2 < v.size() && hexValue(v[i + 1]) >= 0 && hexValue(v[i + 2]) >= 0) {
            out.push_back(static_cast<char>(hexValue(v[i + 1]) * 16 + hexValue(v[i + 2])));
            i += 2;
        } else {
            out.push_back(v[i]);
        }
    }
    return out;
}

// Separator lines may carry trailing blanks (RFC 2046 transport padding).
bool onlyBlanks(const std::string& s, std::size_t from)
{
    for (std::size_t i = from; i < s.size(); ++i)
        if (s[i] != ' ' && s[i] != '\t')
            return false;
    return true;
}

// The type before the "/" of a Content-Type value, in lower case.
std::string mainType(std::string_view contentType)
{
    return text::lower(text::trim(contentType.substr(0, contentType.find('/'))));
}

// How one capture ended: on a separator or a closing separator of the
// multipart level at index level, or at the end of the message.
enum class Stop { Separator, Closing, End };
struct Ending {
    Stop stop;
    std::size_t level = 0;
};

// Known limits, kept on purpose: text parts are stored as they arrived (no
// quoted-printable or charset decoding, the message window shows them raw);
// base64 data ends at its first empty line; only Content-Disposition's
// filename names an attachment, and unnamed non-text parts are skipped;
// multipart parts other than multipart/alternative are not entered.
class Reader {
public:
    Reader(LineSource& in, BodyTarget& out, const HeaderUnfolder& unfold, const BodyLimits& limits)
        : m_in(in), m_out(out), m_unfold(unfold), m_limits(limits)
    {
    }

    void plain(const TStringList& headers)
    {
        m_out.Parts.push_back({});
        TMessagePart& part = m_out.Parts.back();
        part.ContentType = HeaderValue(headers, "Content-Type");
        part.ContentTransfer = HeaderValue(headers, "Content-Transfer-Encoding");
        std::string line;
        while (next(line)) {
            if (keepText(line.size()))
                part.Text.push_back(line);
        }
        m_out.Text = part.Text;
    }

    void multipart(const std::string& boundary)
    {
        m_markers.assign(1, "--" + boundary);
        std::string line;
        bool atSeparator = false;
        bool closed = false; // after the outermost closing: only the epilogue is left
        for (;;) {
            if (atSeparator) {
                const Ending e = readPart();
                if (e.stop == Stop::End)
                    return;
                atSeparator = apply(e, closed);
                continue;
            }
            if (!next(line))
                return;
            Ending e;
            if (!closed && matchMarker(line, e))
                atSeparator = apply(e, closed);
        }
    }

    void drain()
    {
        std::string line;
        while (next(line)) {
        }
    }

    // Throws the first problem met; called once the whole body has been
    // read, so the connection is still in step for the next command.
    void finish()
    {
        if (!m_problem.empty())
            throw EWireException(m_problem);
    }

private:
    // The next body line, dot-unstuffed; false at the "." that ends the
    // message (a content line "." always arrives stuffed as "..").
    bool next(std::string& line)
    {
        if (m_ended)
            return false;
        line = m_in.ReadLine();
        if (line.size() == 1 && line[0] == '.') {
            m_ended = true;
            return false;
        }
        if (line.size() >= 2 && line[0] == '.' && line[1] == '.')
            line.erase(0, 1);
        return true;
    }

    // Whether line is the separator or closing separator of an open level;
    // the innermost level wins when boundaries repeat.
    bool matchMarker(const std::string& line, Ending& e) const
    {
        if (line.size() < 2 || line[0] != '-' || line[1] != '-')
            return false;
        for (std::size_t i = m_markers.size(); i-- > 0;) {
            const std::string& m = m_markers[i];
            if (line.size() < m.size() || line.compare(0, m.size(), m) != 0)
                continue;
            if (onlyBlanks(line, m.size())) {
                e = {Stop::Separator, i};
                return true;
            }
            if (line.compare(m.size(), 2, "--") == 0 && onlyBlanks(line, m.size() + 2)) {
                e = {Stop::Closing, i};
                return true;
            }
        }
        return false;
    }

    // Closes the levels inside the one that ended; a closing separator also
    // closes its own level. Returns whether a new part starts here.
    bool apply(const Ending& e, bool& closed)
    {
        m_markers.resize(e.level + 1);
        if (e.stop == Stop::Separator)
            return true;
        m_markers.pop_back();
        if (m_markers.empty())
            closed = true;
        return false;
    }

    void note(const std::string& problem)
    {
        if (m_problem.empty())
            m_problem = problem;
    }

    bool keepText(std::size_t bytes)
    {
        if (m_textBytes + bytes > m_limits.MaxTextBytes) {
            note("Message too large: text beyond " + std::to_string(m_limits.MaxTextBytes) +
                 " bytes was not stored.");
            return false;
        }
        m_textBytes += bytes;
        return true;
    }

    bool roomForPart()
    {
        if (m_out.Parts.size() + m_out.Attachments.size() < m_limits.MaxParts)
            return true;
        note("Message too large: more than " + std::to_string(m_limits.MaxParts) +
             " parts; the rest was not stored.");
        return false;
    }

    // Reads the header block after a separator, then the part.
    Ending readPart()
    {
        TStringList headers;
        std::size_t bytes = 0;
        std::string line;
        for (;;) {
            if (!next(line))
                return {Stop::End};
            if (line.empty())
                break;
            // A separator where a header was expected: the part had no body.
            Ending e;
            if (matchMarker(line, e))
                return e;
            bytes += line.size();
            if (bytes > m_limits.MaxHeaderBytes) {
                note("Message too large: a part's header block exceeds " +
                     std::to_string(m_limits.MaxHeaderBytes) + " bytes.");
                continue;
            }
            headers.push_back(line);
        }
        if (m_unfold)
            m_unfold(headers);
        return handlePart(headers);
    }

    Ending handlePart(const TStringList& h)
    {
        const std::string ct = HeaderValue(h, "Content-Type");
        if (MediaType(ct) == "multipart/alternative") {
            const std::optional<std::string> inner = HeaderParameter(ct, "boundary");
            if (inner && !inner->empty()) {
                if (m_markers.size() <= m_limits.MaxDepth) {
                    // Its preamble is skipped up to the first inner separator.
                    m_markers.push_back("--" + *inner);
                    return capture(nullptr);
                }
                note("Message too complex: alternatives nested more than " +
                     std::to_string(m_limits.MaxDepth) + " deep were not read.");
            }
        }

        // A part without Content-Type is plain text (RFC 2045).
        if (mainType(ct) == "text" || text::trim(ct).empty()) {
            if (!roomForPart())
                return capture(nullptr);
            m_out.Parts.push_back({});
            TMessagePart& part = m_out.Parts.back();
            part.ContentType = ct;
            part.ContentTransfer = HeaderValue(h, "Content-Transfer-Encoding");
            return capture(&part.Text);
        }

        const std::string name = fileName(HeaderValue(h, "Content-Disposition"));
        if (name.empty() || !m_out.ExtractAttachments || !roomForPart())
            return capture(nullptr);
        return storeAttachment(h, name);
    }

    static std::string fileName(const std::string& disposition)
    {
        if (std::optional<std::string> v = HeaderParameter(disposition, "filename"))
            return *v;
        if (std::optional<std::string> v = HeaderParameter(disposition, "filename*"))
            return decodeExtendedValue(*v);
        return {};
    }

    // Text lines go to the part and to the message text, as they arrived.
    Ending capture(TStringList* partText)
    {
        std::string line;
        while (next(line)) {
            Ending e;
            if (matchMarker(line, e))
                return e;
            if (partText && keepText(line.size())) {
                partText->push_back(line);
                m_out.Text.push_back(line);
            }
        }
        return {Stop::End};
    }

    Ending storeAttachment(const TStringList& h, const std::string& name)
    {
        std::string path;
        std::unique_ptr<FileWriter> file;
        try {
            FileDescriptor fd = CreateTempFile(path);
            file = std::make_unique<FileWriter>(std::move(fd), path);
        } catch (const std::exception& e) {
            note(e.what());
            return capture(nullptr);
        }
        m_out.Attachments.push_back({h, name, path});

        const bool base64 = text::sameText(text::trim(HeaderValue(h, "Content-Transfer-Encoding")), "base64");
        std::uint64_t size = 0;
        std::string line;
        std::string bytes;
        Ending ending{Stop::End};
        for (;;) {
            if (!next(line))
                break;
            Ending e;
            if (matchMarker(line, e)) {
                ending = e;
                break;
            }
            if (base64 && line.empty()) {
                // The data ends at the first empty line; what follows up to
                // the next separator is not part of it. The file may be
                // given up already (cut at its bound, or a write that failed).
                if (file)
                    closeFile(*file);
                return capture(nullptr);
            }
            if (!file)
                continue;
            bytes.clear();
            if (base64) {
                TWireDecoder::DecodeLineTo(line, bytes);
            } else {
                bytes.append(line);
                bytes.append("\r\n");
            }
            size += bytes.size();
            if (size > m_limits.MaxAttachmentBytes) {
                note("Message too large: attachment " + name + " exceeds " +
                     std::to_string(m_limits.MaxAttachmentBytes) + " bytes; it was cut there.");
                closeFile(*file);
                file.reset();
                continue;
            }
            try {
                file->Write(bytes);
            } catch (const std::exception& e) {
                note(e.what());
                file.reset();
            }
        }
        if (file)
            closeFile(*file);
        return ending;
    }

    void closeFile(FileWriter& file)
    {
        try {
            file.Close();
        } catch (const std::exception& e) {
            note(e.what());
        }
    }

    LineSource& m_in;
    BodyTarget& m_out;
    const HeaderUnfolder& m_unfold;
    const BodyLimits& m_limits;
    std::vector<std::string> m_markers; // "--" + boundary, outermost first
    bool m_ended = false;
    std::size_t m_textBytes = 0;
    std::string m_problem;
};

} // namespace

std::optional<std::string> HeaderParameter(std::string_view value, std::string_view name)
{
    std::size_t pos = value.find(';');
    while (pos != std::string_view::npos) {
        ++pos; // past ";"
        const std::size_t eq = value.find('=', pos);
        const std::size_t semi = value.find(';', pos);
        if (eq == std::string_view::npos || (semi != std::string_view::npos && semi < eq)) {
            pos = semi; // a parameter without "=": not one we look for
            continue;
        }
        const std::string_view key = text::trim(value.substr(pos, eq - pos));
        std::size_t i = eq + 1;
        while (i < value.size() && (value[i] == ' ' || value[i] == '\t'))
            ++i;
        std::string v;
        std::size_t after;
        if (i < value.size() && value[i] == '"') {
            // Quoted string: may hold ";" and backslash escapes.
            ++i;
            while (i < value.size() && value[i] != '"') {
                if (value[i] == '\\' && i + 1 < value.size())
                    ++i;
                v.push_back(value[i]);
                ++i;
            }
            after = value.find(';', i);
        } else {
            after = value.find(';', i);
            v = text::trim(value.substr(i, after == std::string_view::npos ? std::string_view::npos
                                                                     : after - i));
        }
        if (text::sameText(key, name))
            return v;
        pos = after;
    }
    return std::nullopt;
}

std::string MediaType(std::string_view contentType)
{
    return text::lower(text::trim(contentType.substr(0, contentType.find(';'))));
}

void ReadBody(LineSource& in, const TStringList& headers, BodyTarget out,
              const HeaderUnfolder& unfold, const BodyLimits& limits)
{
    const std::string ct = HeaderValue(headers, "Content-Type");
    Reader reader(in, out, unfold, limits);
    if (mainType(ct) != "multipart") {
        reader.plain(headers);
    } else {
        const std::optional<std::string> boundary = HeaderParameter(ct, "boundary");
        if (!boundary || boundary->empty()) {
            // Without a boundary nothing of the body can be told apart; it
            // is read off the connection so that the next command's reply
            // is not mistaken for it.
            reader.drain();
            throw EWireException("Boundary error");
        }
        reader.multipart(*boundary);
    }
    reader.finish();
}

} // namespace mime
