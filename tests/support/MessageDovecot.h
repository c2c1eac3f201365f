// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A private Dovecot holding the generated test messages
// (tests/mail/make_messages.py), one login per message: "u" + its name with
// the password "secret". Shared by the retrieval tests and the tolmu --show
// tests; started once per test binary as a gtest Environment.
#include "tests/mail/MessageFiles.h"
#include "tests/support/Dovecot.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace testsupport {

inline std::string UserFor(const testmail::TestMessage& m) { return "u" + m.name; }

class MessageDovecot : public testing::Environment {
public:
    // folder: where the messages are generated; bigBytes sizes the one large
    // attachment; more adds the binary's own users and messages.
    MessageDovecot(std::string folder, std::size_t bigBytes, std::function<void(Dovecot&)> more = {})
        : m_folder(std::move(folder)), m_bigBytes(bigBytes), m_more(std::move(more))
    {
    }

    void SetUp() override
    {
        m_messages = testmail::makeMessages(m_folder, m_bigBytes);
        if (!DovecotAvailable())
            return;
        m_server = std::make_unique<Dovecot>();
        for (const testmail::TestMessage& m : m_messages) {
            m_server->AddUser(UserFor(m), "secret");
            m_server->Deliver(UserFor(m), m.raw);
        }
        if (m_more)
            m_more(*m_server);
    }
    void TearDown() override { m_server.reset(); }

    // The server, or null when Dovecot is not available (tests then skip).
    Dovecot* Server() const { return m_server.get(); }
    const std::vector<testmail::TestMessage>& Messages() const { return m_messages; }
    const testmail::TestMessage& ByName(const std::string& name) const
    {
        for (const testmail::TestMessage& m : m_messages)
            if (m.name == name)
                return m;
        throw std::runtime_error("no test message " + name);
    }

private:
    std::string m_folder;
    std::size_t m_bigBytes;
    std::function<void(Dovecot&)> m_more;
    std::vector<testmail::TestMessage> m_messages;
    std::unique_ptr<Dovecot> m_server;
};

// Registers a MessageDovecot for this test binary; gtest owns it.
inline MessageDovecot* AddMessageDovecot(std::string folder, std::size_t bigBytes,
                                         std::function<void(Dovecot&)> more = {})
{
    auto* env = new MessageDovecot(std::move(folder), bigBytes, std::move(more));
    testing::AddGlobalTestEnvironment(env);
    return env;
}

} // namespace testsupport
