// SPDX-License-Identifier: GPL-3.0-or-later
#include "demo/DemoMailbox.h"

#include "mail/Coder.h"

#include <cstdio>
#include <ctime>

namespace {

// RFC 5322 date of now in local time, so the window shows today's date.
std::string dateNow()
{
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    ::localtime_r(&now, &tm);
    char buf[64];
    // The C locale's day and month names, whatever the user's LC_TIME.
    static const char* const days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const long off = tm.tm_gmtoff / 60;
    std::snprintf(buf, sizeof buf, "%s, %d %s %d %02d:%02d:%02d %c%02ld%02ld", days[tm.tm_wday], tm.tm_mday,
                  months[tm.tm_mon], tm.tm_year + 1900, tm.tm_hour, tm.tm_min, tm.tm_sec, off < 0 ? '-' : '+',
                  (off < 0 ? -off : off) / 60, (off < 0 ? -off : off) % 60);
    return buf;
}

std::string header(const std::string& from, const std::string& subject, const std::string& id)
{
    return "From: " + from + "\r\nTo: You <you@tolmu.invalid>\r\nSubject: " + subject + "\r\nDate: " + dateNow() +
           "\r\nMessage-ID: <" + id + "@demo.tolmu.invalid>\r\nMIME-Version: 1.0\r\n";
}

// Base64 in lines of 76 characters, as mail programs write it.
std::string base64Lines(const std::string& bytes)
{
    std::string out;
    for (std::size_t at = 0; at < bytes.size(); at += 57)
        out += TWireEncoder::EncodeLine(std::string_view(bytes).substr(at, 57)) + "\r\n";
    return out;
}

} // namespace

std::vector<DemoAttachment> DemoAttachments()
{
    std::string csv = "month,messages\r\n";
    for (int m = 1; m <= 12; ++m)
        csv += std::to_string(m) + "," + std::to_string(m * 7 % 31) + "\r\n";
    return {{"notes.txt", "Things to try in the demo:\n- double-click the status line\n- press Next\n"},
            {"numbers.csv", csv}};
}

std::vector<DemoMessage> DemoStartMessages()
{
    std::vector<DemoMessage> out;
    // The line starting with a dot goes over the wire stuffed ("..") and
    // must come back as written.
    out.push_back({"demo-welcome",
                   header("Tolmu demo <demo@tolmu.invalid>", "Welcome to the Tolmu demo", "welcome") +
                       "Content-Type: text/plain; charset=us-ascii\r\n\r\n"
                       "This mailbox lives inside Tolmu for as long as the demo runs.\r\n"
                       "A new message arrives every 30 seconds.\r\n"
                       "\r\n"
                       ".signature lines that start with a dot travel safely too.\r\n"});

    const std::string boundary = "demo-boundary-1";
    std::string mixed = header("Ann Example <ann@tolmu.invalid>", "Two small files", "files") +
                        "Content-Type: multipart/mixed; boundary=\"" + boundary + "\"\r\n\r\n"
                        "This is a multi-part message in MIME format.\r\n"
                        "--" + boundary + "\r\nContent-Type: text/plain; charset=us-ascii\r\n\r\n"
                        "Here are the notes and the numbers.\r\n";
    for (const DemoAttachment& a : DemoAttachments())
        mixed += "--" + boundary + "\r\nContent-Type: application/octet-stream; name=\"" + a.FileName +
                 "\"\r\nContent-Transfer-Encoding: base64\r\nContent-Disposition: attachment; filename=\"" +
                 a.FileName + "\"\r\n\r\n" + base64Lines(a.Bytes);
    mixed += "--" + boundary + "--\r\n";
    out.push_back({"demo-files", mixed});

    // "Grüße aus Zürich" as an encoded word; the text itself in UTF-8.
    out.push_back({"demo-greetings",
                   header("=?UTF-8?Q?J=C3=BCrg_M=C3=BCller?= <juerg@tolmu.invalid>",
                          "=?UTF-8?B?R3LDvMOfZSBhdXMgWsO8cmljaA==?=", "greetings") +
                       "Content-Type: text/plain; charset=UTF-8\r\nContent-Transfer-Encoding: 8bit\r\n\r\n"
                       "Gr\xC3\xBC\xC3\x9F" "e aus Z\xC3\xBCrich, und sch\xC3\xB6ne Tage!\r\n"});
    return out;
}

DemoMessage DemoArrival(int number)
{
    const std::string n = std::to_string(number);
    return {"demo-arrival-" + n,
            header("Tolmu demo <demo@tolmu.invalid>", "New message " + n, "arrival-" + n) +
                "Content-Type: text/plain; charset=us-ascii\r\n\r\n"
                "Message " + n + " of the demo, delivered while you watched.\r\n"};
}
