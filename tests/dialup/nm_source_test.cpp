// SPDX-License-Identifier: GPL-3.0-or-later
// The NetworkManager source against python3-dbusmock's NetworkManager on a
// private bus (tests/dialup/nm_mock.py): an active gsm link "Mobile" on one
// device and an ethernet link "Wired" on another.
#include "dialup/NmSource.h"
#include "dialup/RASManager.h"
#include "tests/dialup/Disconnect.h"
#include "tests/support/BusMock.h"
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

// NetworkManager as nm_mock.py plays it.
class MockNetworkManager : public testsupport::BusMock {
public:
    MockNetworkManager() : BusMock(std::string(TOLMU_SOURCE_DIR) + "/tests/dialup/nm_mock.py") {}
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
