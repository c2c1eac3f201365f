#include "mail/MimeBody.h"

#include "base/Exception.h"
#include "mail/Charset.h"
#include "mail/Coder.h"
#include "mail/Headers.h"
#include "mail/MimeFiles.h"
#include "base/Text.h"
#include "mail/TransferCoding.h"

#include <algorithm>
#include <cctype>
#include <memory>
#include <vector>

namespace mime {

namespace {

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

// The parameters of a structured header value, in order: names in lower
// case, quoted values unquoted (backslash escapes resolved), bare values
// trimmed.
std::vector<std::pair<std::string, std::string>> parameters(std::string_view value)
{
    std::vector<std::pair<std::string, std::string>> out;
    std::size_t pos = value.find(';');
    while (pos != std::string_view::npos) {
        ++pos; // past ";"
        const std::size_t eq = value.find('=', pos);
        const std::size_t semi = value.find(';', pos);
        if (eq == std::string_view::npos || (semi != std::string_view::npos && semi < eq)) {
            pos = semi; // a parameter without "=": not one we look for
            continue;
        }
        std::string key = text::lower(text::trim(value.substr(pos, eq - pos)));
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
            v = text::trim(value.substr(i, after == std::string_view::npos ? std::string_view::npos : after - i));
        }
        out.emplace_back(std::move(key), std::move(v));
        pos = after;
    }
    return out;
}

const std::string* findParameter(const std::vector<std::pair<std::string, std::string>>& params,
                                 const std::string& key)
{
    for (const auto& [k, v] : params)
        if (k == key)
            return &v;
    return nullptr;
}

// RFC 2231: "charset'language'" before the first percent-encoded piece.
std::string splitCharset(std::string_view& v)
{
    const std::size_t first = v.find('\'');
    const std::size_t second = first == std::string_view::npos ? first : v.find('\'', first + 1);
    if (second == std::string_view::npos)
        return {};
    std::string charset(v.substr(0, first));
    v.remove_prefix(second + 1);
    return charset;
}

std::string percentDecoded(std::string_view v)
{
    std::string out;
    for (std::size_t i = 0; i < v.size(); ++i) {
        if (v[i] == '%' && i + 2 < v.size() && text::hexValue(v[i + 1]) >= 0 && text::hexValue(v[i + 2]) >= 0) {
            out.push_back(static_cast<char>(text::hexValue(v[i + 1]) * 16 + text::hexValue(v[i + 2])));
            i += 2;
        } else {
            out.push_back(v[i]);
        }
    }
    return out;
}

// Continuations are numbered from 0 without gaps; a sender cannot make the
// reader join more than this many.
constexpr int MaxContinuations = 1000;

// The bytes of an RFC 2231 form of parameter name (extended or continued),
// with the charset it names; nothing when the parameter has no such form.
std::optional<std::string> extendedBytes(const std::vector<std::pair<std::string, std::string>>& params,
                                         const std::string& name, std::string& charset)
{
    if (const std::string* v = findParameter(params, name + "*")) {
        std::string_view rest(*v);
        charset = splitCharset(rest);
        return percentDecoded(rest);
    }
    std::string joined;
    bool any = false;
    for (int n = 0; n < MaxContinuations; ++n) {
        const std::string key = name + "*" + std::to_string(n);
        if (const std::string* v = findParameter(params, key + "*")) {
            std::string_view rest(*v);
            if (n == 0)
                charset = splitCharset(rest);
            joined += percentDecoded(rest);
        } else if (const std::string* w = findParameter(params, key)) {
            joined += *w;
        } else {
            break;
        }
        any = true;
    }
    if (!any)
        return std::nullopt;
    return joined;
}

// The boundary in any of its forms; its bytes are compared as they are.
std::optional<std::string> boundaryOf(std::string_view contentType)
{
    const auto params = parameters(contentType);
    if (const std::string* b = findParameter(params, "boundary"))
        return *b;
    std::string charset;
    return extendedBytes(params, "boundary", charset);
}

// What a part is made for the reader.
enum class Kind { Text, Attachment };

// File name extensions for parts that come without a name.
std::string extensionFor(const std::string& media)
{
    static const std::pair<const char*, const char*> known[] = {
        {"text/plain", ".txt"}, {"text/html", ".html"}, {"text/calendar", ".ics"}, {"text/vcard", ".vcf"},
        {"text/x-vcard", ".vcf"}, {"text/csv", ".csv"}, {"text/xml", ".xml"}, {"image/png", ".png"},
        {"image/jpeg", ".jpg"}, {"image/jpg", ".jpg"}, {"image/pjpeg", ".jpg"}, {"image/gif", ".gif"},
        {"image/bmp", ".bmp"}, {"image/tiff", ".tif"}, {"image/webp", ".webp"}, {"image/svg+xml", ".svg"},
        {"application/pdf", ".pdf"}, {"application/zip", ".zip"}, {"application/gzip", ".gz"},
        {"application/x-gzip", ".gz"}, {"application/msword", ".doc"}, {"application/rtf", ".rtf"},
        {"application/pgp-signature", ".asc"}, {"application/pgp-encrypted", ".asc"},
        {"application/pgp-keys", ".asc"}, {"application/pkcs7-signature", ".p7s"},
        {"application/x-pkcs7-signature", ".p7s"}, {"application/pkcs7-mime", ".p7m"},
        {"application/x-pkcs7-mime", ".p7m"}, {"application/ms-tnef", ".dat"},
        {"application/octet-stream", ".bin"}, {"application/json", ".json"}, {"application/xml", ".xml"},
        {"audio/mpeg", ".mp3"}, {"audio/wav", ".wav"}, {"audio/x-wav", ".wav"}, {"video/mp4", ".mp4"},
        {"message/rfc822-headers", ".txt"}, {"text/rfc822-headers", ".txt"},
    };
    for (const auto& [type, ext] : known)
        if (media == type)
            return ext;
    return {};
}

// How one capture ended: on a separator or a closing separator of the
// multipart level at index level, or at the end of the message.
enum class Stop { Separator, Closing, End };
struct Ending {
    Stop stop;
    std::size_t level = 0;
};

// One open multipart level.
struct Level {
    std::string marker;            // "--" + boundary
    std::size_t group = 0;         // alternative group of the text inside
};

// What one kept line costs beyond its characters.
constexpr std::size_t LineOverhead = sizeof(std::string);

// Known limits, kept on purpose: text parts are stored as they arrived (the
// display decodes them); base64 data ends at its first empty line; the
// parts of a forwarded message (message/rfc822) stay inside its ".eml" file.
class Reader {
public:
    Reader(LineSource& in, BodyTarget& out, const HeaderUnfolder& unfold, const BodyLimits& limits)
        : m_in(in), m_out(out), m_unfold(unfold), m_limits(limits)
    {
    }

    // A message that is not multipart: its text, or one attachment when its
    // own headers say so.
    void single(const TStringList& headers)
    {
        std::string name;
        if (classify(headers, name) == Kind::Attachment) {
            if (!m_out.ExtractAttachments || !roomForPart())
                drain();
            else
                storeAttachment(headers, name, true);
            return;
        }
        m_out.Parts.push_back({});
        TMessagePart& part = m_out.Parts.back();
        part.ContentType = FieldValue(headers, "Content-Type");
        part.ContentTransfer = FieldValue(headers, "Content-Transfer-Encoding");
        std::string line;
        while (next(line)) {
            if (keepText(line.size()))
                part.Text.push_back(line);
        }
        m_out.Text = part.Text;
    }

    void multipart(const std::string& boundary, bool alternative)
    {
        m_levels.assign(1, Level{"--" + boundary, alternative ? ++m_groups : 0});
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

    // Whether line is the separator or closing separator of an open level.
    // A line that is exactly a marker (blanks may follow) wins, innermost
    // level first; else a line that starts with a marker and goes on with
    // other text (RFC 2046 asks only for the boundary at the line's start),
    // the longest marker first.
    bool matchMarker(const std::string& line, Ending& e) const
    {
        if (line.size() < 2 || line[0] != '-' || line[1] != '-')
            return false;
        for (std::size_t i = m_levels.size(); i-- > 0;) {
            const std::string& m = m_levels[i].marker;
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
        std::size_t best = m_levels.size();
        for (std::size_t i = 0; i < m_levels.size(); ++i) {
            const std::string& m = m_levels[i].marker;
            if (line.compare(0, m.size(), m) == 0 &&
                (best == m_levels.size() || m.size() >= m_levels[best].marker.size()))
                best = i;
        }
        if (best == m_levels.size())
            return false;
        const std::size_t len = m_levels[best].marker.size();
        e = {line.compare(len, 2, "--") == 0 ? Stop::Closing : Stop::Separator, best};
        return true;
    }

    // Closes the levels inside the one that ended; a closing separator also
    // closes its own level. Returns whether a new part starts here.
    bool apply(const Ending& e, bool& closed)
    {
        m_levels.resize(e.level + 1);
        if (e.stop == Stop::Separator)
            return true;
        m_levels.pop_back();
        if (m_levels.empty())
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
        if (m_textLines + 1 > m_limits.MaxTextLines) {
            note("Message too large: text beyond " + std::to_string(m_limits.MaxTextLines) +
                 " lines was not stored.");
            return false;
        }
        if (m_textBytes + bytes > m_limits.MaxTextBytes) {
            note("Message too large: text beyond " + std::to_string(m_limits.MaxTextBytes) +
                 " bytes was not stored.");
            return false;
        }
        m_textBytes += bytes;
        ++m_textLines;
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
            bytes += line.size() + LineOverhead;
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

    // A part marked as an attachment or named is one, whatever its type;
    // so is any part that is not text. name gets its file name in UTF-8,
    // or one made up from its type.
    Kind classify(const TStringList& h, std::string& name)
    {
        const std::string ct = FieldValue(h, "Content-Type");
        const std::string disposition = FieldValue(h, "Content-Disposition");
        const bool marked = MediaType(disposition) == "attachment";
        name.clear();
        if (std::optional<std::string> n = ParameterText(disposition, "filename"))
            name = *n;
        if (name.empty())
            if (std::optional<std::string> n = ParameterText(ct, "name"))
                name = *n;
        const bool text = text::trim(ct).empty() || mainType(ct) == "text";
        if (!marked && name.empty() && text)
            return Kind::Text;
        if (name.empty()) {
            const std::string media = text::trim(ct).empty() ? "text/plain" : MediaType(ct);
            const std::string n = std::to_string(m_out.Attachments.size() + 1);
            if (media == "message/rfc822" || media == "message/global")
                name = "message-" + n + ".eml";
            else if (media == "message/delivery-status" || media == "message/global-delivery-status")
                name = "delivery-status-" + n + ".txt";
            else
                name = "part-" + n + extensionFor(media);
        }
        return Kind::Attachment;
    }

    Ending handlePart(const TStringList& h)
    {
        const std::string ct = FieldValue(h, "Content-Type");
        if (mainType(ct) == "multipart") {
            const std::optional<std::string> inner = boundaryOf(ct);
            if (inner && !inner->empty()) {
                if (m_levels.size() <= m_limits.MaxDepth) {
                    const std::size_t group =
                        MediaType(ct) == "multipart/alternative" ? ++m_groups : m_levels.back().group;
                    // Its preamble is skipped up to the first inner separator.
                    m_levels.push_back(Level{"--" + *inner, group});
                    return capture(nullptr);
                }
                note("Message too complex: alternatives nested more than " +
                     std::to_string(m_limits.MaxDepth) + " deep were not read.");
            }
            return capture(nullptr);
        }

        std::string name;
        if (classify(h, name) == Kind::Text) {
            if (!roomForPart())
                return capture(nullptr);
            m_out.Parts.push_back({});
            TMessagePart& part = m_out.Parts.back();
            part.ContentType = ct;
            part.ContentTransfer = FieldValue(h, "Content-Transfer-Encoding");
            part.AlternativeGroup = m_levels.back().group;
            return capture(&part.Text);
        }
        if (!m_out.ExtractAttachments || !roomForPart())
            return capture(nullptr);
        return storeAttachment(h, name, false);
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

    // The headers an attachment keeps: all of them while the bound for all
    // attachments allows, then only its Content-* fields.
    TStringList keptHeaders(const TStringList& h)
    {
        std::size_t bytes = 0;
        for (const std::string& l : h)
            bytes += l.size() + LineOverhead;
        if (m_storedHeaderBytes + bytes <= m_limits.MaxStoredHeaderBytes) {
            m_storedHeaderBytes += bytes;
            return h;
        }
        note("Message too large: part headers beyond " + std::to_string(m_limits.MaxStoredHeaderBytes) +
             " bytes were not stored.");
        TStringList few;
        for (const std::string& l : h)
            if (l.size() < 256 && text::sameText(std::string_view(l).substr(0, 8), "Content-"))
                few.push_back(l);
        return few;
    }

    // Stores one attachment's decoded bytes in a new "PBE" file. whole: the
    // attachment is the message itself, so it ends at "." and its last line
    // break is its own (in a multipart, it belongs to the separator).
    Ending storeAttachment(const TStringList& h, const std::string& name, bool whole)
    {
        m_out.Attachments.emplace_back(keptHeaders(h), name, std::string());
        const std::size_t index = m_out.Attachments.size() - 1;
        auto fail = [&](const std::string& why) {
            note(why);
            TAttachment& a = m_out.Attachments[index];
            if (a.Problem.empty())
                a.Problem = why;
        };

        std::unique_ptr<FileWriter> file;
        try {
            TAttachment& a = m_out.Attachments[index];
            a.StoredFile = std::make_shared<TempFileGuard>();
            a.StoredPathName = a.StoredFile->Path();
            // The file has no name of its own to report.
            file = std::make_unique<FileWriter>(a.StoredFile->Writer(),
                                                "the copy of " + name + " in " + TempDirectory());
        } catch (const std::exception& e) {
            fail(e.what());
            if (whole) {
                drain();
                return {Stop::End};
            }
            return capture(nullptr);
        }

        const std::string cte = text::lower(text::trim(FieldValue(h, "Content-Transfer-Encoding")));
        enum class Coding { Base64, QuotedPrintable, Uuencode, AsIs } coding = Coding::AsIs;
        if (cte == "base64")
            coding = Coding::Base64;
        else if (cte == "quoted-printable")
            coding = Coding::QuotedPrintable;
        else if (cte == "x-uuencode" || cte == "uuencode" || cte == "x-uue")
            coding = Coding::Uuencode;
        Base64Stream base64;
        UudecodeStream uu;
        bool lineBreakDue = false; // the previous line's break, written once a line follows
        std::uint64_t size = 0;

        // A write that fails removes the file: a half-written copy is no copy.
        auto emit = [&](std::string_view bytes) {
            if (!file || bytes.empty())
                return;
            size += bytes.size();
            if (size > m_limits.MaxAttachmentBytes) {
                fail("Message too large: attachment " + name + " exceeds " +
                     std::to_string(m_limits.MaxAttachmentBytes) + " bytes; it was cut there.");
                closeFile(*file, index);
                file.reset();
                return;
            }
            try {
                file->Write(bytes);
            } catch (const std::exception& e) {
                fail(e.what());
                file.reset();
                removeStored(index);
            }
        };

        std::string line;
        std::string bytes;
        Ending ending{Stop::End};
        bool endedData = false;
        for (;;) {
            if (!next(line))
                break;
            Ending e;
            if (!whole && matchMarker(line, e)) {
                ending = e;
                break;
            }
            if (endedData)
                continue;
            bytes.clear();
            switch (coding) {
            case Coding::Base64:
                // The data ends at the first empty line; what follows up to
                // the next separator is not part of it.
                if (line.empty()) {
                    endedData = true;
                    continue;
                }
                base64.Feed(line, bytes);
                break;
            case Coding::QuotedPrintable:
                if (lineBreakDue)
                    bytes += "\r\n";
                lineBreakDue = !DecodeQuotedPrintableLine(line, bytes);
                break;
            case Coding::Uuencode:
                uu.Feed(line, bytes);
                break;
            case Coding::AsIs:
                if (lineBreakDue)
                    bytes += "\r\n";
                bytes += line;
                lineBreakDue = true;
                break;
            }
            emit(bytes);
        }
        bytes.clear();
        if (coding == Coding::Base64)
            base64.Finish(bytes);
        if (whole && lineBreakDue)
            bytes += "\r\n";
        emit(bytes);
        if (!whole && ending.stop == Stop::End && m_out.Attachments[index].Problem.empty())
            m_out.Attachments[index].Problem = "The message ends inside attachment " + name + ".";
        if (file)
            closeFile(*file, index);
        return ending;
    }

    void closeFile(FileWriter& file, std::size_t index)
    {
        try {
            file.Close();
        } catch (const std::exception& e) {
            note(e.what());
            TAttachment& a = m_out.Attachments[index];
            if (a.Problem.empty())
                a.Problem = e.what();
            removeStored(index);
        }
    }

    // Drops an attachment's stored bytes; its path goes with them.
    void removeStored(std::size_t index)
    {
        TAttachment& a = m_out.Attachments[index];
        a.StoredFile->Remove();
        a.StoredPathName.clear();
    }

    LineSource& m_in;
    BodyTarget& m_out;
    const HeaderUnfolder& m_unfold;
    const BodyLimits& m_limits;
    std::vector<Level> m_levels; // outermost first
    std::size_t m_groups = 0;     // alternative groups numbered so far
    bool m_ended = false;
    std::size_t m_textBytes = 0;
    std::size_t m_textLines = 0;
    std::size_t m_storedHeaderBytes = 0;
    std::string m_problem;
};

} // namespace

std::optional<std::string> HeaderParameter(std::string_view value, std::string_view name)
{
    const std::string key = text::lower(name);
    for (auto& [k, v] : parameters(value))
        if (k == key)
            return std::move(v);
    return std::nullopt;
}

std::optional<std::string> ParameterText(std::string_view value, std::string_view name)
{
    const auto params = parameters(value);
    std::string charset;
    if (std::optional<std::string> bytes = extendedBytes(params, text::lower(name), charset))
        return ToUtf8(*bytes, charset);
    if (const std::string* v = findParameter(params, text::lower(name)))
        return DecodeEncodedWords(*v);
    return std::nullopt;
}

std::string FieldValue(const TStringList& headers, std::string_view name)
{
    const std::string value = HeaderValue(headers, std::string(name));
    if (!value.empty())
        return value;
    for (const std::string& entry : headers) {
        if (entry.size() > name.size() && entry[name.size()] == ':' &&
            text::sameText(std::string_view(entry).substr(0, name.size()), name) &&
            entry.find('=') > name.size())
            return std::string(text::trim(std::string_view(entry).substr(name.size() + 1)));
    }
    return {};
}

std::string MediaType(std::string_view contentType)
{
    return text::lower(text::trim(contentType.substr(0, contentType.find(';'))));
}

void ReadBody(LineSource& in, const TStringList& headers, BodyTarget out,
              const HeaderUnfolder& unfold, const BodyLimits& limits)
{
    const std::string ct = FieldValue(headers, "Content-Type");
    Reader reader(in, out, unfold, limits);
    if (mainType(ct) != "multipart") {
        reader.single(headers);
    } else {
        const std::optional<std::string> boundary = boundaryOf(ct);
        if (!boundary || boundary->empty()) {
            // Without a boundary nothing of the body can be told apart; it
            // is read off the connection so that the next command's reply
            // is not mistaken for it.
            reader.drain();
            throw EWireException("Boundary error");
        }
        reader.multipart(*boundary, MediaType(ct) == "multipart/alternative");
    }
    reader.finish();
}

} // namespace mime
