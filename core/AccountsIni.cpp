// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/AccountsIni.h"

#include "base/AtomicFile.h"
#include "base/Exception.h"
#include "base/Scanner.h"

#include <algorithm>

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

void ReadAccountsIni(const std::string& path, std::vector<TPOPAcc>& accounts, TAccountProblems* problems,
                     const std::vector<std::string>& passwordless)
{
    if (problems)
        problems->fill({});
    accounts.clear();
    for (int n = 1; n <= MaxAccounts; ++n) {
        const std::string section = "[account" + std::to_string(n) + "]";
        // Every key of a block comes from that block: a hand-edited file
        // without a password or host line must not lend this account the
        // next one's secret or server. A key missing from its block is then
        // "none", as for the last block.
        const auto value = [&](const char* key) { return FindInSkin(path, section, key, ScanScope::ToNextAccount); };
        const std::string name = value("acc_name");
        if (name.empty() || name == "none")
            break;
        TPOPAcc acc;
        acc.AccName = name;
        acc.HostName = value("host_name");
        acc.UserName = value("user_name");
        const std::string password = value("password");
        // "password = " reads back as a blank, which no stored password can
        // be (it would unscramble to a control code): no password. A missing
        // line stays "none" unscrambled, as older copies read it, except for
        // an account whose password is kept elsewhere.
        const bool mayLack = std::find(passwordless.begin(), passwordless.end(), name) != passwordless.end();
        const bool lacking = password.find_first_not_of(' ') == std::string::npos || (mayLack && password == "none");
        if (!lacking)
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
        if (acc.HostName.empty() || acc.UserName.empty() || (acc.Password.empty() && !mayLack))
            continue;
        if (problems)
            (*problems)[accounts.size()] = problem;
        accounts.push_back(acc);
    }
}

void WriteAccountsIni(const std::string& path, const std::vector<TPOPAcc>& accounts)
{
    std::string out;
    for (std::size_t i = 0; i < accounts.size() && i < MaxAccounts; ++i) {
        const TPOPAcc& acc = accounts[i];
        rejectLineBreaks("An account name", acc.AccName);
        rejectLineBreaks("A host name", acc.HostName);
        rejectLineBreaks("A user name", acc.UserName);
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
