#include "app/core/Settings.h"

#include "app/Exception.h"
#include "app/Report.h"
#include "app/core/AtomicFile.h"
#include "app/core/LineReader.h"
#include "net/Text.h"
#include "skin/file/SkinFile.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

std::array<TPOPAcc, MaxAccounts> AccountTable;
int32_t AccountCount = 0;
TSettings Settings;
int32_t MessageCount = 0;

namespace {

const char* const SkinPathNotFound =
    "SKIN PATH not found !\rCheck the TOLMU.INI line : current_skin = your skin dir.";
const char* const TolmuIniNotFound =
    "TOLMU.INI not found !\r\rCreate an Tolmu.ini file with the line  : \rcurrent_skin=your skin dir.";

bool isCandidate(const std::string& line) { return !line.empty() && line.front() != ';'; }

std::string valueOf(const std::string& line)
{
    const auto eq = line.find('=');
    return TrimLeadingBlanks(eq == std::string::npos ? line : line.substr(eq + 1));
}

// Reads one settings number: "none" gives the default.
int32_t numberOr(const std::string& value, int32_t missing)
{
    return value == "none" ? missing : ParseInteger(value);
}

bool isFlagSet(const std::string& value) { return value == "1"; }

std::string tolmuValue(const std::string& key) { return FindInSkin(SettingsFilePath(), "", key); }

bool allBlanks(const std::string& s) { return s.find_first_not_of(' ') == std::string::npos; }

void rejectLineBreaks(const std::string& what, const std::string& value)
{
    if (value.find_first_of("\r\x1a") != std::string::npos)
        throw Exception(what + " must not contain a line break");
}

} // namespace

std::string TrimLeadingBlanks(const std::string& text)
{
    std::size_t start = 0;
    while (text.size() - start > 1 && text[start] == ' ')
        ++start;
    return text.substr(start);
}

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

int32_t ParseInteger(const std::string& text)
{
    const auto invalid = [&] { return Exception("'" + text + "' is not a valid integer value"); };
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    if (i >= text.size())
        throw invalid();
    int64_t value = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c < '0' || c > '9')
            throw invalid();
        value = value * 10 + (c - '0');
        if (value > int64_t(INT32_MAX) + 1)
            throw invalid();
    }
    if (negative)
        value = -value;
    if (value > INT32_MAX || value < INT32_MIN)
        throw invalid();
    return static_cast<int32_t>(value);
}

std::string FindInSkin(const std::string& fileName, const std::string& section,
                       const std::string& key)
{
    LineReader reader(fileName, MaxLineBytes, MaxFileBytes);
    const auto unreadable = [&]() -> std::string {
        if (fileName.find("Accounts.ini") != std::string::npos)
            return "";
        report::Fatal(SkinPathNotFound);
    };
    if (reader.failed())
        return unreadable();

    const std::string wantSection = text::lower(section);
    const std::string wantKey = text::lower(key);
    std::string line;
    bool inSection = section.empty();
    while (reader.next(line)) {
        if (!isCandidate(line))
            continue;
        const std::string lower = text::lower(line);
        if (!inSection) {
            if (lower != wantSection)
                continue;
            inSection = true;
        }
        // The header line itself is searched too: the key search starts
        // where the section search stopped.
        if (lower.find(wantKey) != std::string::npos)
            return valueOf(line);
    }
    if (reader.failed())
        return unreadable();
    return "none";
}

void LoadSettingsAndAccounts(TLoadState& state)
{
    state.OnTopChecked = false;

    if (SkinPreview.empty()) {
        std::string dir = tolmuValue("current_skin");
        // An empty value would leave the skin directory as the settings
        // directory itself; treat it like a missing line.
        if (dir == "none" || allBlanks(dir))
            report::Fatal(TolmuIniNotFound);
        if (dir.front() != '/')
            dir = ConfigDir() + dir;
        if (dir.back() != '/')
            dir += '/';
        CurrentSkinDir = dir;
    }

    for (TPOPAcc& acc : AccountTable)
        acc = TPOPAcc{};
    AccountCount = 0;

    const std::string accounts = AccountsFilePath();
    for (int n = 1; n <= MaxAccounts; ++n) {
        const std::string section = "[account" + std::to_string(n) + "]";
        const std::string name = FindInSkin(accounts, section, "acc_name");
        if (name.empty() || name == "none")
            break;
        TPOPAcc acc;
        acc.AccName = name;
        acc.HostName = FindInSkin(accounts, section, "host_name");
        acc.UserName = FindInSkin(accounts, section, "user_name");
        acc.Password = UnscramblePassword(FindInSkin(accounts, section, "password"));
        acc.Inactive = isFlagSet(FindInSkin(accounts, section, "inactive"));
        acc.PortNumber = numberOr(FindInSkin(accounts, section, "port_number"), 110);
        if (acc.HostName.empty() || acc.UserName.empty() || acc.Password.empty())
            continue;
        AccountTable[AccountCount++] = acc;
    }

    bool found = false;
    for (int i = 1; i <= AccountCount && !found; ++i) {
        const TPOPAcc& acc = AccountTable[i - 1];
        if (!acc.AccName.empty() && !acc.Inactive) {
            state.FirstActiveIndex = static_cast<int16_t>(i);
            state.CurrentAccount = i;
            state.HasActiveAccount = true;
            found = true;
        }
    }
    // No active account: point past the table (the check cycle then wraps);
    // an empty table gives 2, as stored set-ups have always seen it.
    if (!found)
        state.CurrentAccount = AccountCount == 0 ? 2 : AccountCount + 1;

    Settings.AutoCheck = isFlagSet(tolmuValue("autocheck"));
    Settings.PlaySnd = isFlagSet(tolmuValue("playsnd"));
    Settings.WavSnd = tolmuValue("wavsnd");
    Settings.AutoConnect = isFlagSet(tolmuValue("autoconnect"));
    Settings.HeaderOnly = isFlagSet(tolmuValue("header_only"));
    Settings.OnTop = isFlagSet(tolmuValue("ontop"));
    Settings.IconTray = isFlagSet(tolmuValue("icon_tray"));
    state.OnTopChecked = Settings.OnTop;
    Settings.RunMyClient = isFlagSet(tolmuValue("run_my_client"));
    Settings.MyMailClient = tolmuValue("my_mail_client");
    Settings.SkinDir = tolmuValue("skin_dir");
    Settings.Minutes = numberOr(tolmuValue("minutes"), 1);
    Settings.PosX = numberOr(tolmuValue("posx"), 10);
    Settings.PosY = numberOr(tolmuValue("posy"), 10);
}

void LitSkinIni(TLoadState& state)
{
    LoadSettingsAndAccounts(state);
    ReadSkin();
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
        // The stored form restores only these characters, and a byte 26 in
        // it would end the file for the reader.
        if (acc.Password.size() > 255)
            throw Exception("A password may hold at most 255 characters");
        for (const char c : acc.Password)
            if (c < 32 || c > 126)
                throw Exception("A password may hold only printable ASCII characters");
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
}

void WriteSettingsFile(const std::string& CurrentSkin, bool AutoCheck, bool AutoConnect,
                       bool HeaderOnly, bool OnTop, int16_t Minutes, int32_t PosX,
                       int32_t PosY, bool PlaySnd, const std::string& WavSnd, bool IconTray,
                       bool RunMyClient, const std::string& MyMailClient,
                       const std::string& SkinDir)
{
    std::string skin = CurrentSkin;
    const std::string base = ConfigDir();
    if (skin.size() > base.size() && skin.compare(0, base.size(), base) == 0)
        skin = skin.substr(base.size());
    rejectLineBreaks("The skin directory", skin);
    rejectLineBreaks("The sound file", WavSnd);
    rejectLineBreaks("The mail program", MyMailClient);
    rejectLineBreaks("The skin folder", SkinDir);

    const auto flag = [](bool b) { return b ? "1" : "0"; };
    std::string out;
    out += "current_skin = " + skin + "\r\n";
    out += std::string("autocheck =") + flag(AutoCheck) + "\r\n";
    out += std::string("autoconnect =") + flag(AutoConnect) + "\r\n";
    out += std::string("header_only =") + flag(HeaderOnly) + "\r\n";
    out += std::string("ontop =") + flag(OnTop) + "\r\n";
    out += "minutes = " + std::to_string(Minutes) + "\r\n";
    out += "posX = " + std::to_string(PosX) + "\r\n";
    out += "posY = " + std::to_string(PosY) + "\r\n";
    out += std::string("playsnd =") + flag(PlaySnd) + "\r\n";
    out += "wavsnd = " + WavSnd + "\r\n";
    out += std::string("icon_tray =") + flag(IconTray) + "\r\n";
    out += std::string("run_my_client =") + flag(RunMyClient) + "\r\n";
    out += "my_mail_client = " + MyMailClient + "\r\n";
    out += "skin_dir = " + SkinDir + "\r\n";
    WriteFileAtomically(SettingsFilePath(), out, -1);
}
