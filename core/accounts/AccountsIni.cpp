// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/accounts/AccountsIni.h"

#include "base/AtomicFile.h"
#include "base/Exception.h"
#include "base/Scanner.h"

#include "base/Text.h"

#include <algorithm>
#include <map>

namespace {

void rejectLineBreaks(const std::string& what, const std::string& value)
{
    if (value.find_first_of("\r\x1a") != std::string::npos)
        throw Exception(what + " must not contain a line break");
}

// A password comes back from the file exactly when each byte survives the
// scrambling (4 to 131 are the bytes the loader can produce), no scrambled
// byte ends the line (LF after the CR the reader stops at) or the file (26),
// and no scrambled blank leads the value, which the scanner would trim.
void checkStorablePassword(const std::string& password)
{
    if (password.size() > 255)
        throw Exception("A password may hold at most 255 characters");
    for (std::size_t i = 0; i < password.size(); ++i) {
        const auto c = static_cast<unsigned char>(password[i]);
        const int stored = 2 * c - 8;
        if (c < 4 || c > 131 || stored == '\n' || stored == 26 || (i == 0 && stored == ' '))
            throw Exception("A password may not hold the character code " + std::to_string(c));
    }
}

} // namespace

std::string ScramblePassword(const std::string& text)
{
    std::string out = text;
    for (char& c : out)
        c = static_cast<char>((2 * static_cast<unsigned char>(c) - 8) & 0xFF);
    return out;
}

std::string UnscramblePassword(const std::string& text)
{
    std::string out = text;
    for (char& c : out)
        c = static_cast<char>((static_cast<unsigned char>(c) / 2 + 4) & 0xFF);
    return out;
}

namespace {

// The lines after each "[AccountN]" header up to the next header, as they
// stand in the file (lines end at CR, as the scanner reads them), so a
// block that cannot be used is written back unchanged.
std::map<int, std::string> rawBlocks(const std::string& path)
{
    std::map<int, std::string> blocks;
    std::string content;
    // The scanner reads no further than MaxFileBytes either.
    const TSmallFile read = ReadSmallFile(path, MaxFileBytes, content);
    if (read != TSmallFile::Read && read != TSmallFile::TooLarge)
        return blocks;
    content.resize(std::min(content.size(), content.find('\x1a')));
    int open = 0;            // the block being read, 0: none
    std::size_t from = 0;    // where its lines start
    std::size_t pos = 0;
    while (pos < content.size()) {
        std::size_t end = content.find('\r', pos);
        std::size_t next = end == std::string::npos ? content.size() : end + 1;
        if (end == std::string::npos)
            end = content.size();
        if (next < content.size() && content[next] == '\n')
            ++next;
        // One LF after a CR belongs to that line's end.
        std::size_t lineStart = pos;
        if (lineStart < end && content[lineStart] == '\n')
            ++lineStart;
        const int n = AccountHeaderNumber(text::lower(content.substr(lineStart, end - lineStart)));
        if (n > 0) {
            if (open > 0)
                blocks.emplace(open, content.substr(from, pos - from));
            open = blocks.count(n) ? -1 : n; // the first block of a number is the one read
            from = next;
        }
        pos = next;
    }
    if (open > 0)
        blocks.emplace(open, content.substr(from));
    return blocks;
}

} // namespace

void ReadAccountsIni(const std::string& path, std::vector<TPOPAcc>& accounts, TAccountProblems* problems,
                     std::vector<bool>* passwordLineMissing)
{
    if (problems)
        problems->fill({});
    if (passwordLineMissing)
        passwordLineMissing->clear();
    accounts.clear();
    const std::map<int, std::string> blocks = rawBlocks(path);
    for (int n = 1; n <= MaxAccounts; ++n) {
        const auto block = blocks.find(n);
        // A missing number is a gap: the blocks after it are accounts all
        // the same, and kept by every rewrite.
        if (block == blocks.end())
            continue;
        const std::string section = "[account" + std::to_string(n) + "]";
        const std::string where = "Accounts.ini [Account" + std::to_string(n) + "] ";
        // Every key of a block comes from that block: a hand-edited file
        // without a password or host line must not lend this account the
        // next one's secret or server. A key missing from its block is then
        // "none", as for the last block.
        const auto value = [&](const char* key) { return FindInSkin(path, section, key, ScanScope::ToNextAccount); };
        TPOPAcc acc;
        acc.RawBlock = block->second;
        const std::string name = value("acc_name");
        acc.AccName = name;
        if (name.empty() || name == "none") {
            acc.AccName = "[Account" + std::to_string(n) + "]";
            acc.Broken = where + "has no acc_name";
        }
        acc.HostName = value("host_name");
        acc.UserName = value("user_name");
        const std::string password = value("password");
        // "password = " reads back as a blank, which no stored password can
        // be (it would unscramble to a control code): no password. A missing
        // line is told apart: an account whose password is kept elsewhere
        // has none, any other reads "none" unscrambled, as older copies did.
        const bool missing = password == "none";
        if (password.find_first_not_of(' ') != std::string::npos && !missing)
            acc.Password = UnscramblePassword(password);
        acc.Inactive = value("inactive") == "1";
        std::string problem;
        const std::string port = value("port_number");
        try {
            acc.PortNumber = port == "none" ? 110 : ParseInteger(port);
        } catch (const Exception& e) {
            if (!problems)
                throw;
            acc.PortNumber = 0;
            problem = "Accounts.ini [Account" + std::to_string(n) + "] port_number = " + port + ": " + e.what();
        }
        if (acc.Broken.empty() && acc.HostName.empty())
            acc.Broken = where + "has no host_name";
        if (acc.Broken.empty() && acc.UserName.empty())
            acc.Broken = where + "has no user_name";
        if (problems)
            (*problems)[accounts.size()] = problem;
        if (passwordLineMissing)
            passwordLineMissing->push_back(missing);
        accounts.push_back(acc);
    }
}

std::string WithInactiveLine(const std::string& lines, bool inactive)
{
    const std::string line = std::string("inactive = ") + (inactive ? "1" : "0");
    std::size_t pos = 0;
    while (pos < lines.size()) {
        std::size_t end = lines.find('\r', pos);
        if (end == std::string::npos)
            end = lines.size();
        std::size_t start = pos;
        while (start < end && (lines[start] == '\n' || lines[start] == ' '))
            ++start;
        if (text::lower(lines.substr(start, end - start)).rfind("inactive", 0) == 0)
            return lines.substr(0, start) + line + lines.substr(end);
        pos = end + 1;
    }
    std::string out = lines;
    if (!out.empty() && out.back() != '\n' && out.back() != '\r')
        out += "\r\n";
    return out + line + "\r\n";
}

void WriteAccountsIni(const std::string& path, const std::vector<TPOPAcc>& accounts)
{
    std::string out;
    for (std::size_t i = 0; i < accounts.size() && i < MaxAccounts; ++i) {
        const TPOPAcc& acc = accounts[i];
        rejectLineBreaks("An account name", acc.AccName);
        rejectLineBreaks("A host name", acc.HostName);
        rejectLineBreaks("A user name", acc.UserName);
        if (!acc.Broken.empty()) {
            // Kept as it stands until someone mends it.
            out += "\r\n[Account" + std::to_string(i + 1) + "]\r\n" + text::withoutLastBlankLine(acc.RawBlock);
            continue;
        }
        const bool inKeyring = acc.SecretPlace == TPOPAcc::TSecretPlace::Keyring || acc.OAuth;
        if (!inKeyring)
            checkStorablePassword(acc.Password);
        out += "\r\n";
        out += "[Account" + std::to_string(i + 1) + "]\r\n";
        out += "acc_name = " + acc.AccName + "\r\n";
        out += "host_name = " + acc.HostName + "\r\n";
        out += "user_name = " + acc.UserName + "\r\n";
        out += "password = " + (inKeyring ? std::string() : ScramblePassword(acc.Password)) + "\r\n";
        out += "port_number = " + std::to_string(acc.PortNumber) + "\r\n";
        out += std::string("inactive = ") + (acc.Inactive ? "1" : "0") + "\r\n";
    }
    WriteFileAtomically(path, out, 0600);
}
