// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A python3-dbusmock script on a private bus (tests/support/private_bus.py),
// run as a child and driven over two pipes: it prints the bus address on
// its first line, then answers each command line with one line, and stops
// its bus and mocks when its input ends.
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace testsupport {

// A Python that can run dbusmock (a virtualenv's python3 first in PATH may
// not see Debian's python3-dbusmock); empty when there is none.
inline std::string DbusmockPython()
{
    for (const char* candidate : {"python3", "/usr/bin/python3"}) {
        const std::string probe = std::string(candidate) + " -c 'import dbusmock' >/dev/null 2>&1";
        if (std::system(probe.c_str()) == 0)
            return candidate;
    }
    return {};
}

class BusMock {
public:
    // Runs script (a path) with one optional argument. Throws
    // std::runtime_error when no Python has dbusmock or the bus did not start.
    explicit BusMock(const std::string& script, const std::string& argument = "")
    {
        const std::string python = DbusmockPython();
        if (python.empty())
            throw std::runtime_error("no python3 with dbusmock (Debian package python3-dbusmock)");
        int toChild[2], fromChild[2];
        if (::pipe2(toChild, O_CLOEXEC) != 0 || ::pipe2(fromChild, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe failed");
        m_pid = ::fork();
        if (m_pid == 0) {
            ::dup2(toChild[0], 0);
            ::dup2(fromChild[1], 1);
            ::execlp(python.c_str(), python.c_str(), script.c_str(),
                     argument.empty() ? nullptr : argument.c_str(), nullptr);
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
    ~BusMock()
    {
        ::close(m_in);
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
    BusMock(const BusMock&) = delete;
    BusMock& operator=(const BusMock&) = delete;

    // Sends one command line and returns the answer line.
    std::string command(const std::string& text)
    {
        const std::string line = text + "\n";
        if (::write(m_in, line.data(), line.size()) != static_cast<ssize_t>(line.size()))
            throw std::runtime_error("the mock is gone");
        return readLine();
    }

    std::string address; // of the private bus

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

} // namespace testsupport
