// SPDX-License-Identifier: GPL-3.0-or-later
// The settings and account store: the line scanner's tolerance rules, the
// loader's account and option stages, and the two written files.
#include "base/Exception.h"
#include "core/accounts/AccountsExtra.h"
#include "core/accounts/AccountsIni.h"
#include "core/settings/Loader.h"
#include "core/mailbox/SeenIds.h"
#include "core/settings/Settings.h"
#include "skin/file/SkinFile.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <functional>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

struct ScanCase {
    const char* name;
    std::string content;
    const char* section;
    const char* key;
    std::string expected;
};

TEST(FindInSkin, ScannerRules)
{
    const ScanCase cases[] = {
        {"header written with capital A", "[Account3]\r\nacc_name = x\r\n", "[account3]", "acc_name", "x"},
        {"header with a trailing blank", "[account3] \r\nacc_name = x\r\n", "[account3]", "acc_name", "none"},
        {"comment line skipped", ";acc_name = c\r\nacc_name = y\r\n", "", "acc_name", "y"},
        {"semicolon inside a line is text", "a = 1 ; acc_name\r\n", "", "acc_name", "1 ; acc_name"},
        {"blank before semicolon is a definition", " ;key = z\r\n", "", "key", "z"},
        {"blank lines skipped", "\r\n\r\nkey = v\r\n", "", "key", "v"},
        {"key captured inside an earlier value", "current_skin = /x/minutes/\r\nminutes = 5\r\n", "", "minutes", "/x/minutes/"},
        {"key taken from a later section", "[account1]\r\nacc_name = a\r\n[account2]\r\nhost_name = h\r\n", "[account1]", "host_name", "h"},
        {"key missing from all later sections", "[account1]\r\nacc_name = a\r\n", "[account1]", "host_name", "none"},
        {"key above its section not found", "host_name = h\r\n[account1]\r\nacc_name = a\r\n", "[account1]", "host_name", "none"},
        {"section missing", "acc_name = a\r\n", "[account1]", "acc_name", "none"},
        {"LF alone ends nothing", "a = 1\nb = 2\n", "", "b", "1\nb = 2\n"},
        {"LF-only file has no sections", "[account1]\nacc_name = a\n", "[account1]", "acc_name", "none"},
        {"CR alone ends a line", "a = 1\rb = 2\r", "", "b", "2"},
        {"only one LF after CR is skipped", "a = 1\r\n\nb = 2\r\n", "", "b", "2"},
        {"code 26 ends the file", "a = 1\r\n\x1a\r\nb = 2\r\n", "", "b", "none"},
        {"last line without an end", "a = 1\r\nb = 2", "", "b", "2"},
        {"trailing blanks stay", "key = v  \r\n", "", "key", "v  "},
        {"value of blanks becomes one blank", "key =   \r\n", "", "key", " "},
        {"nothing after the equals sign", "key =\r\n", "", "key", ""},
        {"no equals sign gives the whole line", "keyword\r\n", "", "key", "keyword"},
        {"key case ignored, value case kept", "KEY = VaLuE\r\n", "", "key", "VaLuE"},
        {"only ASCII letters fold", "[\xC4x]\r\nk = 1\r\n", "[\xE4x]", "k", "none"},
        {"header line is searched too", "[acc_name]\r\nx = 1\r\n", "[acc_name]", "acc_name", "[acc_name]"},
        {"value after the first equals sign", "key = a=b\r\n", "", "key", "a=b"},
        {"tab is not a blank", "key =\tv\r\n", "", "key", "\tv"},
        {"empty file", "", "", "key", "none"},
    };
    TempDir dir;
    const std::string file = dir.path() + "scan.ini";
    for (const ScanCase& c : cases) {
        writeFile(file, c.content);
        EXPECT_EQ(FindInSkin(file, c.section, c.key), c.expected) << c.name;
    }
}

TEST(FindInSkin, AccountScopeEndsAtTheNextAccountHeader)
{
    const ScanCase cases[] = {
        {"key of the next block not taken", "[Account1]\r\nacc_name = a\r\n[Account2]\r\npassword = p2\r\n",
         "[account1]", "password", "none"},
        {"header in any letter case ends it", "[account1]\r\nacc_name = a\r\n[ACCOUNT12]\r\nhost_name = h\r\n",
         "[account1]", "host_name", "none"},
        {"own block still searched", "[Account1]\r\nhost_name = h1\r\n[Account2]\r\nhost_name = h2\r\n",
         "[account2]", "host_name", "h2"},
        {"other sections do not end it", "[account1]\r\n[options]\r\nhost_name = h\r\n", "[account1]",
         "host_name", "h"},
        {"a header with a blank after it is no header", "[account1]\r\n[account2] \r\nhost_name = h\r\n",
         "[account1]", "host_name", "h"},
        {"not digits: no header", "[account1]\r\n[accountx]\r\nhost_name = h\r\n", "[account1]", "host_name", "h"},
        {"substring keys still match values", "[account1]\r\nacc_name = my password\r\n[account2]\r\n",
         "[account1]", "password", "my password"},
        {"a repeated own header ends it too", "[account1]\r\nacc_name = a\r\n[Account1]\r\nuser_name = u\r\n",
         "[account1]", "user_name", "none"},
    };
    TempDir dir;
    const std::string file = dir.path() + "Accounts.ini";
    for (const ScanCase& c : cases) {
        writeFile(file, c.content);
        EXPECT_EQ(FindInSkin(file, c.section, c.key, ScanScope::ToNextAccount), c.expected) << c.name;
    }
}

TEST(FindInSkin, LongLinesAndFilesAreBounded)
{
    TempDir dir;
    const std::string file = dir.path() + "big.ini";

    // The key beyond the line bound is cut away; the next line still counts.
    writeFile(file, std::string(MaxLineBytes, 'x') + "key = lost\r\nkey = kept\r\n");
    EXPECT_EQ(FindInSkin(file, "", "key"), "kept");

    // Nothing beyond the file bound is read.
    std::string padding;
    for (std::size_t n = 0; n < MaxFileBytes / 64 + 1; ++n)
        padding += std::string(62, 'p') + "\r\n";
    writeFile(file, padding + "key = late\r\n");
    EXPECT_EQ(FindInSkin(file, "", "key"), "none");
}

TEST(FindInSkin, UnreadableFiles)
{
    TempDir dir;
    EXPECT_EQ(FindInSkin(dir.path() + "Accounts.ini", "[account1]", "acc_name"), "");
    EXPECT_EXIT(FindInSkin(dir.path() + "Tolmu.ini", "", "current_skin"), testing::ExitedWithCode(1),
                "SKIN PATH not found !\nCheck the TOLMU.INI line : current_skin = your skin dir.");
    // A directory opens but cannot be read.
    EXPECT_EXIT(FindInSkin(dir.path(), "", "x"), testing::ExitedWithCode(1), "SKIN PATH not found");
    // A FIFO without a writer would block the open: unreadable at once.
    ASSERT_EQ(::mkfifo((dir.path() + "Accounts.ini").c_str(), 0600), 0);
    EXPECT_EQ(FindInSkin(dir.path() + "Accounts.ini", "[account1]", "acc_name"), "");
    ASSERT_EQ(::mkfifo((dir.path() + "Tolmu.ini").c_str(), 0600), 0);
    EXPECT_EXIT(FindInSkin(dir.path() + "Tolmu.ini", "", "current_skin"), testing::ExitedWithCode(1),
                "SKIN PATH not found");
}

TEST(ParseInteger, DecimalOnly)
{
    EXPECT_EQ(ParseInteger("  -2147483648"), INT32_MIN);
    EXPECT_EQ(ParseInteger("+2147483647"), INT32_MAX);
    for (const char* bad : {"", " ", "-", "1 ", "0x10", "2147483648", "99999999999999999999"})
        EXPECT_THROW(ParseInteger(bad), Exception) << '"' << bad << '"';
}

TEST(ConfigDirOption, TakenOutOfTheArguments)
{
    TempDir dir;
    const std::vector<std::string> args = {"--check", "--config-dir", dir.path(), "--verbose"};
    EXPECT_EQ(TakeConfigDirOption(args), (std::vector<std::string>{"--check", "--verbose"}));
    EXPECT_EQ(SettingsFilePath(), dir.path() + "Tolmu.ini");
    EXPECT_EQ(TakeConfigDirOption({"--config-dir=" + dir.path() + "sub"}), std::vector<std::string>{});
    EXPECT_EQ(AccountsFilePath(), dir.path() + "sub/Accounts.ini");

    const std::vector<std::string> bad[] = {
        {"--config-dir"}, {"--config-dir="}, {"--config-dir", ""}, {"--config-dir", "a", "--config-dir", "b"},
    };
    for (const auto& b : bad)
        EXPECT_THROW(TakeConfigDirOption(b), Exception);
    SetConfigDir("");
    EXPECT_EQ(ConfigDir(), ProgramDir());
}

// Where the settings live without --config-dir: a folder holding Tolmu.ini
// (a build tree, a carried set-up) keeps them; an install, or a program
// folder the user cannot write, sends them to the per-user folder.
TEST(ConfigDirChoice, ProgramFolderOrPerUserFolder)
{
    TempDir program;
    TempDir withIni;
    writeFile(withIni.path() + "Tolmu.ini", "current_skin = skins/default/\r\n");
    const std::string data = "/usr/share/tolmu/";
    struct Row {
        std::string programDir, dataDir;
        bool writable;
        const char *xdg, *home;
        std::string want;
    } rows[] = {
        {withIni.path(), data, false, "/x", "/h", withIni.path()}, // Tolmu.ini beside the program wins
        {program.path(), "", true, "/x", "/h", program.path()},    // a build tree
        {program.path(), data, true, "/x", "/h", "/x/tolmu/"},     // installed, even when writable (root)
        {program.path(), "", false, "/x/", "/h", "/x/tolmu/"},     // not writable
        {program.path(), data, false, nullptr, "/h", "/h/.config/tolmu/"},
        {program.path(), data, false, "", "/h", "/h/.config/tolmu/"},
        {program.path(), data, false, "rel", "/h", "/h/.config/tolmu/"}, // relative: ignored
        {program.path(), data, false, nullptr, nullptr, ""},
        {program.path(), data, false, nullptr, "", ""},
    };
    for (const Row& r : rows)
        EXPECT_EQ(DefaultConfigDir(r.programDir, r.dataDir, r.writable, r.xdg, r.home), r.want)
            << r.programDir << " " << r.dataDir << " " << (r.xdg ? r.xdg : "(unset)");
}

// A set-up in a scratch directory: Tolmu.ini, Accounts.ini with a store
// over it, and the loader state reset as the main window resets it before
// each load.
class Store : public testing::Test {
protected:
    void SetUp() override
    {
        SetConfigDir(m_dir.path());
        SkinPreview.clear();
    }
    void TearDown() override { SetConfigDir(""); }

    void tolmuIni(const std::string& content) { writeFile(m_dir.path() + "Tolmu.ini", content); }
    void accountsIni(const std::string& content) { writeFile(m_dir.path() + "Accounts.ini", content); }

    TLoadState load()
    {
        TLoadState state;
        state.FirstActiveIndex = 7;
        LoadSettingsAndAccounts(state, accounts);
        return state;
    }

    TempDir m_dir;
    TAccountStore accounts{m_dir.path()};
};

std::string section(int n, const std::string& name, const std::string& extra = "")
{
    return "\r\n[Account" + std::to_string(n) + "]\r\nacc_name = " + name +
           "\r\nhost_name = h" + std::to_string(n) + "\r\nuser_name = u\r\npassword = " +
           ScramblePassword("pw") + "\r\n" + extra;
}

struct AccountCase {
    const char* name;
    std::string file;
    std::vector<std::string> names; // loaded accounts in order
    bool hasActive;
    int currentAccount;
    int firstActive;
};

TEST_F(Store, AccountStage)
{
    std::string eleven;
    for (int n = 1; n <= 11; ++n)
        eleven += section(n, "a" + std::to_string(n));
    const AccountCase cases[] = {
        {"a gap in the numbers is skipped", section(1, "one") + section(3, "three"), {"one", "three"}, true, 1, 1},
        {"empty host kept as unusable, next still read",
         "\r\n[Account1]\r\nacc_name = x\r\nhost_name =\r\nuser_name = u\r\npassword = " + ScramblePassword("p") +
             "\r\n" + section(2, "two"),
         {"x", "two"}, true, 1, 1},
        {"host of one blank loads",
         "\r\n[Account1]\r\nacc_name = x\r\nhost_name = \r\nuser_name = u\r\npassword = " + ScramblePassword("p") + "\r\n",
         {"x"}, true, 1, 1},
        {"inactive 1 skipped for first active", section(1, "a", "inactive = 1\r\n") + section(2, "b", "inactive = yes\r\n"),
         {"a", "b"}, true, 2, 2},
        {"true and 2 leave it active", section(1, "a", "inactive = true\r\n") + section(2, "b", "inactive = 2\r\n"),
         {"a", "b"}, true, 1, 1},
        {"eleventh section never read", eleven,
         {"a1", "a2", "a3", "a4", "a5", "a6", "a7", "a8", "a9", "a10"}, true, 1, 1},
        {"all inactive", section(1, "a", "inactive = 1\r\n") + section(2, "b", "inactive = 1\r\n"), {"a", "b"}, false, 3, 7},
        {"empty file", "", {}, false, 2, 7},
        {"LF-only file is one line", "\n[Account1]\nacc_name = a\nhost_name = h\nuser_name = u\npassword = xx\n", {}, false, 2, 7},
        {"acc_name none is kept as unusable", section(1, "none") + section(2, "b"), {"[Account1]", "b"}, true, 1, 1},
    };
    tolmuIni("current_skin = /s/\r\n");
    for (const AccountCase& c : cases) {
        accountsIni(c.file);
        const TLoadState state = load();
        ASSERT_EQ(accounts.Count(), static_cast<int>(c.names.size())) << c.name;
        for (std::size_t i = 0; i < c.names.size(); ++i)
            EXPECT_EQ(accounts.Account(static_cast<int32_t>(i) + 1).AccName, c.names[i]) << c.name;
        EXPECT_EQ(state.HasActiveAccount, c.hasActive) << c.name;
        EXPECT_EQ(state.CurrentAccount, c.currentAccount) << c.name;
        EXPECT_EQ(state.FirstActiveIndex, c.firstActive) << c.name;
    }
}

TEST_F(Store, AccountFieldsAndCaptures)
{
    tolmuIni("current_skin = /s/\r\n");
    // No password line: "none" is unscrambled like a stored value. A name
    // containing "password" makes the password lookup take the name line.
    accountsIni("\r\n[Account1]\r\nacc_name = my password box\r\nhost_name = h\r\nuser_name = u\r\n"
                "password = " + ScramblePassword("secret") + "\r\n"
                "\r\n[Account2]\r\nacc_name = a\r\nhost_name = h\r\nuser_name = none\r\nport_number = 995\r\n");
    load();
    ASSERT_EQ(accounts.Count(), 2);
    EXPECT_EQ(accounts.Account(1).Password, UnscramblePassword("my password box"));
    EXPECT_EQ(accounts.Account(1).PortNumber, 110); // never from the next account's block
    EXPECT_EQ(accounts.Account(2).UserName, "none");
    EXPECT_EQ(accounts.Account(2).Password, UnscramblePassword("none"));
    EXPECT_EQ(accounts.Account(2).PortNumber, 995);
}

TEST_F(Store, KeysMissingFromABlockAreNeverTheNextAccounts)
{
    tolmuIni("current_skin = /s/\r\n");
    const std::string second = "\r\n[Account2]\r\nacc_name = b\r\nhost_name = b.example\r\nuser_name = ub\r\npassword = "
        + ScramblePassword("b-secret") + "\r\nport_number = 995\r\ninactive = 1\r\n";
    accountsIni("\r\n[Account1]\r\nacc_name = a\r\nuser_name = ua\r\n" + second);
    load();
    ASSERT_EQ(accounts.Count(), 2);
    const TPOPAcc& a = accounts.Account(1);
    EXPECT_EQ(a.HostName, "none");
    EXPECT_EQ(a.Password, UnscramblePassword("none"));
    EXPECT_EQ(a.PortNumber, 110);
    EXPECT_FALSE(a.Inactive);
    EXPECT_EQ(accounts.Account(2).Password, "b-secret");
    // A port outside 1..65535 loads as written; connecting refuses it.
    accountsIni("\r\n[Account1]\r\nacc_name = a\r\nhost_name = h\r\nuser_name = ua\r\npassword = x\r\n"
                "port_number = 87941\r\n" + second);
    load();
    EXPECT_EQ(accounts.Account(1).PortNumber, 87941);
}

TEST_F(Store, BadPortStopsTheLoadKeepingEarlierAccounts)
{
    tolmuIni("current_skin = /s/\r\nminutes = 9\r\n");
    accountsIni(section(1, "a", "port_number = 110\r\n") + section(2, "b", "port_number = 11O\r\n"));
    Settings.Minutes = 3;
    try {
        load();
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "'11O' is not a valid integer value");
    }
    EXPECT_EQ(accounts.Count(), 1);
    EXPECT_EQ(Settings.Minutes, 3); // options come after the accounts
}

// The options as one line, so a table row states all of them at once.
std::string describe(const TSettings& s, const TLoadState& state)
{
    const auto b = [](bool f) { return f ? '1' : '0'; };
    return std::string{b(s.AutoCheck), b(s.AutoConnect), b(s.HeaderOnly), b(s.OnTop), b(state.OnTopChecked),
                       b(s.PlaySnd), b(s.IconTray), b(s.RunMyClient)} +
           " " + std::to_string(s.Minutes) + " " + std::to_string(s.PosX) + " " + std::to_string(s.PosY) + " [" +
           s.WavSnd + "] [" + s.MyMailClient + "] [" + s.SkinDir + "] " + CurrentSkinDir;
}

TEST_F(Store, SettingsStage)
{
    const std::pair<std::string, std::string> cases[] = {
        {"current_skin = /s\r\n", "00000000 1 10 10 [none] [none] [none] /s/"},
        {"current_skin = /s/\r\nautocheck =1\r\nautoconnect =1\r\nheader_only =1\r\nontop =1\r\nminutes = 15\r\n"
         "posX = -20\r\nposY = 300\r\nplaysnd =1\r\nwavsnd = /snd/new.wav\r\nicon_tray =1\r\nrun_my_client =1\r\n"
         "my_mail_client = mutt,-f x\r\nskin_dir = /skins/\r\n",
         "11111111 15 -20 300 [/snd/new.wav] [mutt,-f x] [/skins/] /s/"},
        // "autocheck = 1" reads "1"; "1 " and "true" are not "1".
        {"current_skin = /s/\r\nautocheck = 1\r\nontop =1 \r\nplaysnd =true\r\nwavsnd = \r\n",
         "10000000 1 10 10 [ ] [none] [none] /s/"},
        {"current_skin = skins/x\r\n", "00000000 1 10 10 [none] [none] [none] " + m_dir.path() + "skins/x/"},
    };
    for (const auto& [file, expected] : cases) {
        tolmuIni(file);
        const TLoadState state = load();
        EXPECT_EQ(describe(Settings, state), expected) << file;
    }
}

TEST_F(Store, PreviewKeepsTheSkinDirectory)
{
    tolmuIni("autocheck =1\r\n"); // no current_skin: would be fatal without the preview
    SkinPreview = "test";
    CurrentSkinDir = "/chosen/";
    load();
    EXPECT_EQ(CurrentSkinDir, "/chosen/");
    EXPECT_TRUE(Settings.AutoCheck);
    SkinPreview.clear();
}

TEST_F(Store, FatalSettingsProblemsCreateNothing)
{
    const std::pair<std::string, const char*> cases[] = {
        {"autocheck =1\r\n", "TOLMU.INI not found !\n\nCreate an Tolmu.ini file with the line  : \ncurrent_skin=your skin dir."},
        {"current_skin =\r\n", "TOLMU.INI not found"},
        {"current_skin =   \r\n", "TOLMU.INI not found"},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        tolmuIni(cases[i].first);
        EXPECT_EXIT(load(), testing::ExitedWithCode(1), cases[i].second) << cases[i].first;
    }
    std::filesystem::remove(m_dir.path() + "Tolmu.ini");
    EXPECT_EXIT(load(), testing::ExitedWithCode(1), "SKIN PATH not found !");
    EXPECT_TRUE(std::filesystem::is_empty(m_dir.path()));
}

TEST_F(Store, AccountsFileByteForByteAndBack)
{
    std::string printable;
    for (int c = 32; c <= 126; ++c)
        printable.push_back(static_cast<char>(c));
    // The stored form of printable ASCII differs in every byte and holds no
    // character that the scanner treats specially.
    const std::string stored = ScramblePassword(printable);
    for (std::size_t i = 0; i < printable.size(); ++i)
        EXPECT_NE(stored[i], printable[i]);
    EXPECT_EQ(stored.find_first_of("=; \r\n\x1a"), std::string::npos);
    EXPECT_EQ(ScramblePassword("A"), "z"); // 2 * 65 - 8

    accounts.Add({"Home", "pop.example.org", "me", printable, false, 110});
    accounts.Add({"Work", "10.0.0.1", "boss", "x", true, 995});
    const std::string expected = "\r\n[Account1]\r\nacc_name = Home\r\nhost_name = pop.example.org\r\nuser_name = me\r\n"
                                 "password = " + ScramblePassword(printable) + "\r\nport_number = 110\r\ninactive = 0\r\n"
                                 "\r\n[Account2]\r\nacc_name = Work\r\nhost_name = 10.0.0.1\r\nuser_name = boss\r\n"
                                 "password = " + ScramblePassword("x") + "\r\nport_number = 995\r\ninactive = 1\r\n";
    EXPECT_EQ(readFile(AccountsFilePath()), expected);
    struct stat st {};
    ASSERT_EQ(::stat(AccountsFilePath().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    tolmuIni("current_skin = /s/\r\n");
    load();
    ASSERT_EQ(accounts.Count(), 2);
    EXPECT_EQ(accounts.Account(1).Password, printable);
    EXPECT_EQ(accounts.Account(2).AccName, "Work");
    EXPECT_TRUE(accounts.Account(2).Inactive);
    EXPECT_EQ(accounts.Account(2).PortNumber, 995);

    TAccountStore(m_dir.path()).Write();
    EXPECT_EQ(readFile(AccountsFilePath()), "");
    load();
    EXPECT_EQ(accounts.Count(), 0);
    // Only the two files and the accounts' companion: no temporary file left behind.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_dir.path()), {}), 3);
}

TEST_F(Store, EveryPasswordByteTheLoaderCanProduceComesBack)
{
    // A hand-edited Accounts.ini may hold any stored byte; what it loads as
    // must survive the next write of the table, or one account would block
    // every later change.
    std::string password;
    for (int c = 131; c >= 4; --c)
        if (c != 9 && c != 17) // these two would end the line or the file
            password.push_back(static_cast<char>(c));
    accounts.Add({"Home", "h", "u", password, false, 110});
    tolmuIni("current_skin = /s/\r\n");
    load();
    ASSERT_EQ(accounts.Count(), 1);
    EXPECT_EQ(accounts.Account(1).Password, password);
    accounts.Write();
}

TEST_F(Store, UnsafeAccountTextsAreRefusedAndTheFileKept)
{
    accountsIni("old");
    const TPOPAcc bad[] = {
        {"a\r[Account2]", "h", "u", "p", false, 110},
        {"a", "h", "u\x1a", "p", false, 110},
        {"a", "h", "u", "caf\xC3\xA9", false, 110},
        {"a", "h", "u", "tab\there", false, 110},
        {"a", "h", "u", std::string(256, 'p'), false, 110},
        {"a", "h", "u", "x\x11", false, 110}, // stored as byte 26, the end of the file
        {"a", "h", "u", "\x14x", false, 110}, // stored as a leading blank, which the scanner trims
        {"a", "h", "u", "x\x03", false, 110}, // below 4: does not come back
        {"a", "h", "u", "x\x84", false, 110}, // above 131: does not come back
    };
    for (const TPOPAcc& acc : bad) {
        EXPECT_THROW(accounts.Add(acc), Exception);
        EXPECT_EQ(accounts.Count(), 0);
        EXPECT_EQ(readFile(AccountsFilePath()), "old");
    }
}

// Each change of the store is in Accounts.ini at once (a second store over
// the folder reads exactly what the first holds), and one that names no
// account or would overfill the store throws, leaving store and file as
// they were.
TEST_F(Store, StoreChangesReachTheFileAtOnceAndRefusedOnesChangeNothing)
{
    const auto account = [](int n, bool inactive = false) {
        return TPOPAcc{"a" + std::to_string(n), "h" + std::to_string(n), "u", "pw" + std::to_string(n), inactive,
                       100 + n};
    };
    const auto names = [](const TAccountStore& s) {
        std::vector<std::string> out;
        for (int32_t i = 1; i <= s.Count(); ++i) {
            const TPOPAcc& a = s.Account(i);
            out.push_back(a.AccName + "/" + a.HostName + "/" + a.Password + "/" + std::to_string(a.PortNumber)
                          + (a.Inactive ? "/off" : ""));
        }
        return out;
    };
    struct Row {
        const char* what;
        int before; // accounts in the store first
        std::function<void(TAccountStore&)> change;
        bool refused;
        std::vector<std::string> after; // when accepted
    } rows[] = {
        {"add to an empty store", 0, [&](TAccountStore& s) { s.Add(account(1)); }, false, {"a1/h1/pw1/101"}},
        {"add the tenth", 9, [&](TAccountStore& s) { s.Add(account(10)); }, false, {}},
        {"add an eleventh", 10, [&](TAccountStore& s) { s.Add(account(11)); }, true, {}},
        {"modify the last, active state included", 2, [&](TAccountStore& s) { s.Modify(2, account(7, true)); },
         false, {"a1/h1/pw1/101", "a7/h7/pw7/107/off"}},
        {"modify one past the last", 2, [&](TAccountStore& s) { s.Modify(3, account(7)); }, true, {}},
        {"modify account 0", 2, [&](TAccountStore& s) { s.Modify(0, account(7)); }, true, {}},
        {"remove the first: the others move up", 3, [](TAccountStore& s) { s.Remove(1); }, false,
         {"a2/h2/pw2/102", "a3/h3/pw3/103"}},
        {"remove one past the last", 3, [](TAccountStore& s) { s.Remove(4); }, true, {}},
        {"switch the last off", 2, [](TAccountStore& s) { s.SetInactive(2, true); }, false,
         {"a1/h1/pw1/101", "a2/h2/pw2/102/off"}},
        {"switch one past the last", 2, [](TAccountStore& s) { s.SetInactive(3, true); }, true, {}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        TAccountStore fresh(m_dir.path());
        fresh.Write();
        for (int n = 1; n <= r.before; ++n)
            fresh.Add(account(n));
        const std::vector<std::string> before = names(fresh);
        const std::string file = readFile(AccountsFilePath());
        if (r.refused) {
            EXPECT_THROW(r.change(fresh), Exception);
            EXPECT_EQ(names(fresh), before);
            EXPECT_EQ(readFile(AccountsFilePath()), file);
            continue;
        }
        r.change(fresh);
        if (!r.after.empty())
            EXPECT_EQ(names(fresh), r.after);
        TAccountStore reader(m_dir.path());
        reader.Load();
        EXPECT_EQ(names(reader), names(fresh));
    }
}

// Writes both files with a file size limit that makes every write of more
// than a few bytes fail, as a full disk would; ends the process with 0 when
// both writers threw and the old files and nothing else remain.
[[noreturn]] void writeUnderSizeLimit(const std::string& dir)
{
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{16, 16};
    setrlimit(RLIMIT_FSIZE, &limit);
    TAccountStore accounts(dir);
    bool accountsThrew = false;
    bool settingsThrew = false;
    try {
        accounts.Add({"Home", "pop.example.org", "me", "pw", false, 110});
    } catch (const Exception&) {
        accountsThrew = true;
    }
    try {
        WriteSettingsFile("/s/", true, true, true, true, 5, 1, 2, true, "", true, true, "", "");
    } catch (const Exception&) {
        settingsThrew = true;
    }
    const bool kept = readFile(AccountsFilePath()) == "old accounts" && readFile(SettingsFilePath()) == "old settings";
    const auto files = std::distance(std::filesystem::directory_iterator(dir), {});
    std::exit(accountsThrew && settingsThrew && kept && files == 2 ? 0 : 3);
}

TEST_F(Store, FailedWriteLeavesTheOldFile)
{
    accountsIni("old accounts");
    tolmuIni("old settings");
    EXPECT_EXIT(writeUnderSizeLimit(m_dir.path()), testing::ExitedWithCode(0), "");
}

// What stands at the name of a file we rewrite, for each of our three
// writers: only that name ever changes, and only to a regular file.
TEST_F(Store, RewritesReplaceOnlyTheirOwnNameAndOnlyARegularFile)
{
    namespace fs = std::filesystem;
    TempDir elsewhere;
    const std::string outside = elsewhere.path() + "outside.txt";
    const std::string device = elsewhere.path() + "null"; // a copy of /dev/null
    const bool root = ::geteuid() == 0;
    struct Writer {
        const char* name;
        std::string path;
        std::function<void()> write;
    } writers[] = {
        {"Tolmu.ini", SettingsFilePath(),
         [] { WriteSettingsFile("/s/", false, false, false, false, 1, 10, 10, false, "", false, false, "", ""); }},
        {"Accounts.ini", AccountsFilePath(),
         [this] {
             // Its companion is written first, and is not the name under test.
             try {
                 accounts.Write();
             } catch (...) {
                 std::filesystem::remove(accounts.ExtraPath());
                 throw;
             }
             std::filesystem::remove(accounts.ExtraPath());
         }},
        {"AccountsExtra.ini", accounts.ExtraPath(), [this] { WriteAccountsExtra({}, accounts.ExtraPath()); }},
        {"seen-ids", m_dir.path() + "seen-ids", [this] { TSeenIds().Save(m_dir.path() + "seen-ids"); }},
    };
    struct Row {
        const char* name;
        std::function<void(const std::string& at)> make;
        bool written;     // the name then holds a regular file of ours
        bool needsRoot;   // mknod
    } rows[] = {
        {"link to a file in another folder", [&](const std::string& at) { fs::create_symlink(outside, at); }, true, false},
        {"link to a device", [&](const std::string& at) { fs::create_symlink(device, at); }, true, true},
        {"dangling link", [&](const std::string& at) { fs::create_symlink(elsewhere.path() + "none", at); }, true, false},
        {"device node", [](const std::string& at) { ASSERT_EQ(::mknod(at.c_str(), S_IFCHR | 0666, ::makedev(1, 3)), 0); },
         false, true},
        {"FIFO", [](const std::string& at) { ASSERT_EQ(::mkfifo(at.c_str(), 0600), 0); }, false, false},
        {"folder", [](const std::string& at) { fs::create_directory(at); }, false, false},
    };
    for (const Writer& w : writers) {
        for (const Row& r : rows) {
            SCOPED_TRACE(std::string(w.name) + ": " + r.name);
            if (r.needsRoot && !root)
                continue; // mknod needs root
            writeFile(outside, "theirs");
            ::chmod(outside.c_str(), 0644);
            if (root) {
                fs::remove(device);
                ASSERT_EQ(::mknod(device.c_str(), S_IFCHR | 0666, ::makedev(1, 3)), 0);
            }
            fs::remove_all(w.path);
            r.make(w.path);
            if (r.written) {
                EXPECT_NO_THROW(w.write());
                EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(w.path)));
            } else {
                EXPECT_THROW(w.write(), Exception);
                EXPECT_FALSE(fs::is_regular_file(fs::symlink_status(w.path)));
            }
            EXPECT_EQ(readFile(outside), "theirs");
            EXPECT_EQ(fs::status(outside).permissions() & fs::perms::all, fs::perms(0644));
            if (root) {
                EXPECT_TRUE(fs::is_character_file(device));
            }
            EXPECT_FALSE(fs::exists(elsewhere.path() + "none"));
            fs::remove_all(w.path);
        }
        // Nothing but the rewritten names ever appears beside them.
        EXPECT_EQ(std::distance(fs::directory_iterator(m_dir.path()), {}), 0) << w.name;
    }
}

// Tolmu.ini goes only into a settings folder that passes the start's
// check, also when the folder changed hands after the start or was never
// checked: one others may write to (or own) is left untouched.
TEST_F(Store, SettingsAreWrittenOnlyIntoAFolderOfTheUsersOwn)
{
    namespace fs = std::filesystem;
    const std::string dir = m_dir.path();
    struct Row {
        const char* name;
        std::function<void()> make;
        const char* error; // the start of the refusal, "" : written
        bool needsRoot;    // chown to another user
    } rows[] = {
        {"ours", [] {}, "", false},
        {"group-writable, ours", [&] { fs::permissions(dir, fs::perms(0770)); }, "", false},
        {"writable by everyone", [&] { fs::permissions(dir, fs::perms(0777)); }, "bad permissions", false},
        {"sticky and writable by everyone", [&] { fs::permissions(dir, fs::perms(01777)); }, "bad permissions", false},
        {"another user's", [&] { ASSERT_EQ(::chown(dir.c_str(), 65534, 65534), 0); }, "bad owner", true},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        if (r.needsRoot && ::geteuid() != 0)
            continue;
        r.make();
        std::string error;
        try {
            WriteSettingsFile("/s/", false, false, false, false, 1, 10, 10, false, "", false, false, "", "");
        } catch (const Exception& e) {
            error = e.what();
        }
        EXPECT_EQ(error.rfind(r.error, 0), 0u) << error;
        EXPECT_EQ(fs::exists(SettingsFilePath()), *r.error == '\0');
        ASSERT_EQ(::chown(dir.c_str(), ::geteuid(), ::getegid()), 0);
        fs::permissions(dir, fs::perms(0700));
        fs::remove(SettingsFilePath());
    }
}

// The settings a new user starts with check by themselves: connected at
// start, every 5 minutes.
TEST_F(Store, TheFirstRunSettingsCheckWithoutConnect)
{
    tolmuIni(readFile(std::string(TOLMU_SOURCE_DIR) + "/assets/Tolmu.ini"));
    accountsIni("");
    load();
    EXPECT_TRUE(Settings.AutoConnect);
    EXPECT_TRUE(Settings.AutoCheck);
    EXPECT_EQ(Settings.Minutes, 5);
}

TEST_F(Store, SettingsFileByteForByteAndBack)
{
    WriteSettingsFile(m_dir.path() + "skins/blue/", true, false, true, false, 25, -4, 700, true, "/snd/a.wav",
                      false, true, "/usr/bin/mutt,-y", "/home/u/skins/");
    const std::string expected = "current_skin = skins/blue/\r\nautocheck =1\r\nautoconnect =0\r\nheader_only =1\r\n"
                                 "ontop =0\r\nminutes = 25\r\nposX = -4\r\nposY = 700\r\nplaysnd =1\r\n"
                                 "wavsnd = /snd/a.wav\r\nicon_tray =0\r\nrun_my_client =1\r\n"
                                 "my_mail_client = /usr/bin/mutt,-y\r\nskin_dir = /home/u/skins/\r\n";
    EXPECT_EQ(readFile(SettingsFilePath()), expected);

    accountsIni("");
    load();
    EXPECT_EQ(CurrentSkinDir, m_dir.path() + "skins/blue/");
    EXPECT_TRUE(Settings.AutoCheck);
    EXPECT_FALSE(Settings.AutoConnect);
    EXPECT_EQ(Settings.Minutes, 25);
    EXPECT_EQ(Settings.PosX, -4);
    EXPECT_EQ(Settings.PosY, 700);
    EXPECT_EQ(Settings.MyMailClient, "/usr/bin/mutt,-y");

    // A skin outside the settings directory stays as given.
    WriteSettingsFile("/opt/skins/red/", false, false, false, true, 1, 10, 10, false, "", false, false, "", "");
    EXPECT_EQ(readFile(SettingsFilePath()).substr(0, 33), "current_skin = /opt/skins/red/\r\na");
}

} // namespace

namespace {

using Sec = std::optional<TSecurity>;

// Each account's security from AccountsExtra.ini: kept with the account,
// found by name when the file's order is not the table's; an entry that
// cannot be read makes its account unusable with the line's reason, and a
// file that cannot be read or trusted as a whole every account it may
// cover: never weaker than what the file says.
TEST_F(Store, AccountsExtraGivesEachAccountItsSecurityOrFailsClosed)
{
    struct Row {
        const char* name;
        std::optional<std::string> file; // nullopt: no file
        std::vector<Sec> expected;        // accounts A, B, C
        std::vector<const char*> broken;  // found in each one's Broken ("" : usable)
        const char* warning = "";         // found in the store's ExtraWarning() ("" : none at all)
        bool unusable = false;            // changes are refused until the file is mended
    };
    const std::string head = "; Tolmu\r\n";
    const std::string fine = "";
    const std::string big = head + std::string(70 * 1024, ';') + "\r\n";
    const Row rows[] = {
        {"missing file", std::nullopt, {Sec{}, Sec{}, Sec{}}, {"", "", ""}, "AccountsExtra.ini not found"},
        {"empty file", "", {Sec{}, Sec{}, Sec{}}, {"", "", ""}},
        {"in place, LF lines and any case",
         head + "[account1]\nACC_NAME = A\nsecurity = TLS-Required\n[Account3]\nacc_name = C\nsecurity = unencrypted\n",
         {TSecurity::TlsRequired, Sec{}, TSecurity::Unencrypted}, {"", "", ""}},
        {"moved entries found by name",
         head + "[Account1]\r\nacc_name = C\r\nsecurity = tls-first-byte\r\n"
                "[Account3]\r\nacc_name = A\r\nsecurity = tls-required\r\n",
         {TSecurity::TlsRequired, Sec{}, TSecurity::TlsFirstByte}, {"", "", ""}},
        {"entry of an account no longer there", head + "[Account2]\r\nacc_name = Gone\r\nsecurity = unencrypted\r\n",
         {Sec{}, Sec{}, Sec{}}, {"", "", ""}},
        {"keys of later copies are skipped",
         head + "[Account2]\r\nacc_name = B\r\nsign_in = oauth2\r\nsecurity = tls-required\r\nfolders = INBOX\r\n",
         {Sec{}, TSecurity::TlsRequired, Sec{}}, {"", "", ""}},
        {"misspelt value",
         head + "[Account1]\r\nacc_name = A\r\nsecurity = tls-requried\r\n"
                "[Account2]\r\nacc_name = B\r\nsecurity = tls-when-offered\r\n",
         {Sec{}, TSecurity::TlsWhenOffered, Sec{}},
         {"AccountsExtra.ini line 4: 'tls-requried' is not a security choice", "", ""}},
        {"doubled equals sign", head + "[Account2]\r\nacc_name = B\r\nsecurity == tls-required\r\n",
         {Sec{}, Sec{}, Sec{}}, {"", "line 4: '= tls-required' is not a security choice", ""}},
        {"a key one byte off", head + "[Account3]\r\nacc_name = C\r\nsecur1ty = unencrypted\r\n",
         {Sec{}, Sec{}, Sec{}}, {"", "", "line 4: \"secur1ty = unencrypted\" cannot be read"}},
        {"a line break turned into a letter",
         head + "[Account2]\r\nacc_name = B\r\nsecurity = tls-when-offered\rwtls_offered = yes\r\n",
         {Sec{}, Sec{}, Sec{}}, {"", "line 5: \"wtls_offered = yes\" cannot be read", ""}},
        {"a key split by a damaged byte",
         head + "[Account2]\r\nacc_name = B\r\ntl=_offered = yes\r\nsecurity = tls-when-offered\r\n",
         {Sec{}, Sec{}, Sec{}}, {"", "line 4: \"tl=_offered = yes\" cannot be read", ""}},
        {"a setting turned into a comment", head + "[Account3]\r\nacc_name = C\r\n;ecurity = tls-required\r\n",
         {Sec{}, Sec{}, Sec{}}, {"", "", "line 4"}},
        {"a line without an equals sign",
         head + "[Account2]\r\nno equals sign\r\nacc_name = B\r\nsecurity = tls-required\r\n",
         {Sec{}, Sec{}, Sec{}}, {"", "line 3: \"no equals sign\" cannot be read", ""}},
        {"a lone CR inside a value is a line break",
         head + "[Account3]\r\nacc_name = C\r\nsign_in = oauth2\r\nclient_id = ab\rcd\r\n",
         {Sec{}, Sec{}, Sec{}}, {"", "", "line 6: \"cd\" cannot be read"}},
        {"section without a name fails the account at its place",
         head + "[Account1]\r\nsecurity = unencrypted\r\n", {Sec{}, Sec{}, Sec{}},
         {"line 2: [Account1] has no acc_name", "", ""}},
        {"damaged header naming its account",
         head + "[Account 1]\r\nacc_name = A\r\nsecurity = tls-required\r\n[Account2]\r\nacc_name = B\r\nsecurity = "
                "unencrypted\r\n",
         {Sec{}, TSecurity::Unencrypted, Sec{}}, {"line 2: \"[Account 1]\" is no account section", "", ""}, "", true},
        {"damaged header without a name fails every account without an entry",
         head + "[Acc\xffunt1]\r\nsecurity = tls-required\r\n[Account2]\r\nacc_name = B\r\nsecurity = unencrypted\r\n",
         {Sec{}, TSecurity::Unencrypted, Sec{}}, {"is no account section", "", "is no account section"}, "", true},
        {"a line outside every section", head + "garbage\r\n[Account2]\r\nacc_name = B\r\n",
         {Sec{}, Sec{}, Sec{}}, {"line 2: \"garbage\" cannot be read", "", "line 2"}, "", true},
        {"oversized file", big, {Sec{}, Sec{}, Sec{}},
         {"larger than 64 KiB", "larger than 64 KiB", "larger than 64 KiB"}, "", true},
    };
    tolmuIni("current_skin = /s/\r\n");
    accountsIni(section(1, "A") + section(2, "B") + section(3, "C"));
    const auto check = [&](const char* name, const std::vector<Sec>& expected, const std::vector<const char*>& broken,
                           const char* warning, bool unusable) {
        SCOPED_TRACE(name);
        const std::string before = readFile(AccountsFilePath());
        load();
        ASSERT_EQ(accounts.Count(), 3);
        for (int i = 1; i <= 3; ++i) {
            const TPOPAcc& acc = accounts.Account(i);
            EXPECT_EQ(acc.Security, expected[i - 1]) << "account " << i;
            if (*broken[i - 1])
                EXPECT_NE(acc.Broken.find(broken[i - 1]), std::string::npos) << i << ": " << acc.Broken;
            else
                EXPECT_EQ(acc.Broken, "") << "account " << i;
        }
        if (*warning)
            EXPECT_NE(accounts.ExtraWarning().find(warning), std::string::npos) << accounts.ExtraWarning();
        else
            EXPECT_EQ(accounts.ExtraWarning(), "");
        // A rewrite would lose what a damaged file says: it is refused.
        if (unusable) {
            EXPECT_THROW(accounts.SetInactive(2, true), Exception);
            EXPECT_EQ(readFile(AccountsFilePath()), before);
        }
        EXPECT_EQ(!accounts.ExtraUnusable().empty(), unusable);
    };
    for (const Row& r : rows) {
        std::filesystem::remove_all(accounts.ExtraPath());
        if (r.file)
            writeFile(accounts.ExtraPath(), *r.file);
        check(r.name, r.expected, r.broken, r.warning, r.unusable);
    }
    // Something that is no file, in its place: never waited on, never read.
    std::filesystem::remove_all(accounts.ExtraPath());
    ASSERT_EQ(::mkfifo(accounts.ExtraPath().c_str(), 0600), 0);
    check("FIFO", {Sec{}, Sec{}, Sec{}}, {"no regular file", "no regular file", "no regular file"}, "", true);
    std::filesystem::remove_all(accounts.ExtraPath());
    std::filesystem::create_directory(accounts.ExtraPath());
    check("folder", {Sec{}, Sec{}, Sec{}}, {"cannot be read", "cannot be read", "cannot be read"}, "", true);
    std::filesystem::remove_all(accounts.ExtraPath());
}

// An account that cannot be used is never dropped: every rewrite keeps its
// block of Accounts.ini and its companion entry as they stand, until the
// user mends it.
TEST_F(Store, UnusableAccountsSurviveEveryRewrite)
{
    tolmuIni("current_skin = /s/\r\n");
    const std::string keyringBlock = "acc_name = Vault\r\nhost_name = mail.example.org\r\nuser_name = me\r\n"
                                     "password = \r\nport_number = 995\r\ninactive = 0\r\n";
    struct Row {
        const char* name;
        std::string extra; // AccountsExtra.ini
        const char* broken;
    } rows[] = {
        {"damaged companion entry", "[Account1]\r\nacc_name = Vault\r\nsecret = keyrnig\r\n", "'keyrnig' is not a place"},
        {"companion entry missing", "; nothing\r\n", "has no password"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        accountsIni("\r\n[Account1]\r\n" + keyringBlock);
        writeFile(accounts.ExtraPath(), r.extra);
        load();
        ASSERT_EQ(accounts.Count(), 1);
        EXPECT_NE(accounts.Account(1).Broken.find(r.broken), std::string::npos) << accounts.Account(1).Broken;

        // Unrelated changes: an Add, a switch to inactive and back, a Remove.
        accounts.Add({"Other", "pop.example.org", "u", "pw", false, 995});
        accounts.SetInactive(1, true);
        accounts.SetInactive(1, false);
        accounts.Add({"Third", "pop.example.org", "u3", "pw", false, 995});
        accounts.Remove(2);
        const std::string ini = readFile(AccountsFilePath());
        EXPECT_EQ(ini.substr(0, 14 + keyringBlock.size()), "\r\n[Account1]\r\n" + keyringBlock) << ini;
        if (r.extra.front() == '[') {
            EXPECT_NE(readFile(accounts.ExtraPath()).find(r.extra), std::string::npos);
        }
        load();
        ASSERT_EQ(accounts.Count(), 2);
        EXPECT_EQ(accounts.Account(1).AccName, "Vault");
        EXPECT_NE(accounts.Account(1).Broken.find(r.broken), std::string::npos);
        EXPECT_EQ(accounts.Account(2).AccName, "Third");

        // Mended through the dialog's Modify: a whole record again.
        TPOPAcc mended = accounts.Account(1);
        mended.Password = "secret";
        accounts.Modify(1, mended);
        load();
        EXPECT_EQ(accounts.Account(1).Broken, "");
        EXPECT_EQ(accounts.Account(1).Password, "secret");
    }
}

// Two accounts of one name: where each keeps its password is read by its
// place, so the second never borrows the first one's keyring mark and
// signs in with an empty password.
TEST_F(Store, AccountsOfOneNameKeepTheirOwnPasswordPlace)
{
    tolmuIni("current_skin = /s/\r\n");
    accountsIni("\r\n[Account1]\r\nacc_name = Home\r\nhost_name = h\r\nuser_name = u\r\npassword = \r\n"
                "\r\n[Account2]\r\nacc_name = Home\r\nhost_name = h\r\nuser_name = u2\r\npassword = \r\n");
    writeFile(accounts.ExtraPath(), "[Account1]\r\nacc_name = Home\r\nsecret = keyring\r\n");
    load();
    ASSERT_EQ(accounts.Count(), 2);
    EXPECT_EQ(accounts.Account(1).SecretPlace, TPOPAcc::TSecretPlace::Keyring);
    EXPECT_EQ(accounts.Account(1).Broken, "");
    EXPECT_EQ(accounts.Account(2).SecretPlace, TPOPAcc::TSecretPlace::AccountsIni);
    EXPECT_NE(accounts.Account(2).Broken.find("[Account2] has no password"), std::string::npos);
}

// Written with Accounts.ini from the table, so a security follows its
// account when another is removed or the order changes.
TEST_F(Store, AccountsExtraFollowsTheAccountsThroughRewrites)
{
    tolmuIni("current_skin = /s/\r\n");
    const Sec choices[] = {TSecurity::TlsRequired, Sec{}, TSecurity::Unencrypted, TSecurity::TlsFirstByte};
    for (int i = 0; i < 4; ++i)
        accounts.Add({"acc" + std::to_string(i + 1), "h", "u", "pw", false, 110, choices[i]});
    // Accounts.ini itself stays the eight-line blocks older copies read.
    EXPECT_EQ(readFile(AccountsFilePath()).find("security"), std::string::npos);
    struct stat st {};
    ASSERT_EQ(::stat(accounts.ExtraPath().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    load();
    ASSERT_EQ(accounts.Count(), 4);
    for (int i = 1; i <= 4; ++i)
        EXPECT_EQ(accounts.Account(i).Security, choices[i - 1]) << i;

    // Remove the first, put the last in the second place: every choice
    // moves with its name.
    accounts.Remove(1);
    const TPOPAcc second = accounts.Account(1), last = accounts.Account(3);
    accounts.Modify(1, second);
    accounts.Modify(2, last);
    accounts.Remove(3);
    accounts.Add({"acc3", "h", "u", "pw", false, 110, TSecurity::Unencrypted});
    load();
    ASSERT_EQ(accounts.Count(), 3);
    EXPECT_EQ(accounts.Account(1).AccName, "acc2");
    EXPECT_EQ(accounts.Account(1).Security, Sec{});
    EXPECT_EQ(accounts.Account(2).Security, TSecurity::TlsFirstByte);
    EXPECT_EQ(accounts.Account(3).Security, TSecurity::Unencrypted);
    EXPECT_EQ(accounts.ExtraWarning(), "");

    // An older copy rewrote Accounts.ini alone, in another order: the names
    // still find their entries.
    accountsIni(section(1, "acc3") + section(2, "acc4") + section(3, "acc2"));
    load();
    EXPECT_EQ(accounts.Account(1).Security, TSecurity::Unencrypted);
    EXPECT_EQ(accounts.Account(2).Security, TSecurity::TlsFirstByte);
    EXPECT_EQ(accounts.Account(3).Security, Sec{});
}

} // namespace
