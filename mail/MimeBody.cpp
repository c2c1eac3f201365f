// SPDX-License-Identifier: GPL-3.0-or-later
#include "mail/MimeBody.h"

#include "base/Exception.h"
#include "mail/BodyDecoder.h"
#include "mail/Charset.h"
#include "mail/Coder.h"
#include "mail/Headers.h"
#include "mail/MimeFiles.h"
#include "mail/MimeParams.h"
#include "base/Text.h"

#include <algorithm>
#include <cctype>
#include <deque>
#include <memory>
#include <optional>
#include <string_view>
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
    bool digest = false;           // multipart/digest: parts are messages unless typed
};

// What one kept line costs beyond its characters.
constexpr std::size_t LineOverhead = sizeof(std::string);

// How far the reader looks ahead for the boundary of a multipart that
// names none: enough for the first separators of any real message.
constexpr std::size_t LookaheadLines = 20000;
constexpr std::size_t LookaheadBytes = 1u << 20;

// The longest head of a forwarded message read for its Subject.
constexpr std::size_t MaxForwardedHead = 64 * 1024;

// Whether x can be the boundary a line "--x" announces (RFC 2046 bchars,
// without blanks, which prose starting with "--" has): not a rule of
// dashes, not a signature separator.
bool plausibleBoundary(std::string_view x)
{
    if (x.empty() || x.size() > 70 || x.find_first_not_of('-') == std::string_view::npos)
        return false;
    for (char c : x)
        if (!std::isalnum(static_cast<unsigned char>(c)) && std::string_view("'()+_,-./:=?").find(c) == std::string_view::npos)
            return false;
    return true;
}

// Whether a line can follow a separator: an empty line (a part without
// headers) or a header field.
bool startsPart(std::string_view line)
{
    const std::size_t colon = line.find(':');
    return line.empty() || (colon != std::string_view::npos && colon > 0 && IsToken(line.substr(0, colon)));
}

// A file name from a forwarded message's Subject (or its sender's name
// when it has none): what path and shell syntax would misread becomes a
// blank, blanks are collapsed, and the name is cut (at a character) to a
// length every file system takes. "" when nothing is left.
std::string nameFromTitle(std::string_view title)
{
    std::string name;
    for (char c : title) {
        const auto u = static_cast<unsigned char>(c);
        const bool bad = u < 0x20 || u == 0x7F || std::string_view("/\\:*?\"<>|").find(c) != std::string_view::npos;
        if (bad || c == ' ' || c == '\t') {
            if (!name.empty() && name.back() != ' ')
                name.push_back(' ');
            continue;
        }
        name.push_back(c);
    }
    constexpr std::size_t MaxNameBytes = 100;
    if (name.size() > MaxNameBytes) {
        std::size_t cut = MaxNameBytes;
        while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80)
            --cut;
        name.resize(cut);
    }
    const std::size_t first = name.find_first_not_of(" .");
    if (first == std::string::npos)
        return {};
    name.erase(0, first);
    name.erase(name.find_last_not_of(" .") + 1);
    return name;
}

// Known limits, kept on purpose: text parts are stored as they arrived (the
// display decodes them with the same BodyDecoder that attachments go
// through); an attachment's base64 data ends at the first empty line after
// it began; the parts of a forwarded message (message/rfc822) stay inside
// its ".eml" file.
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
        const std::string ct = FieldValue(headers, "Content-Type");
        Naming naming;
        if (classify(headers, ct, naming) == Kind::Attachment) {
            if (!m_out.ExtractAttachments || !roomForPart())
                drain();
            else
                storeAttachment(headers, naming, true);
            return;
        }
        wholeText(ct, headers);
    }

    // The whole body as one text part: a plain message, or a multipart
    // whose parts cannot be told apart.
    void wholeText(const std::string& contentType, const TStringList& headers)
    {
        m_out.Parts.push_back({});
        TMessagePart& part = m_out.Parts.back();
        part.ContentType = contentType;
        part.ContentTransfer = FieldValue(headers, "Content-Transfer-Encoding");
        std::string line;
        while (next(line)) {
            if (keepText(line.size()))
                part.Text.push_back(line);
        }
        m_out.Text = part.Text;
    }

    // media: the multipart's own type (alternative, digest, ...).
    void multipart(const std::string& boundary, const std::string& media)
    {
        m_levels.assign(1, Level{"--" + boundary, media == "multipart/alternative" ? ++m_groups : 0,
                                 media == "multipart/digest"});
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

    // The boundary of a multipart whose header names none (or an empty
    // one), read from its body: the lines up to the part's end (a
    // separator of an open level, or the end of the message) are looked
    // at, within a bound, and then read again as usual. A line "--x"
    // followed by a header field or an empty line, or a closing line
    // "--x--", announces x; boundaries that headers inside declare belong
    // to inner parts. The first one announced is the boundary when no other
    // is announced after its last separator (others before are nested
    // parts' own); else, or when none is, nothing.
    std::optional<std::string> announcedBoundary()
    {
        std::vector<std::string> raw, lines;
        std::size_t bytes = 0;
        while (raw.size() < LookaheadLines && bytes < LookaheadBytes) {
            raw.push_back(readRaw());
            std::string line = raw.back();
            if (line == ".")
                break;
            if (line.size() >= 2 && line[0] == '.' && line[1] == '.')
                line.erase(0, 1);
            Ending e;
            if (matchMarker(line, e))
                break;
            bytes += line.size() + LineOverhead;
            lines.push_back(std::move(line));
        }
        m_pending.insert(m_pending.begin(), std::make_move_iterator(raw.begin()), std::make_move_iterator(raw.end()));

        struct Announced {
            std::size_t at;
            std::string boundary;
        };
        std::vector<Announced> announced;
        std::vector<std::string> declared;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            const std::string& line = lines[i];
            if (const std::size_t at = text::lower(line).find("boundary"); at != std::string::npos)
                if (std::optional<std::string> b = HeaderParameter("x; " + line.substr(at), "boundary"))
                    declared.push_back(*b);
            if (line.size() <= 2 || line[0] != '-' || line[1] != '-')
                continue;
            std::string_view x = text::trim(std::string_view(line).substr(2));
            const bool closing = x.size() > 2 && x.substr(x.size() - 2) == "--";
            if (closing)
                x.remove_suffix(2);
            if (plausibleBoundary(x) && (closing || (i + 1 < lines.size() && startsPart(lines[i + 1]))))
                announced.push_back({i, std::string(x)});
        }
        std::erase_if(announced, [&](const Announced& a) {
            return std::find(declared.begin(), declared.end(), a.boundary) != declared.end();
        });
        if (announced.empty())
            return std::nullopt;
        const std::string& first = announced.front().boundary;
        std::size_t last = 0;
        for (const Announced& a : announced)
            if (a.boundary == first)
                last = a.at;
        for (const Announced& a : announced)
            if (a.boundary != first && a.at > last)
                return std::nullopt;
        return first;
    }

private:
    // What a stored part is called; forwarded: the name was made up for a
    // forwarded message, which its own Subject names better once read.
    struct Naming {
        std::string name;
        bool forwarded = false;
    };

    // The next raw line: one looked at ahead first, else the source's.
    std::string readRaw()
    {
        if (m_pending.empty())
            return m_in.ReadLine();
        std::string line = std::move(m_pending.front());
        m_pending.pop_front();
        return line;
    }

    // The next body line, dot-unstuffed; false at the "." that ends the
    // message (a content line "." always arrives stuffed as "..").
    bool next(std::string& line)
    {
        if (m_ended)
            return false;
        line = readRaw();
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
    // so is any part that is not text. ct: its Content-Type, or the type
    // its multipart gives it by default. naming gets its file name in
    // UTF-8, or one made up from its type.
    Kind classify(const TStringList& h, const std::string& ct, Naming& naming)
    {
        const std::string disposition = FieldValue(h, "Content-Disposition");
        const bool marked = MediaType(disposition) == "attachment";
        std::string& name = naming.name;
        name.clear();
        naming.forwarded = false;
        if (std::optional<std::string> n = ParameterText(disposition, "filename"))
            name = *n;
        if (name.empty())
            if (std::optional<std::string> n = ParameterText(ct, "name"))
                name = *n;
        const std::string media = EffectiveType(ct);
        if (!marked && name.empty() && MainType(media) == "text")
            return Kind::Text;
        if (name.empty()) {
            const std::string n = std::to_string(m_out.Attachments.size() + 1);
            if (media == "message/rfc822" || media == "message/global") {
                name = "message-" + n + ".eml";
                naming.forwarded = true;
            } else if (media == "message/delivery-status" || media == "message/global-delivery-status") {
                name = "delivery-status-" + n + ".txt";
            } else {
                name = "part-" + n + extensionFor(media);
            }
        }
        return Kind::Attachment;
    }

    // A text part of the current level, read to its end.
    Ending textPart(const std::string& contentType, const TStringList& h)
    {
        if (!roomForPart())
            return capture(nullptr);
        m_out.Parts.push_back({});
        TMessagePart& part = m_out.Parts.back();
        part.ContentType = contentType;
        part.ContentTransfer = FieldValue(h, "Content-Transfer-Encoding");
        part.AlternativeGroup = m_levels.back().group;
        return capture(&part.Text);
    }

    Ending handlePart(const TStringList& h)
    {
        std::string ct = FieldValue(h, "Content-Type");
        // RFC 2046: the parts of a digest are messages unless typed otherwise.
        if (text::trim(ct).empty() && m_levels.back().digest)
            ct = "message/rfc822";
        if (MainType(ct) == "multipart") {
            std::optional<std::string> inner = Boundary(ct);
            if (!inner || inner->empty())
                inner = announcedBoundary();
            // Parts that cannot be told apart are shown as the text they are.
            if (!inner)
                return textPart("text/plain", h);
            if (inner && !inner->empty()) {
                if (m_levels.size() <= m_limits.MaxDepth) {
                    const std::string media = EffectiveType(ct);
                    const std::size_t group =
                        media == "multipart/alternative" ? ++m_groups : m_levels.back().group;
                    // Its preamble is skipped up to the first inner separator.
                    m_levels.push_back(Level{"--" + *inner, group, media == "multipart/digest"});
                    return capture(nullptr);
                }
                // Named after the kind of part that went one level too deep.
                const std::string media = MediaType(ct);
                note("Message too complex: " +
                     (media == "multipart/alternative" ? std::string("alternatives") : media + " parts") +
                     " nested more than " + std::to_string(m_limits.MaxDepth) + " deep were not read.");
            }
            return capture(nullptr);
        }

        Naming naming;
        if (classify(h, ct, naming) == Kind::Text)
            return textPart(ct, h);
        if (!m_out.ExtractAttachments || !roomForPart())
            return capture(nullptr);
        return storeAttachment(h, naming, false);
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

    // The name of a forwarded message: its Subject, else its sender's
    // name, from the head of its decoded bytes; fallback when it has
    // neither.
    std::string forwardedName(const std::string& head, const std::string& fallback)
    {
        TStringList lines;
        std::size_t pos = 0;
        while (pos < head.size()) {
            std::size_t end = head.find('\n', pos);
            if (end == std::string::npos)
                end = head.size();
            std::string line = head.substr(pos, end - pos);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            if (line.empty())
                break;
            lines.push_back(std::move(line));
            pos = end + 1;
        }
        if (m_unfold)
            m_unfold(lines);
        std::string title = nameFromTitle(DecodeEncodedWords(FieldValue(lines, "Subject")));
        if (title.empty()) {
            std::string from = FieldValue(lines, "From");
            const std::size_t angle = from.find('<');
            if (angle != std::string::npos && angle > 0)
                from.resize(angle);
            title = nameFromTitle(DecodeEncodedWords(from));
        }
        return title.empty() ? fallback : title + ".eml";
    }

    // Stores one attachment's decoded bytes in a new "PBE" file. whole: the
    // attachment is the message itself, so it ends at "." and its last line
    // break is its own (in a multipart, it belongs to the separator).
    // A last part that the message ends in without its closing separator
    // is kept when its transfer encoding ended cleanly (whole base64
    // groups, no quoted-printable soft break, uuencode's "end"), with a
    // note; else it is marked cut.
    Ending storeAttachment(const TStringList& h, const Naming& naming, bool whole)
    {
        const std::string& name = naming.name;
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

        BodyDecoder decoder = BodyDecoder::ForFile(FieldValue(h, "Content-Transfer-Encoding"), whole);
        std::uint64_t size = 0;
        std::string head;          // a forwarded message's first bytes, for its name
        bool headDone = !naming.forwarded;

        // A write that fails removes the file: a half-written copy is no copy.
        auto emit = [&](std::string_view bytes) {
            if (!file || bytes.empty())
                return;
            if (!headDone) {
                head.append(bytes.substr(0, MaxForwardedHead - head.size()));
                headDone = head.size() >= MaxForwardedHead || head.find("\n\n") != std::string::npos ||
                           head.find("\n\r\n") != std::string::npos;
            }
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
        for (;;) {
            if (!next(line))
                break;
            Ending e;
            if (!whole && matchMarker(line, e)) {
                ending = e;
                break;
            }
            bytes.clear();
            decoder.Feed(line, bytes);
            emit(bytes);
        }
        bytes.clear();
        const bool clean = decoder.Finish(bytes);
        emit(bytes);
        TAttachment& stored = m_out.Attachments[index];
        if (!whole && ending.stop == Stop::End && stored.Problem.empty()) {
            if (clean)
                stored.Note = "The closing boundary line is missing after attachment " + name +
                              "; it was saved as it arrived.";
            else
                stored.Problem = "The message ends inside attachment " + name + ".";
        }
        if (naming.forwarded)
            stored.FileName = forwardedName(head, name);
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
    std::deque<std::string> m_pending; // raw lines looked at ahead, read again first
    std::size_t m_groups = 0;     // alternative groups numbered so far
    bool m_ended = false;
    std::size_t m_textBytes = 0;
    std::size_t m_textLines = 0;
    std::size_t m_storedHeaderBytes = 0;
    std::string m_problem;
};

} // namespace

void ReadBody(LineSource& in, const TStringList& headers, BodyTarget out,
              const HeaderUnfolder& unfold, const BodyLimits& limits)
{
    const std::string ct = FieldValue(headers, "Content-Type");
    Reader reader(in, out, unfold, limits);
    if (MainType(ct) != "multipart") {
        reader.single(headers);
    } else {
        std::optional<std::string> boundary = Boundary(ct);
        if (!boundary || boundary->empty())
            boundary = reader.announcedBoundary();
        if (boundary)
            reader.multipart(*boundary, EffectiveType(ct));
        else
            reader.wholeText("text/plain", headers); // its parts cannot be told apart
    }
    reader.finish();
}

} // namespace mime
