// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/SingleInstance.h"

#include "base/FileDescriptor.h"

#include <QObject>
#include <QTimer>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace {

const char* const RaiseRequest = "raise\n";
const char* const RaiseAnswer = "raised\n";

// A short, stable name for a settings folder: socket paths have little room
// (about 100 bytes), and the same folder must give the same name in every
// build of the program.
std::string folderKey(const std::string& configDir)
{
    std::error_code ec;
    std::string path = std::filesystem::weakly_canonical(configDir, ec).string();
    if (ec)
        path = configDir;
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    uint64_t hash = 14695981039346656037ull; // FNV-1a
    for (const unsigned char c : path) {
        hash ^= c;
        hash *= 1099511628211ull;
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

bool socketAddress(const std::string& path, sockaddr_un& address)
{
    address = {};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return true;
}

// A runtime folder that another user owns, or that others may write to,
// could hold a lock or a socket planted to hold back or answer our starts:
// such a folder counts as none.
bool privateFolder(const std::string& dir)
{
    struct stat st {};
    return ::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid()
        && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// One request over one connection: true when the answer came in time.
bool requestRaise(const std::string& socketPath, std::chrono::steady_clock::time_point deadline)
{
    sockaddr_un address;
    if (!socketAddress(socketPath, address))
        return false;
    const FileDescriptor s(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (s.get() < 0 || ::connect(s.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
        return false;
    const std::size_t length = std::strlen(RaiseRequest);
    if (::send(s.get(), RaiseRequest, length, MSG_NOSIGNAL) != static_cast<ssize_t>(length))
        return false;
    std::string answer;
    while (answer.find('\n') == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd p{s.get(), POLLIN, 0};
        if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) != 1)
            return false;
        char buffer[64];
        const ssize_t n = ::recv(s.get(), buffer, sizeof buffer, 0);
        if (n <= 0)
            return false;
        answer.append(buffer, static_cast<std::size_t>(n));
    }
    return answer == RaiseAnswer;
}

// One caller on the socket: its request line is read as it comes, never
// waited for, so a caller that says nothing cannot hold up the window; nor
// keep its connection open past quietLimit.
class Caller : public QObject {
public:
    Caller(int fd, const std::function<void()>& onRaise, std::chrono::milliseconds quietLimit, QObject* owner)
        : QObject(owner), m_fd(fd), m_notifier(fd, QSocketNotifier::Read), m_onRaise(onRaise)
    {
        connect(&m_notifier, &QSocketNotifier::activated, this, &Caller::read);
        m_quiet.setSingleShot(true);
        connect(&m_quiet, &QTimer::timeout, this, &Caller::end);
        m_quiet.start(quietLimit);
    }

private:
    void end()
    {
        m_notifier.setEnabled(false);
        m_quiet.stop();
        deleteLater();
    }

    void read()
    {
        char buffer[64];
        const ssize_t n = ::recv(m_fd.get(), buffer, sizeof buffer, 0);
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            return;
        if (n > 0)
            m_line.append(buffer, static_cast<std::size_t>(n));
        const bool complete = m_line.find('\n') != std::string::npos;
        if (complete && m_line == RaiseRequest) {
            if (m_onRaise)
                m_onRaise();
            (void)!::send(m_fd.get(), RaiseAnswer, std::strlen(RaiseAnswer), MSG_NOSIGNAL | MSG_DONTWAIT);
        }
        if (complete || n <= 0 || m_line.size() > sizeof buffer)
            end();
    }

    FileDescriptor m_fd; // closed after the notifier on it is gone
    QSocketNotifier m_notifier;
    QTimer m_quiet;
    std::function<void()> m_onRaise;
    std::string m_line;
};

} // namespace

TSingleInstance::TSingleInstance(const std::string& runtimeDir, const std::string& configDir)
{
    if (runtimeDir.empty() || !privateFolder(runtimeDir))
        return;
    const std::string base = runtimeDir + (runtimeDir.back() == '/' ? "" : "/") + "tolmu-" + folderKey(configDir);
    m_socketPath = base + ".socket";
    // Close-on-exec: a mail program started from the window must not keep
    // the lock after the window ends. A link in the lock's place is not
    // followed (nor is a lock then taken).
    m_lockFd = ::open((base + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (m_lockFd < 0)
        return;
    if (::flock(m_lockFd, LOCK_EX | LOCK_NB) != 0) {
        m_taken = errno == EWOULDBLOCK;
        ::close(m_lockFd);
        m_lockFd = -1;
    }
}

TSingleInstance::~TSingleInstance()
{
    // The socket goes first, so a start that finds the lock free never
    // finds a socket of ours without a listener.
    if (m_listenFd >= 0) {
        m_listener.reset();
        ::close(m_listenFd);
        ::unlink(m_socketPath.c_str());
    }
    if (m_lockFd >= 0)
        ::close(m_lockFd);
}

std::string TSingleInstance::RuntimeDirFromEnvironment()
{
    const char* dir = std::getenv("XDG_RUNTIME_DIR");
    return dir && dir[0] == '/' ? std::string(dir) : std::string();
}

bool TSingleInstance::AskToRaise(int timeoutMs) const
{
    if (!m_taken)
        return false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    // The window holding the lock listens only once its application is up.
    while (std::chrono::steady_clock::now() < deadline) {
        if (requestRaise(m_socketPath, deadline))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

void TSingleInstance::Listen(std::function<void()> onRaise, std::chrono::milliseconds quietCallerLimit)
{
    sockaddr_un address;
    if (m_lockFd < 0 || m_listenFd >= 0 || !socketAddress(m_socketPath, address))
        return;
    // A socket left by a window that crashed: the lock says nobody uses it.
    ::unlink(m_socketPath.c_str());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return;
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 4) != 0) {
        ::close(fd);
        return;
    }
    m_listenFd = fd;
    m_listener = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    QSocketNotifier* listener = m_listener.get();
    QObject::connect(listener, &QSocketNotifier::activated, listener,
                     [fd, listener, quietCallerLimit, onRaise = std::move(onRaise)] {
                         int caller;
                         while ((caller = ::accept4(fd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK)) >= 0)
                             // owned by the listener until it has answered
                             new Caller(caller, onRaise, quietCallerLimit, listener);
                     });
}
