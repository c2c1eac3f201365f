// SPDX-License-Identifier: GPL-3.0-or-later
// The POP3 client against a real Dovecot on 127.0.0.1 (one server for the
// whole binary): login, refusal, counting, deleting, statuses.
#include "net/WirePOP3.h"
#include "tests/support/Dovecot.h"

#include <cctype>
#include <gtest/gtest.h>
#include <memory>
#include <thread>

using testsupport::Dovecot;
using Lines = std::vector<std::string>;

namespace {

Dovecot* server = nullptr;

class DovecotEnv : public testing::Environment {
public:
    void SetUp() override
    {
        if (testsupport::DovecotAvailable())
            m_server = std::make_unique<Dovecot>();
        server = m_server.get();
    }
    void TearDown() override
    {
        server = nullptr;
        m_server.reset();
    }

private:
    std::unique_ptr<Dovecot> m_server;
};

const auto* const env = testing::AddGlobalTestEnvironment(new DovecotEnv);

std::string message(int i)
{
    return "From: sender" + std::to_string(i) + "@example.org\r\nTo: alice@example.org\r\nSubject: note "
        + std::to_string(i) + "\r\n\r\nBody " + std::to_string(i) + "\r\n";
}

class Pop3Dovecot : public testing::Test {
protected:
    void SetUp() override
    {
        if (!server)
            GTEST_SKIP() << "dovecot is not available";
        // Dovecot lower-cases login names before the passwd-file lookup.
        user = testing::UnitTest::GetInstance()->current_test_info()->name();
        for (char& ch : user)
            ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        server->AddUser(user, "pw-" + user);
        server->ClearMailbox(user);
        pop.Host = "127.0.0.1";
        pop.Port = server->Port();
        pop.SetUserID(user);
        pop.SetPassword("pw-" + user);
        pop.Timeout = 10;
        pop.OnStatus = [this](TWire&, const std::string& s) { statuses.push_back(s); };
    }
    int32_t check()
    {
        pop.Connect();
        const int32_t n = pop.CheckMessages();
        pop.Disconnect();
        return n;
    }
    std::string user;
    TWirePOP3 pop;
    Lines statuses;
};

} // namespace

TEST_F(Pop3Dovecot, CountsFollowTheMailbox)
{
    EXPECT_EQ(check(), 0);
    for (int i = 1; i <= 25; ++i)
        server->Deliver(user, message(i));
    EXPECT_EQ(check(), 25);
    // Dovecot lists SASL PLAIN: one AUTH signs in, so no "User" status.
    const Lines expected = {"Connecting to 127.0.0.1", "Socket Connected", "Connected",
                            "Protection: not encrypted", "  Password is valid", "Checking for messages",
                            "Disconnecting", "Disconnected"};
    const Lines last(statuses.end() - 8, statuses.end());
    EXPECT_EQ(last, expected);
}

TEST_F(Pop3Dovecot, WrongPasswordIsRefusedWithTheServersLineAndClosed)
{
    pop.SetPassword("wrong");
    try {
        pop.Connect();
        FAIL();
    } catch (const EWireResponseError& e) {
        EXPECT_EQ(std::string(e.what()).rfind("-ERR", 0), 0u) << e.what();
    }
    EXPECT_FALSE(pop.Connected());
    EXPECT_EQ(statuses.back(), "Disconnected");
}

TEST_F(Pop3Dovecot, DeleteThenQuitRemovesExactlyThatMessage)
{
    for (int i = 1; i <= 3; ++i)
        server->Deliver(user, message(i));
    pop.Connect();
    EXPECT_EQ(pop.CheckMessages(), 3);
    EXPECT_TRUE(pop.Delete(2));
    EXPECT_FALSE(pop.Delete(2));  // already marked
    EXPECT_FALSE(pop.Delete(99)); // no such message
    EXPECT_TRUE(pop.Connected());
    pop.Disconnect();
    // QUIT is not waited for: give the server a moment to expunge.
    for (int i = 0; i < 100 && server->MessageCount(user) != 2; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(server->MessageCount(user), 2u);
    EXPECT_EQ(check(), 2);
}

TEST_F(Pop3Dovecot, UsersAddedInTheSameSecondCanAllLogIn)
{
    for (const char* u : {"u1", "u2", "u3"}) {
        server->AddUser(u, "p");
        TWirePOP3 p;
        p.Host = "127.0.0.1";
        p.Port = server->Port();
        p.SetUserID(u);
        p.SetPassword("p");
        EXPECT_NO_THROW(p.Connect()) << u;
        EXPECT_EQ(p.CheckMessages(), 0);
    }
}
