// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Test messages made by Python's email package (tests/mail/make_messages.py)
// and what the body reader should make of each: shared by the body reader's
// unit tests and the retrieval tests against Dovecot.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace testmail {

struct ExpectedAttachment {
    std::string fileName;
    std::string original; // the bytes before encoding
};

struct TestMessage {
    std::string name;
    std::string raw; // the whole message, CR LF line ends, not dot-stuffed
    std::string subject;
    std::size_t parts = 0;
    std::vector<std::string> text;  // Text: the raw lines of the text parts
    bool hasShown = false;           // whether shown is known
    std::vector<std::string> shown;  // the readable text the window shows
    std::string fromShown, subjectShown; // From and Subject decoded, when given
    std::vector<ExpectedAttachment> attachments;
    bool partial = false;
    std::string error;
};

inline std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Splits at CR LF; a final CR LF ends the last line rather than adding one.
inline std::vector<std::string> splitLines(const std::string& raw)
{
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < raw.size()) {
        std::size_t end = raw.find("\r\n", pos);
        if (end == std::string::npos) {
            lines.push_back(raw.substr(pos));
            break;
        }
        lines.push_back(raw.substr(pos, end - pos));
        pos = end + 2;
    }
    return lines;
}

// Runs the generator into a new folder under dir and loads every message.
// bigBytes sizes the one large attachment.
inline std::vector<TestMessage> makeMessages(const std::string& dir, std::size_t bigBytes)
{
    const std::string out = dir + "/messages";
    const std::string cmd = "python3 '" TOLMU_SOURCE_DIR "/tests/mail/make_messages.py' '" + out +
                            "' " + std::to_string(bigBytes);
    if (std::system(cmd.c_str()) != 0)
        throw std::runtime_error("make_messages.py failed");
    std::vector<TestMessage> messages;
    for (const auto& entry : std::filesystem::directory_iterator(out)) {
        if (entry.path().extension() != ".eml")
            continue;
        TestMessage m;
        m.name = entry.path().stem().string();
        m.raw = readFile(entry.path().string());
        std::istringstream expect(readFile(out + "/" + m.name + ".expect"));
        std::string line;
        while (std::getline(expect, line)) {
            const std::size_t sp = line.find(' ');
            const std::string key = line.substr(0, sp);
            const std::string rest = sp == std::string::npos ? "" : line.substr(sp + 1);
            if (key == "subject")
                m.subject = rest;
            else if (key == "parts")
                m.parts = std::stoul(rest);
            else if (key == "text")
                m.text.push_back(rest);
            else if (key == "shown")
                m.hasShown = true;
            else if (key == "show")
                m.shown.push_back(rest);
            else if (key == "from")
                m.fromShown = rest;
            else if (key == "subjshown")
                m.subjectShown = rest;
            else if (key == "att") {
                const std::size_t cut = rest.rfind(' ');
                m.attachments.push_back({rest.substr(0, cut), readFile(out + "/" + rest.substr(cut + 1))});
            } else if (key == "partial")
                m.partial = true;
            else if (key == "error")
                m.error = rest;
        }
        messages.push_back(std::move(m));
    }
    return messages;
}

} // namespace testmail
