// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A scripted POP3 mailbox whose messages a test changes between logins, as
// mail arriving and mail taken by another client change a real one. It
// takes any login, lists the messages with UIDL, and answers "TOP n 0" and
// "RETR n" with message n ("Subject: " its subject, which is its id unless
// given); a subject list shorter than the ids makes TOP and RETR of the
// later messages fail.
#include "tests/support/ScriptedServer.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace testsupport {

class LiveMailbox {
public:
    explicit LiveMailbox(std::vector<std::string> ids = {}, std::vector<std::string> subjects = {})
    {
        Set(std::move(ids), std::move(subjects));
        m_server.Send("+OK ready").Reply("+OK").Reply("+OK");
        for (int i = 0; i < 12; ++i)
            m_server.ReadLine().Custom([state = m_state](const std::vector<std::string>& got) {
                return state->answer(got.back());
            });
    }

    // The messages from the next command on, oldest first.
    void Set(std::vector<std::string> ids, std::vector<std::string> subjects = {})
    {
        std::lock_guard lock(m_state->mutex);
        m_state->ids = std::move(ids);
        m_state->subjects = std::move(subjects);
        m_state->subjectsGiven = !m_state->subjects.empty();
    }

    int Port() { return m_server.Port(); }
    int Connections() const { return m_server.Connections(); }
    ScriptedServer& Server() { return m_server; }

private:
    struct State {
        std::mutex mutex;
        std::vector<std::string> ids, subjects;
        bool subjectsGiven = false;

        std::string answer(const std::string& cmd)
        {
            std::lock_guard lock(mutex);
            if (cmd == "UIDL") {
                std::string listing = "+OK\r\n";
                for (std::size_t i = 0; i < ids.size(); ++i)
                    listing += std::to_string(i + 1) + " " + ids[i] + "\r\n";
                return listing + ".\r\n";
            }
            if (cmd == "Quit")
                return "+OK bye\r\n";
            int n = 0;
            const bool top = std::sscanf(cmd.c_str(), "TOP %d 0", &n) == 1;
            const bool retr = !top && std::sscanf(cmd.c_str(), "RETR %d", &n) == 1;
            const std::size_t shown = subjectsGiven ? subjects.size() : ids.size();
            if ((top || retr) && n >= 1 && static_cast<std::size_t>(n) <= std::min(shown, ids.size())) {
                const std::string& subject = subjectsGiven ? subjects[n - 1] : ids[n - 1];
                return "+OK\r\nFrom: sender" + std::to_string(n) + " <s@x>\r\nSubject: " + subject + "\r\n\r\n"
                    + (retr ? "body of " + ids[n - 1] + "\r\n" : "") + ".\r\n";
            }
            return "-ERR no such message\r\n";
        }
    };

    std::shared_ptr<State> m_state = std::make_shared<State>();
    ScriptedServer m_server;
};

} // namespace testsupport
