// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One window per settings folder: a second `tolmu` on the same folder brings
// the running window to the front and ends, instead of checking the same
// mailboxes a second time. The running one holds a lock file in the user's
// runtime folder ($XDG_RUNTIME_DIR) and listens on a local socket beside
// it. The kernel drops the lock with the process, however it ends, so a
// crash never leaves a start refused. Without a runtime folder (or a lock
// that cannot be made) each start runs on its own, as it always did; so it
// does with a runtime folder that another user owns or others may write to.
#include <QSocketNotifier>

#include <chrono>
#include <functional>
#include <memory>
#include <string>

class TSingleInstance {
public:
    // runtimeDir: where the lock and the socket live; empty (or not the
    // user's own folder, closed to others' writes): no lock.
    // configDir: the settings folder the window is for; spellings of one
    // folder (a trailing "/", a symbolic link) share one lock.
    TSingleInstance(const std::string& runtimeDir, const std::string& configDir);
    ~TSingleInstance();
    TSingleInstance(const TSingleInstance&) = delete;
    TSingleInstance& operator=(const TSingleInstance&) = delete;

    // $XDG_RUNTIME_DIR when it is an absolute path, else empty.
    static std::string RuntimeDirFromEnvironment();

    // Another process holds the lock of this settings folder.
    bool Taken() const { return m_taken; }
    // Asks the process holding the lock to bring its window to the front;
    // true once it answered that it did. Waits at most timeoutMs, also for
    // a window that took the lock and is still starting.
    bool AskToRaise(int timeoutMs) const;
    // For the process that holds the lock: answers raise requests on the
    // event loop, running onRaise for each. Does nothing without the lock.
    // A caller that has not sent its request within quietCallerLimit is
    // hung up on.
    void Listen(std::function<void()> onRaise, std::chrono::milliseconds quietCallerLimit = std::chrono::seconds(5));

    const std::string& SocketPath() const { return m_socketPath; }

private:
    int m_lockFd = -1;
    bool m_taken = false;
    std::string m_socketPath;
    int m_listenFd = -1;
    // Owns the callers being answered.
    std::unique_ptr<QSocketNotifier> m_listener;
};
