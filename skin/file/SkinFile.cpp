// SPDX-License-Identifier: GPL-3.0-or-later
#include "skin/file/SkinFile.h"

#include "base/Exception.h"
#include "base/Report.h"
#include "base/LineReader.h"
#include "base/Scanner.h"
#include "base/Text.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

TSkinSettings SkinSettings;
std::string CurrentSkinDir;
std::string SkinPreview;
bool NoMsgWindow = false;

namespace {

const char* const MainBackgroundMissing =
    "Main Background not found in Skin.ini!\rsee section [Background] in Skin.ini, line : Main=";

// A directory listing is looked at only this far when a name is matched
// ignoring case; a skin directory holds a few dozen files.
constexpr int MaxDirectoryEntries = 10000;

bool exists(const std::string& path)
{
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}

// The name in dir that equals name ignoring case, or "" when there is none.
std::string matchInDirectory(const std::string& dir, const std::string& name)
{
    std::error_code ec;
    std::filesystem::directory_iterator it(dir.empty() ? "." : dir, ec);
    int seen = 0;
    for (; !ec && it != std::filesystem::directory_iterator() && seen < MaxDirectoryEntries;
         it.increment(ec), ++seen) {
        const std::string entry = it->path().filename().string();
        if (text::sameText(entry, name))
            return entry;
    }
    return "";
}

// A file named in skin.ini, as found on disk. Skins made on Windows write
// "img\back.bmp": the backslash is read as the directory separator.
std::string skinFile(const std::string& dir, std::string value)
{
    std::replace(value.begin(), value.end(), '\\', '/');
    return FindFileIgnoringCase(dir + value);
}

// Reads the skin file's value for one key of one section.
class SkinReader {
public:
    SkinReader(std::string file, std::string dir) : m_file(std::move(file)), m_dir(std::move(dir)) {}

    std::string value(const char* section, const char* key) const
    {
        return FindInSkin(m_file, section, key);
    }

    // A file key: the skin directory plus the value as written.
    void file(const char* section, const char* key, std::string& field) const
    {
        const std::string v = value(section, key);
        field = v == "none" ? m_dir + v : skinFile(m_dir, v);
    }

    void pair(const char* section, const char* key, TIntPair& field) const
    {
        TraiteInt(value(section, key), field.first, field.second);
    }

    void number(const char* section, const char* key, int32_t& field) const
    {
        TraiteInt(value(section, key), field, field);
    }

private:
    std::string m_file;
    std::string m_dir;
};

uint32_t parseColour(const std::string& text)
{
    if (text == "none")
        return 0;
    const auto split = [](const std::string& s, std::string& head, std::string& tail) {
        const auto comma = s.find(',');
        head = comma == std::string::npos ? std::string() : s.substr(0, comma);
        tail = comma == std::string::npos ? s : s.substr(comma + 1);
    };
    std::string red, rest, green, blue;
    split(text, red, rest);
    split(rest, green, blue);
    const auto component = [](const std::string& s) {
        return static_cast<uint32_t>(ParseInteger(TrimLeadingBlanks(s))) & 0xFF;
    };
    const uint32_t r = component(red);
    const uint32_t g = component(green);
    const uint32_t b = component(blue);
    return r + 256 * g + 65536 * b;
}

} // namespace

std::string FindFileIgnoringCase(const std::string& path)
{
    if (path.empty() || exists(path))
        return path;
    std::string result = path.front() == '/' ? "/" : "";
    std::size_t pos = result.size();
    while (pos < path.size()) {
        std::size_t slash = path.find('/', pos);
        if (slash == std::string::npos)
            slash = path.size();
        const std::string part = path.substr(pos, slash - pos);
        pos = slash + 1;
        if (part.empty())
            continue;
        std::string candidate = result + part;
        if (!exists(candidate)) {
            const std::string match = matchInDirectory(result, part);
            if (match.empty())
                return path;
            candidate = result + match;
        }
        result = candidate;
        if (slash < path.size())
            result += '/';
    }
    return result;
}

void TraiteInt(const std::string& text, int32_t& first, int32_t& second)
{
    if (text == "none" || text.empty()) {
        first = 0;
        second = 0;
        return;
    }
    const auto comma = text.find(',');
    if (comma == std::string::npos) {
        first = ParseInteger(text);
        return;
    }
    // first is stored before second is parsed, so with one field for both
    // halves the second number is what stays.
    first = ParseInteger(text.substr(0, comma));
    second = ParseInteger(text.substr(comma + 1));
}

void ReadSkin()
{
    NoMsgWindow = false;
    const std::string dir = CurrentSkinDir;
    const SkinReader r(FindFileIgnoringCase(dir + "skin.ini"), dir);
    TSkinSettings& s = SkinSettings;

    const std::string main = r.value("[background]", "main");
    if (main == "none")
        report::Fatal(MainBackgroundMissing);
    s.background.main = skinFile(dir, main);
    const std::string msgbkng = r.value("[background]", "msgbkng");
    if (msgbkng == "none") {
        NoMsgWindow = true;
        s.background.msgbkng = msgbkng;
    } else {
        s.background.msgbkng = skinFile(dir, msgbkng);
    }

    r.file("[connect]", "cnxbtnnormal", s.connect.cnxbtnnormal);
    r.file("[connect]", "cnxbtnselect", s.connect.cnxbtnselect);
    r.pair("[connect]", "position", s.connect.position);
    r.file("[disconnect]", "disbtnnormal", s.disconnect.disbtnnormal);
    r.file("[disconnect]", "disbtnselect", s.disconnect.disbtnselect);
    r.pair("[disconnect]", "position", s.disconnect.position);
    r.file("[online]", "onlinebmp", s.online.onlinebmp);
    r.file("[online]", "notonlinebmp", s.online.notonlinebmp);
    r.pair("[online]", "position", s.online.position);
    r.file("[mailclient]", "runmailnormal", s.mailclient.runmailnormal);
    r.file("[mailclient]", "runmailselect", s.mailclient.runmailselect);
    r.pair("[mailclient]", "position", s.mailclient.position);
    r.file("[readmsg]", "readbtnnormal", s.readmsg.readbtnnormal);
    r.file("[readmsg]", "readbtnselect", s.readmsg.readbtnselect);
    r.pair("[readmsg]", "position", s.readmsg.position);
    r.file("[youhavemail]", "gotmail", s.youhavemail.gotmail);
    r.file("[youhavemail]", "nomail", s.youhavemail.nomail);
    r.pair("[youhavemail]", "position", s.youhavemail.position);
    r.file("[nbmsg]", "nbmsgbmp", s.nbmsg.nbmsgbmp);
    r.pair("[nbmsg]", "size", s.nbmsg.size);
    r.pair("[nbmsg]", "position", s.nbmsg.position);
    r.file("[status]", "fontbmp", s.status.fontbmp);
    r.pair("[status]", "size", s.status.size);
    r.pair("[status]", "position", s.status.position);
    r.number("[status]", "maxchar", s.status.maxchar);
    if (s.status.maxchar == 0)
        s.status.maxchar = 128;

    auto& m = s.memo_msgwindow;
    const char* const memo = "[memo_msgwindow]";
    r.number(memo, "memo_x", m.memo_x);
    r.number(memo, "memo_y", m.memo_y);
    r.number(memo, "memo_width", m.memo_width);
    r.number(memo, "memo_height", m.memo_height);
    m.fontcolor = parseColour(r.value(memo, "fontcolor"));
    const std::string fontname = r.value(memo, "fontname");
    m.fontname = fontname == "none" ? "arial" : fontname;
    m.fontstyle = r.value(memo, "fontstyle");
    const std::string fontsize = r.value(memo, "fontsize");
    m.fontsize = fontsize == "none" ? 7 : ParseInteger(fontsize);
    r.file(memo, "prevbtnnormal", m.prevbtnnormal);
    r.file(memo, "prevbtnselect", m.prevbtnselect);
    r.pair(memo, "prevbtnpos", m.prevbtnpos);
    r.file(memo, "nextbtnnormal", m.nextbtnnormal);
    r.file(memo, "nextbtnselect", m.nextbtnselect);
    r.pair(memo, "nextbtnpos", m.nextbtnpos);
    r.file(memo, "replybtnnormal", m.replybtnnormal);
    r.file(memo, "replybtnselect", m.replybtnselect);
    r.pair(memo, "replybtnpos", m.replybtnpos);
    r.file(memo, "deletebtnnormal", m.deletebtnnormal);
    r.file(memo, "deletebtnselect", m.deletebtnselect);
    r.pair(memo, "deletebtnpos", m.deletebtnpos);
    r.file(memo, "closebtnnormal", m.closebtnnormal);
    r.file(memo, "closebtnselect", m.closebtnselect);
    r.pair(memo, "closebtnpos", m.closebtnpos);
}

TSkinInfo ReadSkinInfo(const std::string& path)
{
    const std::string file = FindFileIgnoringCase(path);
    LineReader reader(file, MaxLineBytes, MaxFileBytes);
    if (reader.failed())
        throw Exception("Cannot open file \"" + path + "\". " + std::strerror(errno ? errno : ENOENT));
    TSkinInfo info;
    std::string* const fields[] = {&info.name, &info.author, &info.mail, &info.web, &info.info};
    const char* const keys[] = {"skin_name", "skin_author", "skin_mail", "skin_web", "skin_info"};
    std::string line;
    while (reader.next(line)) {
        const std::string lower = text::lower(line);
        for (int k = 0; k < 5; ++k) {
            if (lower.find(keys[k]) == std::string::npos)
                continue;
            const auto eq = line.find('=');
            std::string v = eq == std::string::npos ? line : line.substr(eq + 1);
            v.erase(0, v.find_first_not_of(' ') == std::string::npos ? v.size() : v.find_first_not_of(' '));
            *fields[k] = v;
        }
    }
    if (reader.failed())
        throw Exception("Cannot read file \"" + path + "\". " + std::strerror(errno ? errno : EIO));
    return info;
}
