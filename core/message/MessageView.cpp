// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/message/MessageView.h"

#include "base/AtomicFile.h"
#include "base/Exception.h"
#include "base/Text.h"
#include "core/message/DisplayText.h"

#include <ctime>
#include <iterator>

namespace {

// Numbered names tried when a saved attachment's name is taken.
constexpr int MaxNameTries = 1000;

// "a.zip" -> "a (n).zip"; a name without extension gets " (n)" at its end.
std::string numberedName(const std::string& name, int n)
{
    const std::size_t dot = name.rfind('.');
    const std::string suffix = " (" + std::to_string(n) + ")";
    if (dot == std::string::npos || dot == 0)
        return name + suffix;
    return name.substr(0, dot) + suffix + name.substr(dot);
}

// Both views show the same date: ParseDate's day, or nothing for a Date
// header that is not a date at all (ParseDate would make one up).
std::string messageDate(const TWireMessage& msg)
{
    return ShortDate(DisplayDate(HeaderValue(msg.Headers, "Date")));
}

} // namespace

// The message window shows the date only, in the system's short format; a
// missing or unreadable date shows nothing.
std::string ShortDate(TDateTime value)
{
    if (value == 0)
        return {};
    int y, m, d, hh, mm, ss;
    DecodeDateTime(value, y, m, d, hh, mm, ss);
    std::tm date{};
    date.tm_year = y - 1900;
    date.tm_mon = m - 1;
    date.tm_mday = d;
    char text[64];
    // %x is the locale's own date form (main() selects the user's LC_TIME).
    return std::strftime(text, sizeof text, "%x", &date) ? std::string(text) : std::string();
}

std::vector<std::string> RawMessageWindowLines(const TWireMessage& msg, bool headersOnly)
{
    std::vector<std::string> lines;
    lines.push_back("From : " + msg.From());
    lines.push_back("Subj : " + msg.Subject());
    lines.push_back("Date : " + messageDate(msg));
    if (!headersOnly)
        lines.push_back("File : " + std::to_string(msg.Attachments.size()));
    lines.push_back(std::string(26, '_'));
    lines.push_back("");
    if (!headersOnly)
        lines.insert(lines.end(), msg.Text.begin(), msg.Text.end());
    return lines;
}

namespace {

std::vector<std::string> readableLines(const TWireMessage& msg, bool headersOnly)
{
    std::vector<std::string> lines;
    lines.push_back("From : " + DisplayHeader(msg.From()));
    lines.push_back("Subj : " + DisplayHeader(msg.Subject()));
    lines.push_back("Date : " + messageDate(msg));
    if (!headersOnly)
        lines.push_back("File : " + std::to_string(msg.Attachments.size()));
    lines.push_back(std::string(26, '_'));
    lines.push_back("");
    if (headersOnly)
        return lines;
    // A message filled by hand (no parts) shows its text as it is.
    if (msg.MessageParts.empty()) {
        lines.insert(lines.end(), msg.Text.begin(), msg.Text.end());
        return lines;
    }
    std::vector<std::string> body = DisplayBodyLines(msg.MessageParts);
    lines.insert(lines.end(), std::make_move_iterator(body.begin()), std::make_move_iterator(body.end()));
    return lines;
}

} // namespace

std::vector<std::string> MessageWindowLines(const TWireMessage& msg, bool headersOnly)
{
    // A sender's bidirectional controls could make a subject or a file
    // name in the text read as something else: they show as escapes.
    std::vector<std::string> lines = readableLines(msg, headersOnly);
    for (std::string& line : lines)
        line = text::escapeBidiControls(line);
    return lines;
}

// A file name from a mail cannot choose the folder it lands in: only its
// last path component is used (either separator, as senders on any system
// write them).
std::string SafeFileName(const std::string& fileName)
{
    const std::string last = fileName.substr(fileName.find_last_of("/\\") + 1);
    // Control characters could drive a terminal listing the folder, and
    // the bidirectional ones make a name read as another ("RTL<U+202E>txt.exe"
    // as "RTLexe.txt"): each becomes "_".
    std::string name;
    name.reserve(last.size());
    for (std::size_t i = 0; i < last.size();) {
        const auto c = static_cast<unsigned char>(last[i]);
        char32_t cp = 0;
        const std::size_t len = text::utf8Char(last, i, cp);
        if (c < 0x20 || c == 0x7F || (len == 0 && c <= 0x9F) || (len == 2 && cp <= 0x9F) ||
            text::isBidiControl(cp))
            name += '_';
        else
            name.append(last, i, len ? len : 1);
        i += len ? len : 1;
    }
    // A leading "~" is a home folder to a save dialog and to a shell.
    if (!name.empty() && name[0] == '~')
        name[0] = '_';
    if (name.empty() || name == "." || name == "..")
        name = "attachment";
    return name;
}

std::string SaveAttachmentInto(const TAttachment& att, const std::string& dir)
{
    const std::string base = SafeFileName(att.FileName);
    std::string folder = dir;
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    const auto copy = [&att](const AtomicSink& sink) { CopyFileTo(att.StoredPathName, sink); };
    for (int n = 0; n < MaxNameTries; ++n) {
        const std::string path = folder + (n == 0 ? base : numberedName(base, n));
        if (WriteNewFile(path, copy, UserFileMode()))
            return path;
    }
    throw Exception("no free name for " + base + " in " + folder);
}
