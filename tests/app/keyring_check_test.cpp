// SPDX-License-Identifier: GPL-3.0-or-later
// Accounts whose password lives in the desktop keyring, through the account
// store and `tolmu --check`, on a private session bus that keyring_bus.sh
// sets up (TOLMU_KEYRING_BUS): gnome-keyring unlocked (KeyringAccounts),
// locked with a prompt nobody answers (KeyringAccountsStalled), and no
// Secret Service or no bus at all (KeyringAccountsAbsent).
#include "core/accounts/AccountEdit.h"
#include "core/accounts/AccountStore.h"
#include "core/accounts/AccountsIni.h"
#include "core/accounts/SecretKeys.h"
#include "signin/Keyring.h"
#include "signin/SignInErrors.h"
#include "tests/support/KeyringLock.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/wait.h>

namespace fs = std::filesystem;
using testsupport::ScriptedServer;

namespace {

std::string bus()
{
    const char* b = std::getenv("TOLMU_KEYRING_BUS");
    return b ? b : "";
}

class KeyringAccountsBase : public testing::Test {
protected:
    void SetUp() override
    {
        dir = testsupport::MakeTempDir("tolmu-keyring");
        std::ofstream(dir / "Tolmu.ini", std::ios::binary) << "current_skin = skins/default/\r\nminutes = 5\r\n";
        ::setenv("XDG_STATE_HOME", (dir / "state").c_str(), 1);
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string folder() const { return dir.string() + "/"; }

    int check(const std::string& extra = "")
    {
        const std::string cmd = std::string("'") + TOLMU_BINARY_DIR + "/tolmu' --check --config-dir '" +
                                dir.string() + "' " + (extra.find("--timeout") == std::string::npos ? "--timeout 10 " : "") +
                                extra + " >'" + (dir / "out").string() + "' 2>'" +
                                (dir / "err").string() + "' </dev/null";
        const int status = std::system(cmd.c_str());
        out = readFile(dir / "out");
        err = readFile(dir / "err");
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    // A server that takes USER and PASS and lists one message.
    static void acceptLogin(ScriptedServer& s)
    {
        s.Send("+OK").Reply("+OK").Reply("+OK").Reply("+OK").Send("1 a").Send(".");
    }

    static TPOPAcc account(const std::string& name, int port, const std::string& password, bool inKeyring)
    {
        TPOPAcc a{name, "127.0.0.1", "u-" + name, password, false, port};
        a.SecretPlace = inKeyring ? TPOPAcc::TSecretPlace::Keyring : TPOPAcc::TSecretPlace::AccountsIni;
        return a;
    }

    fs::path dir;
    std::string out, err;
};

class KeyringAccounts : public KeyringAccountsBase {
protected:
    void SetUp() override
    {
        if (bus() != "keyring")
            GTEST_SKIP() << "needs keyring_bus.sh keyring";
        KeyringAccountsBase::SetUp();
    }
};

class KeyringAccountsAbsent : public KeyringAccountsBase {
protected:
    void SetUp() override
    {
        if (bus() != "empty" && bus() != "none")
            GTEST_SKIP() << "needs keyring_bus.sh empty or none";
        KeyringAccountsBase::SetUp();
    }
};

TEST_F(KeyringAccounts, PasswordLeavesTheFilesAndCheckReadsItFromTheKeyring)
{
    // The keyring form holds any text; Accounts.ini could not hold the first.
    const std::string passwords[] = {"Pässwort", "plain", "blanks and ☃ and \"quotes\""};
    int n = 0;
    for (const std::string& password : passwords) {
        SCOPED_TRACE(password);
        const std::string name = "K" + std::to_string(n++);
        ScriptedServer server;
        acceptLogin(server);
        {
            TAccountStore store(folder());
            store.Load();
            while (store.Count() > 0)
                store.Remove(1);
            store.Add(account(name, server.Port(), password, true));
            EXPECT_EQ(store.Account(1).Password, "");
        }
        const std::string ini = readFile(dir / "Accounts.ini");
        EXPECT_NE(ini.find("\r\npassword = \r\n"), std::string::npos) << ini;
        EXPECT_EQ(ini.find(ScramblePassword("plain")), std::string::npos);
        EXPECT_EQ(readFile(dir / "AccountsExtra.ini").find(password), std::string::npos);
        EXPECT_EQ(KeyringLookup(PasswordKey(account(name, server.Port(), "", true)), 10), password);

        TAccountStore reread(folder());
        reread.Load();
        ASSERT_EQ(reread.Count(), 1);
        EXPECT_EQ(reread.Account(1).SecretPlace, TPOPAcc::TSecretPlace::Keyring);
        EXPECT_EQ(reread.Account(1).Password, "");

        EXPECT_EQ(check("--verbose"), 0) << err;
        EXPECT_NE(out.find(name + " : 1\n"), std::string::npos) << out;
        EXPECT_EQ(out.find(password), std::string::npos) << out; // never in --verbose
        EXPECT_EQ(server.Finish(),
                  (std::vector<std::string>{"User u-" + name, "Pass " + password, "UIDL", "Quit"}));
    }
}

TEST_F(KeyringAccounts, MovesIntoTheKeyringAndBack)
{
    ScriptedServer server;
    acceptLogin(server);
    const TPOPAcc plain = account("Move", server.Port(), "m-pw", false);
    const TSecretKey key = PasswordKey(plain);
    TAccountStore store(folder());
    store.Add(plain);
    EXPECT_NE(readFile(dir / "Accounts.ini").find(ScramblePassword("m-pw")), std::string::npos);

    store.MoveToKeyring(1);
    EXPECT_EQ(readFile(dir / "Accounts.ini").find(ScramblePassword("m-pw")), std::string::npos);
    EXPECT_EQ(KeyringLookup(key, 10), "m-pw");
    EXPECT_EQ(check(), 0) << err;

    // A new host takes its item along; the old one goes.
    TPOPAcc moved = store.Account(1);
    moved.HostName = "localhost";
    store.Modify(1, moved);
    EXPECT_FALSE(KeyringLookup(key, 10));
    EXPECT_EQ(KeyringLookup(PasswordKey(moved), 10), "m-pw");

    store.MoveToAccountsIni(1);
    EXPECT_NE(readFile(dir / "Accounts.ini").find(ScramblePassword("m-pw")), std::string::npos);
    EXPECT_FALSE(KeyringLookup(PasswordKey(moved), 10));
    EXPECT_EQ(store.Account(1).SecretPlace, TPOPAcc::TSecretPlace::AccountsIni);
    EXPECT_EQ(check(), 0) << err;
    EXPECT_EQ(server.Finish(), (std::vector<std::string>{"User u-Move", "Pass m-pw", "UIDL", "Quit", "User u-Move",
                                                        "Pass m-pw", "UIDL", "Quit"}));
}

TEST_F(KeyringAccounts, ItemSharedWithAnotherAccountStaysWhenOneIsRemoved)
{
    TAccountStore store(folder());
    store.Add(account("Same", 1110, "s-pw", true));
    TPOPAcc twin = account("Same", 1110, "s-pw", true);
    twin.AccName = "Twin";
    twin.UserName = "u-Same";
    store.Add(twin); // same host, port and user: the item it already has
    store.Remove(1);
    EXPECT_EQ(KeyringLookup(PasswordKey(twin), 10), "s-pw");
    store.Remove(1);
    EXPECT_FALSE(KeyringLookup(PasswordKey(twin), 10));
}

// Which blocks with an empty password line are read: only those the
// companion file puts in the keyring.
TEST_F(KeyringAccounts, EmptyPasswordBlockIsReadOnlyForAKeyringAccount)
{
    struct Row {
        const char* what;
        const char* password; // as Accounts.ini holds it (scrambled form)
        const char* extra;    // the account's lines in AccountsExtra.ini
        bool usable;          // else kept, but unusable for want of a password
        TPOPAcc::TSecretPlace place;
    } rows[] = {
        {"keyring", "", "secret = keyring\r\n", true, TPOPAcc::TSecretPlace::Keyring},
        {"no mark", "", "", false, TPOPAcc::TSecretPlace::AccountsIni},
        {"other place", "", "secret = accounts-ini\r\n", false, TPOPAcc::TSecretPlace::AccountsIni},
        {"kept in the file too", "x", "secret = keyring\r\n", true, TPOPAcc::TSecretPlace::AccountsIni},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        std::ofstream(dir / "Accounts.ini", std::ios::binary)
            << "\r\n[Account1]\r\nacc_name = A\r\nhost_name = h\r\nuser_name = u\r\npassword = " << r.password
            << "\r\nport_number = 110\r\ninactive = 0\r\n";
        std::ofstream(dir / "AccountsExtra.ini", std::ios::binary) << "[Account1]\r\nacc_name = A\r\n" << r.extra;
        TAccountStore store(folder());
        store.Load();
        ASSERT_EQ(store.Count(), 1);
        EXPECT_EQ(store.Account(1).SecretPlace, r.place);
        EXPECT_EQ(store.Account(1).Broken.empty(), r.usable) << store.Account(1).Broken;
    }
}

// The dialog's rules with "Keep the password in the desktop keyring": any
// text goes, a kept password need not be typed again, unticking moves it
// back (and only what the scrambled form can hold).
TEST_F(KeyringAccounts, DialogKeepsThePasswordInTheKeyringWhenTicked)
{
    TAccountStore store(folder());
    const std::string accent = "Pässwort";
    const struct {
        const char* what;
        bool modify; // else Add
        TAccountFields fields;
        std::vector<std::string> shown;
        TPOPAcc::TSecretPlace place;
        const char* kept; // the keyring's item afterwards, nullptr: none
    } steps[] = {
        {"add with an accent", false, {"D", "h", "u", accent, "110", true}, {}, TPOPAcc::TSecretPlace::Keyring,
         "Pässwort"},
        {"modify, password left empty", true, {"D", "h2", "u", "", "110", true}, {}, TPOPAcc::TSecretPlace::Keyring,
         "Pässwort"},
        {"modify, new password", true, {"D", "h2", "u", "ascii", "110", true}, {}, TPOPAcc::TSecretPlace::Keyring,
         "ascii"},
        {"unticked: back into Accounts.ini", true, {"D", "h2", "u", "", "110", false}, {},
         TPOPAcc::TSecretPlace::AccountsIni, nullptr},
        {"unticked, empty password: must be typed", true, {"D", "h2", "u", "", "110", false}, {FillAllFields},
         TPOPAcc::TSecretPlace::AccountsIni, nullptr},
        {"an accent without the keyring", true, {"D", "h2", "u", accent, "110", false},
         {"The password may hold only printable ASCII characters (no accents, no control codes) !"},
         TPOPAcc::TSecretPlace::AccountsIni, nullptr},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.what);
        const std::vector<std::string> shown =
            s.modify ? ModifyAccount(store, 1, s.fields, false) : AddAccount(store, s.fields);
        EXPECT_EQ(shown, s.shown);
        ASSERT_EQ(store.Count(), 1);
        EXPECT_EQ(store.Account(1).SecretPlace, s.place);
        const std::optional<std::string> item = KeyringLookup(PasswordKey(store.Account(1)), 10);
        EXPECT_EQ(item.value_or("(none)"), s.kept ? s.kept : "(none)");
        EXPECT_EQ(readFile(dir / "Accounts.ini").find(ScramblePassword("ascii")) != std::string::npos,
                  s.place == TPOPAcc::TSecretPlace::AccountsIni);
    }
}

TEST_F(KeyringAccounts, MissingItemIsTheAccountsErrorNeverAnEmptyPassword)
{
    ScriptedServer server;
    acceptLogin(server);
    TAccountStore store(folder());
    store.Add(account("Gone", server.Port(), "g-pw", true));
    ASSERT_TRUE(KeyringRemove(PasswordKey(store.Account(1)), 10));
    EXPECT_EQ(check(), 1);
    EXPECT_EQ(err, "Gone : The desktop keyring holds no password for this account: enter it in Configure\n");
    EXPECT_TRUE(server.Received().empty());
}

class KeyringAccountsStalled : public KeyringAccountsBase {
protected:
    void SetUp() override
    {
        if (bus() != "stalled")
            GTEST_SKIP() << "needs keyring_bus.sh stalled";
        KeyringAccountsBase::SetUp();
    }
};

// The keyring locks while the password is in it, and nobody answers its
// unlock prompt: the check gives up on it within the account's time-out,
// says so, sends nothing and leaves no GLib-CRITICAL on stderr.
TEST_F(KeyringAccountsStalled, UnansweredPromptEndsWithinTheTimeOut)
{
    ScriptedServer server;
    acceptLogin(server);
    TAccountStore store(folder());
    store.Add(account("Locked", server.Port(), "l-pw", true));
    testsupport::LockDefaultCollection();

    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(check("--timeout 3"), 1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(3500)) << "the start-up included";
    EXPECT_EQ(err, "Locked : The desktop keyring is locked and was not unlocked within 3 seconds.\n");
    EXPECT_TRUE(server.Received().empty());
}

TEST_F(KeyringAccountsAbsent, NoServiceIsTheAccountsErrorAndStoringChangesNothing)
{
    ScriptedServer server;
    acceptLogin(server);
    std::ofstream(dir / "Accounts.ini", std::ios::binary)
        << "\r\n[Account1]\r\nacc_name = Kept\r\nhost_name = 127.0.0.1\r\nuser_name = u\r\npassword = "
           "\r\nport_number = "
        << server.Port() << "\r\ninactive = 0\r\n";
    std::ofstream(dir / "AccountsExtra.ini", std::ios::binary) << "[Account1]\r\nacc_name = Kept\r\nsecret = keyring\r\n";
    EXPECT_EQ(check(), 1);
    EXPECT_EQ(err.rfind("Kept : No desktop keyring answers on the session bus", 0), 0u) << err;
    EXPECT_TRUE(server.Received().empty()) << "no empty password is sent";

    const std::string before = readFile(dir / "Accounts.ini");
    TAccountStore store(folder());
    store.Load();
    ASSERT_EQ(store.Count(), 1);
    try {
        store.Add(account("New", server.Port(), "n-pw", true));
        ADD_FAILURE() << "stored without a keyring";
    } catch (const EKeyringError& e) {
        EXPECT_EQ(e.GetKind(), EKeyringError::Kind::NoService);
    }
    EXPECT_EQ(store.Count(), 1);
    EXPECT_EQ(readFile(dir / "Accounts.ini"), before);
}

} // namespace
