// SPDX-License-Identifier: GPL-3.0-or-later
// The dialog's plain rules: the Add and Modify checks with their messages in
// order, what Accounts.ini can hold (each accepted account read back from
// the file as typed, each refused one leaving the file byte for byte), the
// Options page's values and the trial of a chosen skin.
#include "core/accounts/AccountEdit.h"
#include "core/accounts/AccountsIni.h"
#include "core/settings/OptionsPage.h"
#include "core/settings/SkinCheck.h"
#include "skin/file/SkinFile.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using Shown = std::vector<std::string>;

class Edit : public testing::Test {
protected:
    void SetUp() override
    {
        SetConfigDir(m_dir.path());
        set({});
    }
    void TearDown() override { SetConfigDir(""); }

    void set(const std::vector<TPOPAcc>& list)
    {
        while (accounts.Count() > 0)
            accounts.Remove(accounts.Count());
        for (const TPOPAcc& acc : list)
            accounts.Add(acc);
        accounts.Write();
    }
    static std::vector<TPOPAcc> numbered(int count)
    {
        std::vector<TPOPAcc> list;
        for (int i = 1; i <= count; ++i)
            list.push_back({"a" + std::to_string(i), "h" + std::to_string(i), "u", "p", false, 110});
        return list;
    }
    std::string file() const { return readFile(m_dir.path() + "Accounts.ini"); }

    TempDir m_dir;
    TAccountStore accounts{m_dir.path()};
};

TAccountFields full(const std::string& name) { return {name, "pop.example.org", "me", "pw", "110"}; }

struct AddCase {
    const char* what;
    int existing; // accounts a1..aN before
    TAccountFields fields;
    Shown shown;
};

} // namespace

TEST_F(Edit, AddChecksInOrderAndAcceptedAccountsReadBackAsTyped)
{
    const std::string pw255(255, 'x');
    const AddCase cases[] = {
        {"all empty: only the fill message", 1, {"", "", "", "", ""}, {FillAllFields}},
        {"duplicate and no host: both, in order", 2, {"a2", "", "me", "pw", "110"}, {AccountExists, FillAllFields}},
        {"name differing in case only", 2, full("A2"), {}},
        {"eleventh account", 10, full("new"), {AccountsFull}},
        {"full table, duplicate: no full message", 10, full("a3"), {AccountExists}},
        {"empty port", 1, {"n", "h", "u", "p", ""}, {BadPort}},
        {"port with letters", 1, {"n", "h", "u", "p", "11o"}, {BadPort}},
        {"port 0", 1, {"n", "h", "u", "p", "0"}, {BadPort}},
        {"port 65536", 1, {"n", "h", "u", "p", "65536"}, {BadPort}},
        {"port far too long", 1, {"n", "h", "u", "p", "99999999999999"}, {BadPort}},
        {"negative port", 1, {"n", "h", "u", "p", "-110"}, {BadPort}},
        {"port with blanks around", 1, {"n", "h", "u", "p", " 995 "}, {}},
        {"port 65535", 1, {"n", "h", "u", "p", "65535"}, {}},
        {"password of 255 printable characters", 1, {"n", "h", "u", pw255, "110"}, {}},
        {"password of every printable character", 1, {"n", "h", "u", " !~\"#=;[]", "110"}, {}},
        {"password of 256", 1, {"n", "h", "u", pw255 + "x", "110"}, {"The password may hold at most 255 characters !"}},
        {"password with an accent", 1, {"n", "h", "u", "caf\xc3\xa9", "110"},
         {"The password may hold only printable ASCII characters (no accents, no control codes) !"}},
        {"password with a tab", 1, {"n", "h", "u", "a\tb", "110"},
         {"The password may hold only printable ASCII characters (no accents, no control codes) !"}},
        {"name with CR", 1, {"a\rb", "h", "u", "p", "110"},
         {"The name may not hold a line break or the character code 26 !"}},
        {"login with code 26", 1, {"n", "h", "u\x1a", "p", "110"},
         {"The login may not hold a line break or the character code 26 !"}},
        {"host holding a key word", 1, {"n", "pop.host_name.org", "u", "p", "110"},
         {"The host may not contain \"host_name\", a key word of Accounts.ini !"}},
        {"login holding a key word in capitals", 1, {"n", "h", "Inactive", "p", "110"},
         {"The login may not contain \"inactive\", a key word of Accounts.ini !"}},
        {"name like a section", 1, {"[Account2]", "h", "u", "p", "110"},
         {"The name may not contain \"[account\", a key word of Accounts.ini !"}},
        {"name none ends the list on reading", 1, {"none", "h", "u", "p", "110"},
         {"An account may not be named \"none\" !"}},
        {"name with a leading blank", 1, {" n", "h", "u", "p", "110"}, {"The name may not start with a blank !"}},
        {"name with = and ; inside", 1, {"home=work; mine", "h", "u", "p", "110"}, {}},
    };
    for (const AddCase& c : cases) {
        SCOPED_TRACE(c.what);
        set(numbered(c.existing));
        const std::string before = file();
        EXPECT_EQ(AddAccount(accounts, c.fields), c.shown);
        if (!c.shown.empty()) {
            EXPECT_EQ(accounts.Count(), c.existing);
            EXPECT_EQ(file(), before);
            continue;
        }
        ASSERT_EQ(accounts.Count(), c.existing + 1);
        accounts.Load();
        ASSERT_EQ(accounts.Count(), c.existing + 1);
        const TPOPAcc& back = accounts.Account(c.existing + 1);
        EXPECT_EQ(back.AccName, c.fields.Name);
        EXPECT_EQ(back.HostName, c.fields.Host);
        EXPECT_EQ(back.UserName, c.fields.Login);
        EXPECT_EQ(back.Password, c.fields.Password);
        EXPECT_EQ(back.PortNumber, *ParsePortText(c.fields.Port));
        EXPECT_FALSE(back.Inactive);
    }
}

TEST_F(Edit, ModifyKeepsItsOwnNameRefusesAnotherAndNeedsASelection)
{
    set(numbered(3));
    EXPECT_EQ(ModifyAccount(accounts, 2, {"a2", "new.host", "u2", "p2", "995"}, true), Shown{});
    EXPECT_EQ(accounts.Account(2).HostName, "new.host");
    EXPECT_TRUE(accounts.Account(2).Inactive);
    EXPECT_EQ(accounts.Account(2).PortNumber, 995);

    const std::string before = file();
    EXPECT_EQ(ModifyAccount(accounts, 2, full("a3"), false), Shown{AccountExists});
    EXPECT_EQ(ModifyAccount(accounts, 2, {"a1", "", "u", "p", "110"}, false), (Shown{AccountExists, FillAllFields}));
    EXPECT_EQ(ModifyAccount(accounts, 2, {"a2", "h", "u", "p", "port"}, false), Shown{BadPort});
    for (int none : {0, 4, -1})
        EXPECT_EQ(ModifyAccount(accounts, none, full("x"), false), Shown{}) << none;
    EXPECT_EQ(file(), before);
    EXPECT_EQ(accounts.Account(2).AccName, "a2");
    EXPECT_EQ(accounts.Account(1).AccName, "a1");
}

TEST_F(Edit, RemoveMovesLaterAccountsUpWholeAndWritesExactlyTheRest)
{
    auto list = numbered(3);
    list[2].Inactive = true;
    list[2].PortNumber = 995;
    set(list);
    ASSERT_TRUE(RemoveAccount(accounts, 2));
    EXPECT_EQ(accounts.Count(), 2);
    EXPECT_EQ(file(), "\r\n[Account1]\r\nacc_name = a1\r\nhost_name = h1\r\nuser_name = u\r\npassword = " +
                          ScramblePassword("p") + "\r\nport_number = 110\r\ninactive = 0\r\n"
                          "\r\n[Account2]\r\nacc_name = a3\r\nhost_name = h3\r\nuser_name = u\r\npassword = " +
                          ScramblePassword("p") + "\r\nport_number = 995\r\ninactive = 1\r\n");

    // The slot the inactive account left behind does not make a new one inactive.
    ASSERT_EQ(AddAccount(accounts, full("fresh")), Shown{});
    EXPECT_FALSE(accounts.Account(3).Inactive);

    set(numbered(10));
    ASSERT_TRUE(RemoveAccount(accounts, 10));
    EXPECT_EQ(accounts.Count(), 9);
    EXPECT_EQ(accounts.Account(9).AccName, "a9");
    const std::string before = file();
    EXPECT_FALSE(RemoveAccount(accounts, 0));
    EXPECT_FALSE(SetAccountInactive(accounts, 0, true));
    EXPECT_FALSE(SetAccountInactive(accounts, 10, true));
    EXPECT_EQ(file(), before);
}

TEST_F(Edit, InactiveIsWrittenAtOnceAndAFailedWriteLeavesTheTable)
{
    set(numbered(2));
    ASSERT_TRUE(SetAccountInactive(accounts, 2, true));
    accounts.Load();
    EXPECT_TRUE(accounts.Account(2).Inactive);
    EXPECT_FALSE(accounts.Account(1).Inactive);

    // Accounts.ini replaced by a folder: the write cannot land.
    std::filesystem::remove(m_dir.path() + "Accounts.ini");
    std::filesystem::create_directories(m_dir.path() + "Accounts.ini/x");
    EXPECT_THROW(AddAccount(accounts, full("lost")), std::exception);
    EXPECT_THROW(RemoveAccount(accounts, 1), std::exception);
    EXPECT_EQ(accounts.Count(), 2);
    EXPECT_EQ(accounts.Account(1).AccName, "a1");
}

TEST(OptionsPage, ShowsNoneEmptyHoldsMinutesAndWritesTheKeysOfOK)
{
    TempDir dir;
    SetConfigDir(dir.path());
    TSettings s;
    s.Minutes = 0;
    EXPECT_EQ(OptionsFromSettings(s, "/skins/a/").Minutes, 1);
    s.Minutes = 250;
    EXPECT_EQ(OptionsFromSettings(s, "/skins/a/").Minutes, 99);
    s.AutoConnect = true;
    s.PlaySnd = true;
    s.Minutes = 7;
    s.MyMailClient = "mutt,-y";
    const TOptionsPage page = OptionsFromSettings(s, "/skins/a/");
    EXPECT_EQ(page.SndFile, "");
    EXPECT_EQ(page.SkinRep, "");
    EXPECT_EQ(page.MailClient, "mutt,-y");

    WriteOptions(page, true, -5, 700);
    EXPECT_EQ(readFile(dir.path() + "Tolmu.ini"),
              "current_skin = /skins/a/\r\nautocheck =0\r\nautoconnect =1\r\nheader_only =0\r\nontop =1\r\n"
              "minutes = 7\r\nposX = -5\r\nposY = 700\r\nplaysnd =1\r\nwavsnd = \r\nicon_tray =0\r\n"
              "run_my_client =0\r\nmy_mail_client = mutt,-y\r\nskin_dir = \r\n");
    SetConfigDir("");
}

TEST(SkinTrial, RefusesWithTheLoadersTextsAndLeavesTheSkinInUse)
{
    TempDir dir;
    const std::string good = TOLMU_SOURCE_DIR "/assets/skins/default/";
    const std::string ini = readFile(good + "skin.ini");
    auto variant = [&](const std::string& name, const std::string& from, const std::string& to) {
        std::string text = ini;
        if (!from.empty())
            text.replace(text.find(from), from.size(), to);
        writeFile(dir.path() + name + "/skin.ini", text);
        return dir.path() + name + "/";
    };
    struct Case {
        const char* what;
        std::string dir;
        std::string problem;
    };
    const Case cases[] = {
        {"usable", good, ""},
        {"no such folder", dir.path() + "missing/",
         "SKIN PATH not found !\rCheck the TOLMU.INI line : current_skin = your skin dir."},
        {"no main background", variant("nomain", "main = back.bmp", "mian = back.bmp"),
         "Main Background not found in Skin.ini!\rsee section [Background] in Skin.ini, line : Main="},
        {"blank trailing a number", variant("number", "position = 102,52", "position = 102 ,52"),
         "'102 ' is not a valid integer value"},
    };
    CurrentSkinDir = "/kept/";
    SkinSettings.background.main = "/kept/back.bmp";
    NoMsgWindow = true;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const TSkinTry tried = TrySkin(c.dir);
        EXPECT_EQ(tried.problem, c.problem);
        if (c.problem.empty()) {
            EXPECT_EQ(tried.skin.background.main, c.dir + "back.bmp");
            EXPECT_FALSE(tried.noMsgWindow);
        }
        EXPECT_EQ(CurrentSkinDir, "/kept/");
        EXPECT_EQ(SkinSettings.background.main, "/kept/back.bmp");
        EXPECT_TRUE(NoMsgWindow);
    }
}

// A new account on another computer is proposed "TLS required"; this
// computer and an empty host keep the default, and the TLS port always
// starts with TLS.
TEST(ProposedSecurity, RemoteHostsRequireTlsAndTheTlsPortStartsWithIt)
{
    struct Row {
        const char* host;
        int32_t port;
        TSecurity proposed;
    } rows[] = {
        {"pop.example.org", 110, TSecurity::TlsRequired},
        {"192.0.2.7", 2110, TSecurity::TlsRequired},
        {"localhost.example.org", 110, TSecurity::TlsRequired},
        {"127.0.0.2", 110, TSecurity::TlsRequired},
        {"pop.example.org", 995, TSecurity::TlsFirstByte},
        {"127.0.0.1", 995, TSecurity::TlsFirstByte},
        {"pop.example.org", 995 + 65536, TSecurity::TlsFirstByte},
        {"127.0.0.1", 110, TSecurity::TlsWhenOffered},
        {"::1", 110, TSecurity::TlsWhenOffered},
        {"[::1]", 110, TSecurity::TlsWhenOffered},
        {"LocalHost", 110, TSecurity::TlsWhenOffered},
        {" localhost. ", 110, TSecurity::TlsWhenOffered},
        {"", 110, TSecurity::TlsWhenOffered},
        {"   ", 110, TSecurity::TlsWhenOffered},
    };
    for (const Row& r : rows)
        EXPECT_EQ(ProposedSecurity(r.host, r.port, 995), r.proposed) << '"' << r.host << "\" " << r.port;
}

// The Security field: Add stores it or leaves the default, Modify sets it
// or keeps the account's own, and a refused change touches neither.
TEST_F(Edit, SecurityIsStoredByAddAndKeptByModifyWithoutOne)
{
    struct Row {
        const char* name;
        std::optional<TSecurity> before; // the account's, before Modify
        std::optional<TSecurity> typed;
        std::optional<TSecurity> after;
    } rows[] = {
        {"unset stays unset", std::nullopt, std::nullopt, std::nullopt},
        {"kept", TSecurity::TlsRequired, std::nullopt, TSecurity::TlsRequired},
        {"changed", TSecurity::TlsRequired, TSecurity::Unencrypted, TSecurity::Unencrypted},
        {"set", std::nullopt, TSecurity::TlsWhenOffered, TSecurity::TlsWhenOffered},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        set({});
        TAccountFields f = full("a1");
        f.Security = r.before;
        ASSERT_EQ(AddAccount(accounts, f), Shown{});
        EXPECT_EQ(accounts.Account(1).Security, r.before);
        f.Security = r.typed;
        f.Port = "2110";
        ASSERT_EQ(ModifyAccount(accounts, 1, f, false), Shown{});
        EXPECT_EQ(accounts.Account(1).Security, r.after);
        f.Port = "0";
        f.Security = TSecurity::TlsFirstByte;
        EXPECT_EQ(ModifyAccount(accounts, 1, f, false), Shown{BadPort});
        TAccountStore reread(m_dir.path());
        reread.Load();
        EXPECT_EQ(reread.Account(1).Security, r.after) << "as written";
        EXPECT_EQ(reread.Account(1).PortNumber, 2110);
    }
}
