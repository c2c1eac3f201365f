#include "core/Settings.h"

#include "base/AtomicFile.h"
#include "base/Exception.h"
#include "core/AccountsExtra.h"

std::array<TPOPAcc, MaxAccounts> AccountTable;
int32_t AccountCount = 0;
TSettings Settings;
int32_t MessageCount = 0;
std::string AccountsExtraWarning;

namespace {

// The options of Tolmu.ini, in the order the file is written. Flags are
// written "key =1", numbers and texts "key = value"; every key is looked up
// in lower case by the scanner, so "posX" is found as written.
struct SettingsKey {
    const char* name;
    bool TSettings::*flag = nullptr;
    int32_t TSettings::*number = nullptr;
    std::string TSettings::*text = nullptr;
    int32_t missing = 0; // a number's value when its key is absent
};

const SettingsKey settingsKeys[] = {
    {"autocheck", &TSettings::AutoCheck},
    {"autoconnect", &TSettings::AutoConnect},
    {"header_only", &TSettings::HeaderOnly},
    {"ontop", &TSettings::OnTop},
    {"minutes", nullptr, &TSettings::Minutes, nullptr, 1},
    {"posX", nullptr, &TSettings::PosX, nullptr, 10},
    {"posY", nullptr, &TSettings::PosY, nullptr, 10},
    {"playsnd", &TSettings::PlaySnd},
    {"wavsnd", nullptr, nullptr, &TSettings::WavSnd},
    {"icon_tray", &TSettings::IconTray},
    {"run_my_client", &TSettings::RunMyClient},
    {"my_mail_client", nullptr, nullptr, &TSettings::MyMailClient},
    {"skin_dir", nullptr, nullptr, &TSettings::SkinDir},
};

// Reads one settings number: "none" gives the default.
int32_t numberOr(const std::string& value, int32_t missing)
{
    return value == "none" ? missing : ParseInteger(value);
}

bool isFlagSet(const std::string& value) { return value == "1"; }

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

void ReadSettings(TSettings& settings)
{
    const std::string file = SettingsFilePath();
    for (const SettingsKey& key : settingsKeys) {
        if (key.flag)
            settings.*key.flag = isFlagSet(FindInSkin(file, "", key.name));
        else if (key.text)
            settings.*key.text = FindInSkin(file, "", key.name);
    }
    for (const SettingsKey& key : settingsKeys)
        if (key.number)
            settings.*key.number = numberOr(FindInSkin(file, "", key.name), key.missing);
}

void ReadAccounts(TAccountProblems* problems)
{
    if (problems)
        problems->fill({});
    for (TPOPAcc& acc : AccountTable)
        acc = TPOPAcc{};
    AccountCount = 0;

    const std::string accounts = AccountsFilePath();
    for (int n = 1; n <= MaxAccounts; ++n) {
        const std::string section = "[account" + std::to_string(n) + "]";
        // Every key of a block comes from that block: a hand-edited file
        // without a password or host line must not lend this account the
        // next one's secret or server. A key missing from its block is then
        // "none", as for the last block.
        const auto value = [&](const char* key) {
            return FindInSkin(accounts, section, key, ScanScope::ToNextAccount);
        };
        const std::string name = value("acc_name");
        if (name.empty() || name == "none")
            break;
        TPOPAcc acc;
        acc.AccName = name;
        acc.HostName = value("host_name");
        acc.UserName = value("user_name");
        acc.Password = UnscramblePassword(value("password"));
        acc.Inactive = isFlagSet(value("inactive"));
        std::string problem;
        const std::string port = value("port_number");
        try {
            acc.PortNumber = numberOr(port, 110);
        } catch (const Exception& e) {
            if (!problems)
                throw;
            acc.PortNumber = 0;
            problem = "Accounts.ini [Account" + std::to_string(n) + "] port_number = " + port + ": " + e.what();
        }
        if (acc.HostName.empty() || acc.UserName.empty() || acc.Password.empty())
            continue;
        if (problems)
            (*problems)[AccountCount] = problem;
        AccountTable[AccountCount++] = acc;
    }
    AccountsExtraWarning = ApplyAccountsExtra({AccountTable.data(), static_cast<std::size_t>(AccountCount)},
                                              AccountsExtraFilePath());
}

void WriteAccountsFile()
{
    const int count = AccountCount < 0 ? 0 : (AccountCount > MaxAccounts ? MaxAccounts : AccountCount);
    std::string out;
    for (int i = 1; i <= count; ++i) {
        const TPOPAcc& acc = AccountTable[i - 1];
        rejectLineBreaks("An account name", acc.AccName);
        rejectLineBreaks("A host name", acc.HostName);
        rejectLineBreaks("A user name", acc.UserName);
        checkStorablePassword(acc.Password);
        out += "\r\n";
        out += "[Account" + std::to_string(i) + "]\r\n";
        out += "acc_name = " + acc.AccName + "\r\n";
        out += "host_name = " + acc.HostName + "\r\n";
        out += "user_name = " + acc.UserName + "\r\n";
        out += "password = " + ScramblePassword(acc.Password) + "\r\n";
        out += "port_number = " + std::to_string(acc.PortNumber) + "\r\n";
        out += std::string("inactive = ") + (acc.Inactive ? "1" : "0") + "\r\n";
    }
    WriteFileAtomically(AccountsFilePath(), out, 0600);
    WriteAccountsExtra({AccountTable.data(), static_cast<std::size_t>(count)}, AccountsExtraFilePath());
}

void WriteSettingsFile(const std::string& CurrentSkin, bool AutoCheck, bool AutoConnect,
                       bool HeaderOnly, bool OnTop, int16_t Minutes, int32_t PosX,
                       int32_t PosY, bool PlaySnd, const std::string& WavSnd, bool IconTray,
                       bool RunMyClient, const std::string& MyMailClient,
                       const std::string& SkinDir)
{
    std::string skin = CurrentSkin;
    // The installed skins are written relative too: the loader finds them
    // again after the install moves to another prefix.
    for (const std::string& base : {ConfigDir(), DataDir()})
        if (!base.empty() && skin.size() > base.size() && skin.compare(0, base.size(), base) == 0) {
            skin = skin.substr(base.size());
            break;
        }
    rejectLineBreaks("The skin directory", skin);
    rejectLineBreaks("The sound file", WavSnd);
    rejectLineBreaks("The mail program", MyMailClient);
    rejectLineBreaks("The skin folder", SkinDir);

    const TSettings values{AutoCheck, AutoConnect, HeaderOnly, OnTop,  Minutes,      PosX,   PosY,
                           PlaySnd,   WavSnd,      IconTray,   RunMyClient, MyMailClient, SkinDir};
    std::string out = "current_skin = " + skin + "\r\n";
    for (const SettingsKey& key : settingsKeys) {
        out += key.name;
        if (key.flag)
            out += std::string(" =") + (values.*key.flag ? "1" : "0");
        else if (key.number)
            out += " = " + std::to_string(values.*key.number);
        else
            out += " = " + values.*key.text;
        out += "\r\n";
    }
    WriteFileAtomically(SettingsFilePath(), out, -1);
}
