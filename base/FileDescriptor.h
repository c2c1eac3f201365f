// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The one owner of an open file descriptor: closes it exactly once, on
// every way out, and can hand it on (move) or give it up (release).

class FileDescriptor {
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    FileDescriptor(FileDescriptor&& other) noexcept : m_fd(other.release()) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept;
    // Closes what it holds, leaving errno as it was: an owner that goes out
    // of scope while a failure is being reported must not change its reason.
    ~FileDescriptor();

    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    // Gives the descriptor up without closing it; holds none afterwards.
    int release();
    // Closes what it holds (keeping errno, as the destructor does) and takes fd.
    void reset(int fd = -1);
    // Closes now; returns false (errno set) when close reports an error.
    bool close();

private:
    int m_fd = -1;
};
