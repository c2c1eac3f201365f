// SPDX-License-Identifier: GPL-3.0-or-later
// The POP3 client against a second real server, GNU Mailutils' pop3d, run
// in daemon mode on 127.0.0.1 with a private configuration: logins from a
// virtual-domain passwd file (user@localhost), an mbox per user, locked
// while a session has it open (the server's default), as users run it.
// A second listener offers STLS with a certificate of the test CA.
// Skipped when pop3d is not installed or does not start.
#include "net/WirePOP3.h"
#include "tests/support/TestCerts.h"
#include "tests/support/Dovecot.h" // FreePort, CanConnect
#include "tests/support/RunTolmu.h"
#include "tests/support/TempDir.h"

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

namespace {

const char* const Pop3d = "/usr/sbin/pop3d";

std::string md5Crypt(const std::string& password)
{
    const std::string cmd = "openssl passwd -1 '" + password + "' 2>/dev/null";
    std::FILE* p = ::popen(cmd.c_str(), "r");
    if (!p)
        return {};
    char buf[256] = {};
    const bool got = std::fgets(buf, sizeof buf, p) != nullptr;
    ::pclose(p);
    std::string s = got ? buf : "";
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r'))
        s.pop_back();
    return s;
}

// One pop3d for the whole binary.
class Mailutils {
public:
    Mailutils()
    {
        m_dir = testsupport::MakeTempDir("tolmu-mailutils");
        testsupport::OpenFolderChain(m_dir);
        fs::create_directories(m_dir + "/virt");
        fs::create_directories(m_dir + "/home");
        ::chmod((m_dir + "/home").c_str(), 0711);
        m_uid = ::geteuid() == 0 ? 65534 : ::geteuid();
        m_gid = ::geteuid() == 0 ? 65534 : ::getegid();
        m_port = testsupport::FreePort();
        m_stlsPort = testsupport::FreePort();
        // pop3d refuses a key that anyone but its owner may read.
        ::chmod(m_certs.Server().key.c_str(), 0600);
        std::ofstream(m_dir + "/pop3d.conf")
            << "pidfile " << m_dir << "/pop3d.pid;\n"
            << "logging { syslog no; };\n"
            << "mandatory-locking { enable no; };\n"
            << "virtdomain { passwd-dir \"" << m_dir << "/virt\"; };\n"
            << "auth { authorization virtdomain; authentication generic; };\n"
            << "mailbox { mailbox-pattern \"" << m_dir << "/home/${user}/INBOX\"; };\n"
            << "tls { ssl-certificate-file \"" << m_certs.Server().cert << "\"; ssl-key-file \""
            << m_certs.Server().key << "\"; };\n"
            << "server 127.0.0.1:" << m_port << " { };\n"
            << "server 127.0.0.1:" << m_stlsPort << " { tls-mode ondemand; };\n";
        AddUser("alice", "secret");
        start();
    }
    ~Mailutils()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            int status = 0;
            for (int i = 0; i < 250 && ::waitpid(m_pid, &status, WNOHANG) == 0; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            if (::waitpid(m_pid, &status, WNOHANG) == 0) {
                ::kill(m_pid, SIGKILL);
                ::waitpid(m_pid, &status, 0);
            }
        }
        if (!m_dir.empty()) {
            std::error_code ec;
            fs::remove_all(m_dir, ec);
        }
    }
    bool Running() const { return m_running; }
    int Port() const { return m_port; }
    // The listener that offers STLS, and the CA to trust for it.
    int StlsPort() const { return m_stlsPort; }
    std::string CaFile() const { return m_certs.CaFile(); }

    void AddUser(const std::string& user, const std::string& password)
    {
        const std::string home = m_dir + "/home/" + user;
        fs::create_directories(home);
        ::chown(home.c_str(), m_uid, m_gid);
        std::ofstream(m_dir + "/virt/localhost", std::ios::app)
            << user << ":" << md5Crypt(password) << ":" << m_uid << ":" << m_gid << "::" << home << ":/bin/sh\n";
    }
    // Replaces the user's mbox with n small messages.
    void Fill(const std::string& user, int n)
    {
        const std::string box = m_dir + "/home/" + user + "/INBOX";
        std::ofstream out(box, std::ios::trunc);
        for (int i = 1; i <= n; ++i)
            out << "From sender@example.org Mon Dec  7 10:00:00 2026\nSubject: note " << i << "\n\nbody " << i
                << "\n\n";
        out.close();
        ::chown(box.c_str(), m_uid, m_gid);
        ::chmod(box.c_str(), 0600);
    }
    // Messages in the user's mbox as it is on disk now.
    int Stored(const std::string& user) const
    {
        std::ifstream in(m_dir + "/home/" + user + "/INBOX");
        int n = 0;
        for (std::string line; std::getline(in, line);)
            n += line.rfind("From ", 0) == 0;
        return n;
    }

private:
    void start()
    {
        const std::string conf = m_dir + "/pop3d.conf";
        const std::string log = m_dir + "/pop3d.log";
        if (::access(Pop3d, X_OK) != 0)
            return;
        m_pid = ::fork();
        if (m_pid == 0) {
            // A test binary that dies must not leave a server running.
            ::prctl(PR_SET_PDEATHSIG, SIGTERM);
            const int fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
            if (fd >= 0) {
                ::dup2(fd, 1);
                ::dup2(fd, 2);
            }
            const std::string config = "--config-file=" + conf;
            ::execl(Pop3d, Pop3d, config.c_str(), "--daemon", "--foreground", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        for (int i = 0; i < 250 && !m_running; ++i) {
            int status = 0;
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_pid = -1;
                return;
            }
            m_running = testsupport::CanConnect(m_port);
            if (!m_running)
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }

    testsupport::TestCerts m_certs;
    std::string m_dir;
    int m_port = 0;
    int m_stlsPort = 0;
    pid_t m_pid = -1;
    uid_t m_uid = 0;
    gid_t m_gid = 0;
    bool m_running = false;
};

Mailutils* server = nullptr;

class MailutilsEnv : public testing::Environment {
public:
    void SetUp() override
    {
        m_server = std::make_unique<Mailutils>();
        server = m_server->Running() ? m_server.get() : nullptr;
    }
    void TearDown() override
    {
        server = nullptr;
        m_server.reset();
    }

private:
    std::unique_ptr<Mailutils> m_server;
};

const auto* const env = testing::AddGlobalTestEnvironment(new MailutilsEnv);

class Pop3Mailutils : public testing::Test {
protected:
    void SetUp() override
    {
        if (!server)
            GTEST_SKIP() << "GNU Mailutils pop3d is not available here";
        pop.Host = "127.0.0.1";
        pop.Port = server->Port();
        pop.SetUserID("alice@localhost");
        pop.SetPassword("secret");
        pop.Timeout = 10;
        pop.OnStatus = [this](TWire&, const std::string& s) { statuses.push_back(s); };
    }
    TWirePOP3 pop;
    Lines statuses;
};

} // namespace

TEST_F(Pop3Mailutils, CountsDeletesAndLogsOut)
{
    for (int n : {0, 4}) {
        server->Fill("alice", n);
        statuses.clear();
        pop.Connect();
        EXPECT_EQ(pop.CheckMessages(), n);
        pop.Disconnect();
        const Lines expected = {"Connecting to 127.0.0.1", "Socket Connected", "Connected",
                                "Protection: not encrypted", "  User Account is valid", "  Password is valid", "Checking for messages",
                                "Disconnecting", "Disconnected"};
        EXPECT_EQ(statuses, expected);
    }
    pop.Connect();
    EXPECT_TRUE(pop.Delete(3));
    EXPECT_FALSE(pop.Delete(9));
    pop.Disconnect();
    // The server rewrites the mailbox after QUIT, which the client does not
    // wait for. Without locks a session opened meanwhile could write its
    // older view back, so the next one starts once the file shows the change.
    for (int i = 0; i < 250 && server->Stored("alice") != 3; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    int32_t left = -1;
    for (int i = 0; i < 50 && left != 3; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        pop.Connect();
        left = pop.CheckMessages();
        pop.Disconnect();
    }
    EXPECT_EQ(left, 3);
}

TEST_F(Pop3Mailutils, WrongPasswordIsRefusedAndClosed)
{
    pop.SetPassword("wrong");
    try {
        pop.Connect();
        FAIL();
    } catch (const EWireResponseError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("-ERR", 0), 0u) << e.what();
    }
    EXPECT_FALSE(pop.Connected());
}

TEST_F(Pop3Mailutils, LogoutWaitsUntilTheServerHasUpdatedTheMailbox)
{
    // pop3d rewrites and unlocks the mailbox before it answers "Quit": a
    // client that closes without the answer finds the next login refused
    // ("-ERR [IN-USE]") and its deletion not yet done.
    server->Fill("alice", 4);
    pop.Connect();
    EXPECT_TRUE(pop.Delete(2));
    pop.Disconnect();
    EXPECT_EQ(server->Stored("alice"), 3);
    for (int round = 0; round < 3; ++round) {
        pop.Connect();
        EXPECT_EQ(pop.CheckMessages(), 3) << round;
        EXPECT_FALSE(pop.ListingFailed()) << pop.ListingError();
        pop.Disconnect();
    }
}

TEST_F(Pop3Mailutils, CheckTwiceInARowBothSucceed)
{
    server->Fill("alice", 2);
    const std::string dir = testsupport::MakeTempDir("tolmu-mailutils-cli");
    std::string password = "secret";
    for (char& c : password) // the stored form of Accounts.ini
        c = static_cast<char>((2 * static_cast<unsigned char>(c) - 8) & 0xFF);
    std::ofstream(dir + "/Tolmu.ini", std::ios::binary) << "current_skin = skins/default/\r\n";
    std::ofstream(dir + "/Accounts.ini", std::ios::binary)
        << "\r\n[Account1]\r\nacc_name = Mu\r\nhost_name = 127.0.0.1\r\nuser_name = alice@localhost\r\npassword = "
        << password << "\r\nport_number = " << server->Port() << "\r\ninactive = 0\r\n";
    for (int run = 0; run < 2; ++run) {
        const auto r = testsupport::RunTolmu("", "--check --timeout 10 --config-dir '" + dir + "'", dir + "/err");
        EXPECT_EQ(r.status, 0) << "run " << run << ": " << r.err;
        EXPECT_EQ(r.out, "Mu : 2\n") << "run " << run;
    }
    fs::remove_all(dir);
}

// pop3d lists STLS on its second listener: the default security upgrades
// before USER / PASS, and the session says so.
TEST_F(Pop3Mailutils, UpgradesWithStlsWhereOffered)
{
    server->Fill("alice", 2);
    ::setenv("SSL_CERT_FILE", server->CaFile().c_str(), 1);
    pop.Host = "localhost";
    pop.Port = server->StlsPort();
    pop.Connect();
    const std::string protection = pop.Protection();
    EXPECT_EQ(protection.rfind("TLS 1.", 0), 0u) << protection;
    EXPECT_EQ(protection.substr(protection.size() - 7), " (STLS)") << protection;
    EXPECT_TRUE(pop.Capabilities().User);
    EXPECT_FALSE(pop.Capabilities().Stls) << "STLS is not listed again over TLS";
    EXPECT_EQ(pop.CheckMessages(), 2);
    pop.Disconnect();
    ::unsetenv("SSL_CERT_FILE");
    const Lines expected = {"Connecting to localhost", "Socket Connected", "Connected", "TLS connected",
                            "Protection: " + protection, "  User Account is valid", "  Password is valid",
                            "Checking for messages", "Disconnecting", "Disconnected"};
    EXPECT_EQ(statuses, expected);
}
