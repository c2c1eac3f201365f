// SPDX-License-Identifier: GPL-3.0-or-later
// The demo mailbox's POP3 server: against TWirePOP3, against command lines
// written by hand (errors and bounds), and against Python's poplib, a client
// nobody here wrote.
#include "demo/DemoServer.h"
#include "net/WirePOP3.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cstdlib>
#include <fstream>
#include <netinet/in.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/time.h>
#include <thread>
#include <sys/wait.h>
#include <algorithm>
#include <memory>
#include <vector>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// A blocking connection that sends raw lines and reads the answers.
class RawClient {
public:
    explicit RawClient(uint16_t port, const char* address = "127.0.0.1")
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port);
        ::inet_pton(AF_INET, address, &a.sin_addr);
        timeval tv{5, 0};
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        connected = ::connect(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    }
    ~RawClient() { ::close(m_fd); }
    void send(const std::string& bytes) { (void)!::send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL); }
    // The next line without CR LF; "<closed>" when the server closed.
    std::string line()
    {
        for (;;) {
            if (const std::size_t at = m_buf.find("\r\n"); at != std::string::npos) {
                std::string l = m_buf.substr(0, at);
                m_buf.erase(0, at + 2);
                return l;
            }
            char b[4096];
            const ssize_t n = ::recv(m_fd, b, sizeof b, 0);
            if (n <= 0)
                return "<closed>";
            m_buf.append(b, static_cast<std::size_t>(n));
        }
    }
    std::string ask(const std::string& command)
    {
        send(command + "\r\n");
        return line();
    }
    bool connected = false;

private:
    int m_fd;
    std::string m_buf;
};

void fill(TWirePOP3& pop, uint16_t port, const std::string& user, const std::string& password)
{
    pop.Host = "127.0.0.1";
    pop.Port = port;
    pop.SetUserID(user);
    pop.SetPassword(password);
    pop.Timeout = 5;
}

} // namespace

TEST(DemoServer, TheProgramsClientCountsFetchesAndDeletesAtQuit)
{
    const std::vector<DemoMessage> start = DemoStartMessages();
    DemoServer server(start);
    {
        TWirePOP3 pop;
        fill(pop, server.Port(), DemoServer::User, DemoServer::Password);
        pop.Connect();
        EXPECT_EQ(pop.CheckMessages(), 3);
        TWireMessage msg;
        ASSERT_TRUE(pop.Retrieve(2, msg));
        const std::vector<DemoAttachment> want = DemoAttachments();
        ASSERT_EQ(msg.Attachments.size(), want.size());
        for (std::size_t i = 0; i < want.size(); ++i) {
            EXPECT_EQ(msg.Attachments[i].FileName, want[i].FileName);
            EXPECT_EQ(readFile(msg.Attachments[i].StoredPathName), want[i].Bytes);
        }
        EXPECT_TRUE(pop.Delete(1));
        // Not carried out before QUIT.
        EXPECT_EQ(server.Messages().size(), 3u);
        pop.Disconnect();
    }
    const std::vector<DemoMessage> left = server.Messages();
    ASSERT_EQ(left.size(), 2u);
    EXPECT_EQ(left[0].Uid, start[1].Uid);
    EXPECT_EQ(left[1].Uid, start[2].Uid);
}

TEST(DemoServer, TheVisitorAndAWrongPasswordAreRefusedAtLogin)
{
    DemoServer server(DemoStartMessages());
    struct Row {
        const char* user;
        const char* password;
        const char* reply;
    } rows[] = {
        {DemoServer::RefusedUser, "demo", "-ERR [AUTH] The visitor account is closed"},
        {DemoServer::User, "wrong", "-ERR [AUTH] Authentication failed."},
        {"nobody", "demo", "-ERR [AUTH] Authentication failed."},
    };
    for (const Row& r : rows) {
        TWirePOP3 pop;
        fill(pop, server.Port(), r.user, r.password);
        try {
            pop.Connect();
            ADD_FAILURE() << r.user << " logged in";
        } catch (const EWireResponseError& e) {
            EXPECT_EQ(std::string(e.what()).rfind(r.reply, 0), 0u) << e.what();
        }
        EXPECT_FALSE(pop.Connected());
    }
}

TEST(DemoServer, CommandLinesOutOfTurnOrFormGetErrorsAndTheSessionGoesOn)
{
    DemoServer server(DemoStartMessages());
    RawClient c(server.Port());
    ASSERT_EQ(c.line().rfind("+OK", 0), 0u);
    struct Row {
        const char* command;
        const char* reply; // the start of the answer
    } rows[] = {
        {"STAT", "-ERR log in first"},
        {"PASS demo", "-ERR USER first"},
        {"user demo", "+OK"},
        {"pass demo", "+OK 3 messages"},
        {"FOO", "-ERR unknown command"},
        {"", "-ERR unknown command"},
        {"RETR 0", "-ERR no such message"},
        {"RETR 4", "-ERR no such message"},
        {"RETR -1", "-ERR no such message"},
        {"LIST 99999999999", "-ERR no such message"},
        {"TOP 1", "-ERR TOP needs"},
        {"TOP 1 x", "-ERR TOP needs"},
        {"DELE 3", "+OK message 3 deleted"},
        {"DELE 3", "-ERR message 3 already deleted"},
        {"UIDL 3", "-ERR message 3 already deleted"},
        {"RSET", "+OK"},
        {"UIDL 3", "+OK 3 demo-greetings"},
    };
    for (const Row& r : rows)
        EXPECT_EQ(c.ask(r.command).rfind(r.reply, 0), 0u) << r.command;
    EXPECT_EQ(c.ask("QUIT").rfind("+OK", 0), 0u);
    EXPECT_EQ(server.Messages().size(), 3u) << "RSET kept the deletion";
}

TEST(DemoServer, BoundsEndTheOffendingSessionOnly)
{
    DemoServer::Limits limits;
    limits.MaxSessions = 2;
    limits.MaxLineBytes = 100;
    limits.Idle = 300ms;
    DemoServer server(DemoStartMessages(), limits);

    RawClient longLine(server.Port());
    longLine.line();
    longLine.send(std::string(200, 'x')); // no line end: still too long
    EXPECT_EQ(longLine.line(), "-ERR line too long");
    EXPECT_EQ(longLine.line(), "<closed>");
    std::this_thread::sleep_for(100ms); // its thread ends just after the close

    RawClient first(server.Port()), second(server.Port());
    EXPECT_EQ(first.line().rfind("+OK", 0), 0u);
    EXPECT_EQ(second.line().rfind("+OK", 0), 0u);
    RawClient third(server.Port());
    EXPECT_EQ(third.line().rfind("-ERR [SYS/TEMP] too many sessions", 0), 0u);
    EXPECT_EQ(third.line(), "<closed>");
    // Silence ends a session; a freed place takes a new one.
    EXPECT_EQ(first.line(), "<closed>");
    std::this_thread::sleep_for(200ms);
    RawClient fourth(server.Port());
    EXPECT_EQ(fourth.line().rfind("+OK", 0), 0u);
}

// Another local user's process takes every place it may have and keeps
// each with NOOPs: the program's own client is still served at once, and
// the NOOP-only sessions are ended after the short idle time for others.
TEST(DemoServer, NoopHoldersOfAnotherProcessNeitherBlockTheProgramNorStay)
{
    DemoServer::Limits limits;
    limits.OthersIdle = 600ms;
    DemoServer server(DemoStartMessages(), limits);
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t holder = ::fork();
    if (holder == 0) {
        // Exits with the number of its sessions still open after 4 s of
        // NOOPs every 100 ms, or 100 when the server did not let it take
        // every place.
        std::vector<std::unique_ptr<RawClient>> held;
        for (int i = 0; i < limits.MaxSessions; ++i) {
            held.push_back(std::make_unique<RawClient>(server.Port()));
            if (held.back()->line().rfind("+OK", 0) != 0)
                ::_exit(100);
        }
        (void)!::write(ready[1], "x", 1);
        std::vector<bool> open(held.size(), true);
        for (int round = 0; round < 40; ++round) {
            for (std::size_t i = 0; i < held.size(); ++i)
                if (open[i] && held[i]->ask("NOOP") != "+OK")
                    open[i] = false;
            std::this_thread::sleep_for(100ms);
        }
        ::_exit(static_cast<int>(std::count(open.begin(), open.end(), true)));
    }
    ::close(ready[1]);
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1) << "the holder could not take every place";
    {
        TWirePOP3 pop;
        fill(pop, server.Port(), DemoServer::User, DemoServer::Password);
        pop.Connect();
        EXPECT_EQ(pop.CheckMessages(), 3);
        pop.Disconnect();
    }
    int status = 0;
    ::waitpid(holder, &status, 0);
    ::close(ready[0]);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "sessions kept alive by NOOPs alone";
}

TEST(DemoServer, ListensOnlyOn127001)
{
    DemoServer server(DemoStartMessages());
    RawClient other(server.Port(), "127.0.0.2"); // loopback too, but not the listening address
    EXPECT_FALSE(other.connected);
    RawClient own(server.Port());
    EXPECT_TRUE(own.connected);
}

TEST(DemoServer, ArrivalsComeOnTimeAndStopAtTheMailboxBound)
{
    DemoServer::Limits limits;
    limits.MaxMessages = 6;
    DemoServer server(DemoStartMessages(), limits);
    EXPECT_TRUE(server.Deliver(DemoArrival(100)));
    server.DeliverEvery(40ms);
    std::this_thread::sleep_for(500ms);
    const std::vector<DemoMessage> box = server.Messages();
    ASSERT_EQ(box.size(), 6u);
    EXPECT_EQ(box[4].Uid, "demo-arrival-1");
    EXPECT_FALSE(server.Deliver(DemoArrival(101)));
}

TEST(DemoServer, PythonsPoplibSeesEveryCommandWork)
{
    if (std::system(PYTHON " -c 'import poplib' 2>/dev/null") != 0)
        GTEST_SKIP() << "no python3";
    const std::vector<DemoMessage> start = DemoStartMessages();
    DemoServer server(start);
    std::string name = testing::TempDir() + "tolmu-demo-retr-XXXXXX";
    const int fd = ::mkstemp(name.data());
    ASSERT_GE(fd, 0);
    ::close(fd);
    std::ofstream(name, std::ios::binary) << start[1].Text;
    const std::string cmd = std::string(PYTHON " '" POPLIB_SCRIPT "' ") + std::to_string(server.Port()) + " '" +
                            name + "' " + start[0].Uid + " 2>&1";
    FILE* p = ::popen(cmd.c_str(), "r");
    std::string out;
    char buf[512];
    while (std::size_t n = std::fread(buf, 1, sizeof buf, p))
        out.append(buf, n);
    const int status = ::pclose(p);
    ::unlink(name.c_str());
    EXPECT_EQ(status, 0) << out;
    EXPECT_EQ(server.Messages().size(), 2u) << "the deletion at QUIT";
}
