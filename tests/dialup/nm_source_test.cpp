// The NetworkManager source against python3-dbusmock's NetworkManager on a
// private bus (tests/dialup/nm_mock.py): an active gsm link "Mobile" on one
// device and an ethernet link "Wired" on another.
#include "dialup/NmSource.h"
#include "dialup/RASManager.h"
#include "tests/dialup/Disconnect.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

// A Python that can run dbusmock (a virtualenv's python3 first in PATH
// may not see Debian's python3-dbusmock).
std::string dbusmockPython()
{
    for (const char* candidate : {"python3", "/usr/bin/python3"}) {
        const std::string probe = std::string(candidate) + " -c 'import dbusmock' >/dev/null 2>&1";
        if (std::system(probe.c_str()) == 0)
            return candidate;
    }
    return {};
}

// Runs nm_mock.py and talks to it over two pipes.
class MockNetworkManager {
public:
    MockNetworkManager()
    {
        const std::string python = dbusmockPython();
        if (python.empty())
            throw std::runtime_error("no python3 with dbusmock (Debian package python3-dbusmock)");
        int toChild[2], fromChild[2];
        if (::pipe2(toChild, O_CLOEXEC) != 0 || ::pipe2(fromChild, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe failed");
        const std::string script = std::string(TOLMU_SOURCE_DIR) + "/tests/dialup/nm_mock.py";
        m_pid = ::fork();
        if (m_pid == 0) {
            ::dup2(toChild[0], 0);
            ::dup2(fromChild[1], 1);
            ::execlp(python.c_str(), python.c_str(), script.c_str(), nullptr);
            ::_exit(127);
        }
        ::close(toChild[0]);
        ::close(fromChild[1]);
        m_in = toChild[1];
        m_out = fromChild[0];
        address = readLine();
        if (address.rfind("unix:", 0) != 0)
            throw std::runtime_error("the mock did not start: '" + address + "'");
    }
    ~MockNetworkManager()
    {
        ::close(m_in); // the script stops its bus and mock when its input ends
        for (int i = 0; i < 500; ++i) {
            if (::waitpid(m_pid, nullptr, WNOHANG) == m_pid) {
                m_pid = -1;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        ::close(m_out);
    }
    MockNetworkManager(const MockNetworkManager&) = delete;
    MockNetworkManager& operator=(const MockNetworkManager&) = delete;

    // Sends one command line and returns the answer line.
    std::string command(const std::string& text)
    {
        const std::string line = text + "\n";
        if (::write(m_in, line.data(), line.size()) != static_cast<ssize_t>(line.size()))
            throw std::runtime_error("the mock is gone");
        return readLine();
    }

    std::string address;

private:
    std::string readLine()
    {
        std::string line;
        char c = 0;
        pollfd p{m_out, POLLIN, 0};
        while (::poll(&p, 1, 30000) == 1 && ::read(m_out, &c, 1) == 1 && c != '\n')
            line += c;
        return line;
    }

    pid_t m_pid = -1;
    int m_in = -1, m_out = -1;
};

// No ppp entries or pppd processes: only NetworkManager's links count.
class NmOnly : public ::testing::Test {
protected:
    void SetUp() override
    {
        ::setenv("TOLMU_PPP_PEERS", (m_dir.path + "/peers").c_str(), 1);
        ::setenv("TOLMU_PPP_RUN", m_dir.path.c_str(), 1);
        ::setenv("TOLMU_PROC", m_dir.path.c_str(), 1);
        ::setenv("TOLMU_NM_BUS", nm.address.c_str(), 1);
    }

    testsupport::ScratchDir m_dir{"tolmu-dialup-nm"};
    MockNetworkManager nm;
};

} // namespace

TEST_F(NmOnly, ListsThePointToPointLinkOnly)
{
    std::vector<std::string> list;
    ListEntries(list);
    EXPECT_EQ(list, std::vector<std::string>{"Mobile"});
    ListConnections(list);
    EXPECT_EQ(list, std::vector<std::string>{"Mobile"});

    std::vector<int32_t> errors;
    TRASManager ras;
    ras.OnError = [&errors](TRASManager&, int32_t code) { errors.push_back(code); };
    ras.SelectEntry("Wired");
    EXPECT_EQ(errors, std::vector<int32_t>{623});
    ras.SelectEntry("Mobile");
    EXPECT_TRUE(ras.IsConnected());
}

TEST_F(NmOnly, DisconnectDeactivatesTheMobileLinkAndNotTheWiredOne)
{
    TRASManager ras;
    EXPECT_TRUE(testsupport::DisconnectAll(ras).empty());
    EXPECT_EQ(nm.command("active"), "Wired");
    std::vector<std::string> list;
    ListEntries(list);
    EXPECT_TRUE(list.empty());
}

TEST_F(NmOnly, RefusedDeactivationIsReported)
{
    ASSERT_EQ(nm.command("refuse"), "ok");
    TRASManager ras;
    EXPECT_EQ(testsupport::DisconnectAll(ras), std::vector<std::string>{"Mobile"});
    EXPECT_EQ(nm.command("active"), "Mobile,Wired");
}

TEST(NmSource, NoNetworkManagerIsEmptyAndQuick)
{
    testsupport::ScratchDir dir("tolmu-dialup-nobus");
    const auto start = std::chrono::steady_clock::now();
    for (const std::string& address : {"unix:path=" + dir.path + "/none", std::string("not an address")}) {
        dialup::NmSource source(address);
        std::vector<std::string> names;
        std::vector<dialup::RasConnection> connections;
        source.enumEntries(names);
        source.enumConnections(connections);
        EXPECT_TRUE(names.empty()) << address;
        EXPECT_TRUE(connections.empty()) << address;
        EXPECT_FALSE(source.hasEntry("Mobile")) << address;
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}
