// SPDX-License-Identifier: GPL-3.0-or-later
// tolmu --check as scripts see it: stdout, stderr and the exit status over a
// config folder with active, inactive and failing accounts.
#include "core/accounts/AccountsIni.h"
#include "core/accounts/Credentials.h"
#include "core/mailbox/MailDropFactory.h"
#include "core/settings/Settings.h"
#include "tests/support/Dovecot.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestFiles.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sstream>
#include <functional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using testsupport::Dovecot;
using testsupport::ScriptedServer;

namespace {

struct Account {
    std::string name, host, user, password;
    int port;
    bool inactive;
};

class CheckCli : public testing::Test {
protected:
    void SetUp() override
    {
        dir = testsupport::MakeTempDir("tolmu-check");
        std::ofstream(dir / "Tolmu.ini", std::ios::binary) << "current_skin = skins/default/\r\nminutes = 5\r\n";
        // --check --new keeps its ids here, never in the real state folder.
        ::setenv("XDG_STATE_HOME", (dir / "state").c_str(), 1);
    }
    void TearDown() override { fs::remove_all(dir); }

    void writeAccounts(const std::vector<Account>& accounts)
    {
        std::string out;
        int i = 0;
        for (const Account& a : accounts) {
            out += "\r\n[Account" + std::to_string(++i) + "]\r\n";
            out += "acc_name = " + a.name + "\r\nhost_name = " + a.host + "\r\nuser_name = " + a.user
                + "\r\npassword = " + ScramblePassword(a.password) + "\r\nport_number = "
                + std::to_string(a.port) + "\r\ninactive = " + (a.inactive ? "1" : "0") + "\r\n";
        }
        std::ofstream(dir / "Accounts.ini", std::ios::binary) << out;
    }

    // Runs tolmu --check with extra arguments; fills out and err.
    int run(const std::string& extra)
    {
        const std::string cmd = std::string("'") + TOLMU_BINARY_DIR + "/tolmu' --check --config-dir '"
            + (configDir.empty() ? dir : configDir).string() + "' " + extra + " >'" + (dir / "out").string() + "' 2>'" + (dir / "err").string()
            + "' </dev/null";
        const int status = std::system(cmd.c_str());
        out = readFile(dir / "out");
        err = readFile(dir / "err");
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    // run() in a child of our own, whose peak resident size (KB) wait4
    // reports for it alone.
    int runMeasured(const std::string& extra, long& peakKb)
    {
        const std::string cmd = std::string("exec '") + TOLMU_BINARY_DIR + "/tolmu' --check --config-dir '"
            + dir.string() + "' " + extra + " >'" + (dir / "out").string() + "' 2>'" + (dir / "err").string()
            + "' </dev/null";
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::execl("/bin/sh", "sh", "-c", cmd.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        int status = 0;
        rusage usage{};
        ::wait4(pid, &status, 0, &usage);
        peakKb = usage.ru_maxrss;
        out = readFile(dir / "out");
        err = readFile(dir / "err");
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    fs::path dir;
    fs::path configDir; // what run() names with --config-dir (empty: dir)
    std::string out, err;
};

} // namespace

TEST_F(CheckCli, ActiveInactiveAndFailingAccounts)
{
    if (!testsupport::DovecotAvailable())
        GTEST_SKIP() << "dovecot is not available";
    Dovecot server;
    server.AddUser("carol", "c-pw");
    for (int i = 0; i < 3; ++i)
        server.Deliver("carol", "Subject: m" + std::to_string(i) + "\r\n\r\nx\r\n");
    server.AddUser("dave", "d-pw");
    const int closed = testsupport::FreePort();
    ScriptedServer silent;
    silent.Stall();

    writeAccounts({
        {"Home", "127.0.0.1", "carol", "c-pw", server.Port(), false},
        {"Old", "127.0.0.1", "carol", "c-pw", server.Port(), true},
        {"Closed", "127.0.0.1", "carol", "c-pw", closed, false},
        {"Silent", "localhost", "x", "y", silent.Port(), false},
        {"WrongPw", "127.0.0.1", "dave", "nope", server.Port(), false},
        {"Empty", "127.0.0.1", "dave", "d-pw", server.Port(), false},
    });
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(run("--timeout 1"), 1);
    const auto took = std::chrono::steady_clock::now() - t0;
    EXPECT_EQ(out, "Home : 3\nEmpty : 0\n");
    std::istringstream lines(err);
    std::string closedLine, silentLine, wrongLine, extra;
    std::getline(lines, closedLine);
    std::getline(lines, silentLine);
    std::getline(lines, wrongLine);
    EXPECT_EQ(closedLine, "Closed : Socket Error #10061 Connection refused.");
    EXPECT_EQ(silentLine, "Silent : Socket Error #10060 Connection timed out.");
    EXPECT_EQ(wrongLine.rfind("WrongPw : -ERR", 0), 0u) << wrongLine;
    EXPECT_FALSE(std::getline(lines, extra)) << err;
    EXPECT_LT(took, std::chrono::seconds(15)); // one 1 s time-out, the rest at once
    EXPECT_EQ(server.MessageCount("carol"), 3u); // checking never removes mail
}

TEST_F(CheckCli, VerboseShowsStatusesAndAllGoodExitsZero)
{
    ScriptedServer s;
    s.Send("+OK").Reply("+OK").Reply("+OK").Reply("+OK").Send("1 a").Send(".");
    writeAccounts({{"Work", "127.0.0.1", "u", "p", s.Port(), false}});
    EXPECT_EQ(run("--verbose"), 0);
    EXPECT_EQ(out, "Connecting to 127.0.0.1\nSocket Connected\nConnected\nProtection: not encrypted\n"
                   "  User Account is valid\n  Password is valid\nChecking for messages\nDisconnecting\n"
                   "Disconnected\nWork : 1\n");
    // An Accounts.ini from an older copy has no companion: the default holds.
    EXPECT_EQ(err, "tolmu: AccountsExtra.ini not found: every account uses its default security\n");
    EXPECT_EQ(s.Finish(), (std::vector<std::string>{"User u", "Pass p", "UIDL", "Quit"}));
}

TEST_F(CheckCli, FailureInsideTheListingFailsTheAccount)
{
    struct Row {
        const char* name;
        std::function<void(ScriptedServer&)> script;
        std::string error;
    } rows[] = {
        {"uidl refused", [](ScriptedServer& s) { s.Reply("-ERR no uidl here"); }, "A : -ERR no uidl here\n"},
        {"dropped mid-listing", [](ScriptedServer& s) { s.ReplyRaw("+OK\r\n1 a\r\n").Close(); },
         "A : Connection Closed Gracefully.\n"},
        {"reset mid-listing", [](ScriptedServer& s) { s.ReplyRaw("+OK\r\n1 a\r\n").Reset(); },
         "A : Socket Error #10054 Connection reset by peer.\n"},
        // Not "+OK", though it reads like the client's own status text.
        {"uidl answered with a status text", [](ScriptedServer& s) { s.Reply("Checking for messages"); },
         "A : Checking for messages\n"},
        {"server reply that would drive the terminal",
         [](ScriptedServer& s) { s.Reply("-ERR \x1b[2J\x1b]0;t\x07gone\rA : 0"); },
         "A : -ERR \\e[2J\\e]0;t\\x07gone A : 0\n"},
        {"a reason of 100 kB is cut, saying so",
         [](ScriptedServer& s) { s.Reply("-ERR " + std::string(100000, 'x')); },
         "A : -ERR " + std::string(295, 'x') + " ... (cut: the server sent 100005 bytes)\n"},
        {"NUL inside the reason", [](ScriptedServer& s) { s.Reply(std::string("-ERR no\0 uidl", 13)); },
         "A : -ERR no\\x00 uidl\n"},
        {"listing dripped past the time-out",
         [](ScriptedServer& s) { s.ReplyRaw("+OK\r\n").Repeat("1 a\r\n", std::chrono::milliseconds(100)); },
         "A : Socket Error #10060 Connection timed out.\n"},
    };
    for (const Row& r : rows) {
        ScriptedServer s;
        s.Send("+OK").Reply("+OK").Reply("+OK");
        r.script(s);
        writeAccounts({{"A", "127.0.0.1", "u", "p", s.Port(), false}});
        EXPECT_EQ(run("--timeout 1"), 1) << r.name;
        EXPECT_EQ(out, "") << r.name;
        EXPECT_EQ(err, r.error) << r.name;
    }
}

// --check to another computer (127.0.0.2 plays one) fails closed: without
// an entry TLS is required; "TLS when offered" keeps the server's offer in
// AccountsExtra.ini and refuses the next session that lacks it, even where
// clear text was allowed; an entry that cannot be read is the account's
// error without --verbose. No password crosses in any of them.
TEST_F(CheckCli, FailsClosedToAnotherComputer)
{
    const auto server = [](bool offersTls) {
        auto s = std::make_unique<ScriptedServer>("127.0.0.2");
        s->ScriptCapa().Send("+OK");
        for (int step = 0; step < 4; ++step)
            s->ReadLine().Custom([offersTls](const std::vector<std::string>& got) -> std::string {
                if (got.back() == "CAPA")
                    return offersTls ? "+OK\r\nSTLS\r\nUSER\r\n.\r\n" : "+OK\r\nUSER\r\n.\r\n";
                return got.back() == "STLS" ? "-ERR not now\r\n" : "+OK\r\n";
            });
        return s;
    };
    const auto noPassword = [](ScriptedServer& s) {
        const std::vector<std::string> sent = s.Finish();
        EXPECT_EQ(std::find(sent.begin(), sent.end(), "Pass p"), sent.end());
    };
    const auto extra = [this](const std::string& lines) {
        std::ofstream(dir / "AccountsExtra.ini", std::ios::binary) << "[Account1]\r\nacc_name = Far\r\n" << lines;
    };

    auto stripped = server(false);
    writeAccounts({{"Far", "127.0.0.2", "u", "p", stripped->Port(), false}});
    EXPECT_EQ(run(""), 1);
    EXPECT_NE(err.find("Far : The server does not offer TLS on port"), std::string::npos) << err;
    noPassword(*stripped);

    auto offering = server(true);
    writeAccounts({{"Far", "127.0.0.2", "u", "p", offering->Port(), false}});
    extra("security = tls-when-offered\r\nclear_text = allowed\r\n");
    EXPECT_EQ(run(""), 1); // STLS refused: never clear text after it was offered
    noPassword(*offering);
    EXPECT_NE(readFile(dir / "AccountsExtra.ini").find("tls_offered = yes"), std::string::npos);

    stripped = server(false);
    writeAccounts({{"Far", "127.0.0.2", "u", "p", stripped->Port(), false}});
    EXPECT_EQ(run(""), 1);
    EXPECT_NE(err.find("Far : the server no longer offers TLS, which it did before"), std::string::npos) << err;
    noPassword(*stripped);

    extra("security = tls-requried\r\n");
    EXPECT_EQ(run("--json"), 1);
    EXPECT_EQ(err, "Far : AccountsExtra.ini line 3: 'tls-requried' is not a security choice\n");
    EXPECT_NE(out.find("\"error\":\"AccountsExtra.ini line 3"), std::string::npos) << out;
}

TEST_F(CheckCli, SettingsAndUsageProblemsExitTwo)
{
    writeAccounts({});
    struct Row {
        const char* name;
        std::string args;
        bool removeSettings;
    } rows[] = {
        {"no Tolmu.ini", "", true},
        {"bad timeout", "--timeout zero", false},
        {"negative timeout", "--timeout -3", false},
        {"missing timeout", "--timeout", false},
        {"unknown option", "--loud", false},
    };
    for (const Row& r : rows) {
        if (r.removeSettings)
            fs::remove(dir / "Tolmu.ini");
        EXPECT_EQ(run(r.args), 2) << r.name;
        EXPECT_EQ(out, "") << r.name;
        EXPECT_NE(err, "") << r.name;
        std::ofstream(dir / "Tolmu.ini", std::ios::binary) << "current_skin = skins/default/\r\n";
    }
    std::ofstream(dir / "Accounts.ini", std::ios::binary)
        << "[Account1]\r\nacc_name = A\r\nhost_name = h\r\nuser_name = u\r\npassword = p\r\nport_number = x1\r\n";
    EXPECT_EQ(run(""), 1) << "a malformed account is that account's failure";
    EXPECT_NE(err.find("x1"), std::string::npos) << err;
}

// A settings folder another user may write to, or owns, could hold
// planted accounts and programs: it is refused before anything is read.
TEST_F(CheckCli, SettingsFolderOthersCanWriteOrOwnIsRefused)
{
    ScriptedServer s;
    s.Send("+OK").Reply("+OK").Reply("+OK").ReplyRaw("+OK\r\n.\r\n");
    writeAccounts({{"A", "127.0.0.1", "u", "p", s.Port(), false}});
    struct Row {
        const char* name;
        std::function<void(const fs::path&)> make;
        int status;
        const char* err; // the start of stderr
        bool needsRoot;  // chown to another user
        bool link = false; // named through a symbolic link of ours
    } rows[] = {
        {"writable by everyone", [](const fs::path& d) { fs::permissions(d, fs::perms(0777)); }, 2,
         "tolmu: bad permissions on the settings folder", false},
        {"sticky and writable by everyone", [](const fs::path& d) { fs::permissions(d, fs::perms(01777)); }, 2,
         "tolmu: bad permissions on the settings folder", false},
        {"owned by another user", [](const fs::path& d) { ASSERT_EQ(::chown(d.c_str(), 65534, 65534), 0); }, 2,
         "tolmu: bad owner of the settings folder", true},
        {"group-writable, ours", [](const fs::path& d) { fs::permissions(d, fs::perms(0770)); }, 0, "", false},
        // The checks look at the folder a link leads to, never at the link
        // itself (whose own mode lets everyone write).
        {"ours, through a link", [](const fs::path&) {}, 0, "", false, true},
        {"writable by everyone, through a link", [](const fs::path& d) { fs::permissions(d, fs::perms(0777)); }, 2,
         "tolmu: bad permissions on the settings folder", false, true},
    };
    const fs::path link = dir.string() + "-link";
    for (const Row& r : rows) {
        if (r.needsRoot && ::geteuid() != 0)
            continue;
        r.make(dir);
        if (r.link) {
            fs::create_symlink(dir, link);
            configDir = link;
        }
        EXPECT_EQ(run(""), r.status) << r.name << ": " << err;
        EXPECT_EQ(err.rfind(r.err, 0), 0u) << r.name << ": " << err;
        configDir.clear();
        fs::remove(link);
        ASSERT_EQ(::chown(dir.c_str(), ::geteuid(), ::getegid()), 0);
        fs::permissions(dir, fs::perms(0700));
    }
}

TEST_F(CheckCli, NumbersOnlyTheWindowUsesNeverStopTheCheck)
{
    ScriptedServer s;
    s.Send("+OK").Reply("+OK").Reply("+OK").ReplyRaw("+OK\r\n1 a\r\n.\r\n");
    writeAccounts({{"A", "127.0.0.1", "u", "p", s.Port(), false}});
    for (const char* line : {"minutes = abc", "posX = 99999999999", "posY = -", "minutes = 5x"}) {
        std::ofstream(dir / "Tolmu.ini", std::ios::binary) << "current_skin = skins/default/\r\n" << line << "\r\n";
        EXPECT_EQ(run(""), 0) << line << ": " << err;
        EXPECT_EQ(out, "A : 1\n") << line;
    }
}

TEST_F(CheckCli, ClosedPortFailsWithinASecond)
{
    writeAccounts({{"Closed", "127.0.0.1", "u", "p", testsupport::FreePort(), false}});
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(run(""), 1);
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(1));
    EXPECT_EQ(out, "");
    EXPECT_EQ(err, "Closed : Socket Error #10061 Connection refused.\n");
}

TEST_F(CheckCli, NoActiveAccountIsAnErrorNotSilence)
{
    struct Row {
        const char* name;
        std::function<void(const fs::path&)> make; // makes Accounts.ini
    } rows[] = {
        {"missing", [](const fs::path&) {}},
        {"empty", [](const fs::path& p) { std::ofstream(p, std::ios::binary); }},
        {"a directory", [](const fs::path& p) { fs::create_directory(p); }},
        {"junk", [](const fs::path& p) { std::ofstream(p, std::ios::binary) << "\x7f" "ELF\x01\x02 garbage\0\r\n"; }},
        {"LF-only", [](const fs::path& p) {
             std::ofstream(p, std::ios::binary) << "\n[Account1]\nacc_name = A\nhost_name = h\nuser_name = u\npassword = xx\n";
         }},
        {"all inactive", [](const fs::path& p) {
             std::ofstream(p, std::ios::binary) << "\r\n[Account1]\r\nacc_name = A\r\nhost_name = h\r\nuser_name = u\r\n"
                                                   "password = xx\r\ninactive = 1\r\n";
         }},
        {"unreadable", [](const fs::path& p) {
             std::ofstream(p, std::ios::binary) << "\r\n[Account1]\r\nacc_name = A\r\nhost_name = 127.0.0.1\r\n"
                                                   "user_name = u\r\npassword = xx\r\nport_number = 9\r\n";
             fs::permissions(p, fs::perms::none);
         }},
        // Would block the loader for ever if it were opened like a file.
        {"a FIFO", [](const fs::path& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); }},
    };
    for (const Row& r : rows) {
        if (std::string(r.name) == "unreadable" && ::geteuid() == 0)
            continue; // root reads any file
        const fs::path accounts = dir / "Accounts.ini";
        fs::remove_all(accounts);
        r.make(accounts);
        EXPECT_EQ(run(""), 2) << r.name;
        EXPECT_EQ(out, "") << r.name;
        EXPECT_EQ(err, "tolmu: No valid account ! Please create one or activate an existing account.\n") << r.name;
    }
}

TEST_F(CheckCli, CredentialsGoOnlyToTheirOwnServer)
{
    // Account blocks written by hand, each missing something; the second
    // account is whole and lives on server B. What each server received is
    // compared with what its own account holds.
    struct Row {
        const char* name;
        std::string firstBlock; // [Account1] lines after acc_name, for server A
        int status;
        std::string err;
        bool aReached; // server A saw a login
    } rows[] = {
        {"no password line", "host_name = 127.0.0.1\r\nuser_name = u1\r\nport_number = PORT_A\r\n", 0, "", true},
        {"port 99999", "host_name = 127.0.0.1\r\nuser_name = u1\r\npassword = " + ScramblePassword("p1")
                            + "\r\nport_number = 99999\r\n",
         1, "One : Invalid port number: 99999\n", false},
        {"port 87941", "host_name = 127.0.0.1\r\nuser_name = u1\r\npassword = " + ScramblePassword("p1")
                            + "\r\nport_number = 87941\r\n",
         1, "One : Invalid port number: 87941\n", false},
        {"port -1", "host_name = 127.0.0.1\r\nuser_name = u1\r\npassword = " + ScramblePassword("p1")
                        + "\r\nport_number = -1\r\n",
         1, "One : Invalid port number: -1\n", false},
        // A malformed port fails its own account; the next one is checked.
        {"port abc", "host_name = 127.0.0.1\r\nuser_name = u1\r\npassword = " + ScramblePassword("p1")
                         + "\r\nport_number = abc\r\n",
         1, "One : Accounts.ini [Account1] port_number = abc: 'abc' is not a valid integer value\n", false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        ScriptedServer a, b;
        for (ScriptedServer* s : {&a, &b})
            s->Send("+OK").Reply("+OK").Reply("+OK").Reply("+OK").Send(".");
        std::string first = r.firstBlock;
        if (const auto at = first.find("PORT_A"); at != std::string::npos)
            first.replace(at, 6, std::to_string(a.Port()));
        std::ofstream(dir / "Accounts.ini", std::ios::binary)
            << "\r\n[Account1]\r\nacc_name = One\r\n" << first
            << "\r\n[Account2]\r\nacc_name = Two\r\nhost_name = 127.0.0.1\r\nuser_name = u2\r\npassword = "
            << ScramblePassword("p2") << "\r\nport_number = " << b.Port() << "\r\n";
        EXPECT_EQ(run("--timeout 2"), r.status);
        if (!r.err.empty()) {
            EXPECT_EQ(err, r.err);
        }
        const std::vector<std::string> bGot = b.Connections() ? b.Finish() : std::vector<std::string>{};
        const std::vector<std::string> aGot = a.Connections() ? a.Finish() : std::vector<std::string>{};
        if (r.status != 2) {
            EXPECT_EQ(bGot, (std::vector<std::string>{"User u2", "Pass p2", "UIDL", "Quit"}));
        } else {
            EXPECT_EQ(b.Connections(), 0);
        }
        if (r.aReached) {
            EXPECT_EQ(aGot, (std::vector<std::string>{"User u1", "Pass " + UnscramblePassword("none"), "UIDL", "Quit"}));
        } else {
            EXPECT_EQ(a.Connections(), 0);
        }
        EXPECT_EQ(err.find("p1"), std::string::npos) << err;
        EXPECT_EQ(err.find("p2"), std::string::npos) << err;
    }
}

TEST_F(CheckCli, JsonCarriesEveryActiveAccountWithCountOrError)
{
    ScriptedServer good, refusing;
    good.Send("+OK").Reply("+OK").Reply("+OK").ReplyRaw("+OK\r\n1 a\r\n2 b\r\n.\r\n");
    refusing.Send("-ERR \"closed\" <today>\xff");
    writeAccounts({{"Work \xc3\xa9", "127.0.0.1", "u", "p", good.Port(), false},
                   {"Off", "127.0.0.1", "u", "p", good.Port(), true},
                   {"Bad", "127.0.0.1", "u", "p", refusing.Port(), false}});
    EXPECT_EQ(run("--json --verbose"), 1);
    ASSERT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << "one line, statuses on stderr: " << out;
    const nlohmann::json j = nlohmann::json::parse(out);
    ASSERT_EQ(j["accounts"].size(), 2u);
    EXPECT_EQ(j["accounts"][0], (nlohmann::json{{"name", "Work \xc3\xa9"}, {"count", 2}, {"error", nullptr},
                                                   {"protection", "not encrypted"}}));
    EXPECT_EQ(j["accounts"][1]["name"], "Bad");
    EXPECT_TRUE(j["accounts"][1]["count"].is_null());
    EXPECT_EQ(j["accounts"][1]["error"], "-ERR \"closed\" <today>\xef\xbf\xbd") << "invalid UTF-8 replaced";
    EXPECT_EQ(j["total"], 2);
    EXPECT_EQ(j["new"], false);
    const std::string time = j["time"];
    EXPECT_EQ(time.size(), 25u) << time; // 2024-05-01T09:30:00+02:00
    EXPECT_NE(err.find("Checking for messages"), std::string::npos);
}

TEST_F(CheckCli, NewCountsOnlyWhatArrivedSinceTheLastNewCheck)
{
    if (!testsupport::DovecotAvailable())
        GTEST_SKIP() << "dovecot is not available";
    Dovecot server;
    server.AddUser("erin", "e-pw");
    for (int i = 0; i < 3; ++i)
        server.Deliver("erin", "Subject: m" + std::to_string(i) + "\r\n\r\nx\r\n");
    writeAccounts({{"Home", "127.0.0.1", "erin", "e-pw", server.Port(), false}});
    const fs::path state = dir / "state" / "tolmu" / "seen-ids";

    EXPECT_EQ(run("--new"), 0);
    EXPECT_EQ(out, "Home : 3\n");
    EXPECT_EQ(fs::status(state).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(run("--new --json"), 0);
    EXPECT_EQ(nlohmann::json::parse(out)["accounts"][0]["count"], 0) << out;
    EXPECT_EQ(nlohmann::json::parse(out)["new"], true);

    // Another client deletes one, one more arrives: the count stays 3, but
    // one message is new.
    {
        const std::unique_ptr<TMailDrop> other = MakeMailDrop();
        other->Open({"x", "127.0.0.1", "erin", "e-pw", false, server.Port()}, StoredPasswords(), 5);
        ASSERT_TRUE(other->Delete(1));
        other->Close();
    }
    server.Deliver("erin", "Subject: m3\r\n\r\nx\r\n");
    EXPECT_EQ(run("--new"), 0);
    EXPECT_EQ(out, "Home : 1\n");
    EXPECT_EQ(run(""), 0);
    EXPECT_EQ(out, "Home : 3\n") << "a plain check neither uses nor moves the ids";
    EXPECT_EQ(run("--new"), 0);
    EXPECT_EQ(out, "Home : 0\n");
}

TEST_F(CheckCli, NewWithADamagedOrFailedStateCountsEverythingAndSaysSo)
{
    ScriptedServer s;
    s.Send("+OK").Reply("+OK").Reply("+OK").ReplyRaw("+OK\r\n1 a\r\n2 b\r\n3\r\n.\r\n");
    writeAccounts({{"A", "127.0.0.1", "u", "p", s.Port(), false}});
    const fs::path folder = dir / "state" / "tolmu";
    struct Row {
        const char* name;
        std::string content; // of the state file; empty: a folder in its place
        int status;
        std::string count;
        const char* warning;
    } rows[] = {
        // An id line before any account, a foreign file, a cut-off file.
        {"no magic", "A u@127.0.0.1:1\nI a\n", 0, "A : 3\n", "damaged"},
        {"binary", std::string("\x7f" "ELF\0\x01", 6), 0, "A : 3\n", "damaged"},
        {"id before account", "tolmu seen-ids 1\nI a\n", 0, "A : 3\n", "damaged"},
        {"cut mid-line", "tolmu seen-ids 1\nA u@127.0.0.1:PORT\nI a", 0, "A : 3\n", "damaged"},
        // Good: "a" and "b" were seen; "3" has no id and is always new.
        {"good", "tolmu seen-ids 1\nA u@127.0.0.1:PORT\nI a\nI b\n", 0, "A : 1\n", nullptr},
        {"a folder in its place", "", 1, "A : 3\n", "cannot keep the ids seen"},
    };
    for (const Row& r : rows) {
        fs::remove_all(folder);
        fs::create_directories(folder);
        if (r.content.empty()) {
            fs::create_directories(folder / "seen-ids" / "x");
        } else {
            std::string content = r.content;
            if (const auto at = content.find("PORT"); at != std::string::npos)
                content.replace(at, 4, std::to_string(s.Port()));
            std::ofstream(folder / "seen-ids", std::ios::binary) << content;
        }
        EXPECT_EQ(run("--new"), r.status) << r.name;
        EXPECT_EQ(out, r.count) << r.name;
        if (r.warning) {
            EXPECT_NE(err.find(r.warning), std::string::npos) << r.name << ": " << err;
        } else {
            EXPECT_EQ(err, "") << r.name;
        }
        if (!r.content.empty()) {
            EXPECT_EQ(readFile(folder / "seen-ids").rfind("tolmu seen-ids 1\n", 0), 0u) << r.name << ": rewritten";
        }
    }
}

// A state file of some megabytes costs about its ids' bytes, not a
// multiple of them, and the ids of accounts no longer configured are read
// past and dropped.
TEST_F(CheckCli, NewStateCostsLittleMoreThanItsIdsAndKeepsOnlyConfiguredAccounts)
{
    ScriptedServer s;
    s.Send("+OK").Reply("+OK").Reply("+OK").ReplyRaw("+OK\r\n1 id-0000000\r\n2 fresh\r\n.\r\n");
    writeAccounts({{"A", "127.0.0.1", "u", "p", s.Port(), false}});
    const fs::path file = dir / "state" / "tolmu" / "seen-ids";
    fs::create_directories(file.parent_path());
    {
        // 150000 ids of 40 bytes under the account checked, as many under
        // one removed: 13 MB in all.
        std::ofstream state(file, std::ios::binary);
        state << "tolmu seen-ids 1\n";
        for (const std::string& key : {"u@127.0.0.1:" + std::to_string(s.Port()), std::string("gone@h:110")}) {
            state << "A " << key << "\n";
            char id[48];
            for (int i = 0; i < 150000; ++i) {
                std::snprintf(id, sizeof id, "id-%07d-%030d", i, 0);
                state << "I " << (i == 0 ? std::string("id-0000000") : std::string(id)) << "\n";
            }
        }
    }
    ASSERT_GT(fs::file_size(file), 12u << 20);
    long peakKb = 0;
    EXPECT_EQ(runMeasured("--new", peakKb), 0) << err;
    EXPECT_EQ(out, "A : 1\n");
    // The ids kept take 6.5 MB; the program itself about 6 MB more.
    EXPECT_LT(peakKb, 32 * 1024);
    std::printf("peak resident size: %ld KB\n", peakKb);
    EXPECT_EQ(readFile(file), "tolmu seen-ids 1\nA u@127.0.0.1:" + std::to_string(s.Port()) + "\nI fresh\nI id-0000000\n");
}
