// SPDX-License-Identifier: GPL-3.0-or-later
#include "dialup/PppSource.h"

#include "base/FileDescriptor.h"
#include "dialup/RasPlatform.h"
#include "dialup/RasText.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace dialup {

namespace {

// A command line of pppd with "call NAME" fits easily; longer ones are cut.
constexpr std::size_t maxCmdlineBytes = 4096;
constexpr std::size_t maxPidFileBytes = 128;

std::string envOr(const char* name, const std::string& fallback)
{
    const char* value = std::getenv(name);
    return value && *value ? std::string(value) : fallback;
}

bool isFolder(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool isRegularFile(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Reads at most maxBytes of a regular file. Non-blocking open, so a FIFO
// planted where a pid file should be cannot hang the caller.
std::optional<std::string> readSmallFile(const std::string& path, std::size_t maxBytes)
{
    const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    const int fd = file.get();
    if (fd < 0)
        return std::nullopt;
    struct stat st {};
    std::optional<std::string> text;
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        std::string buffer(maxBytes, '\0');
        std::size_t got = 0;
        while (got < maxBytes) {
            const ssize_t n = ::read(fd, buffer.data() + got, maxBytes - got);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            got += static_cast<std::size_t>(n);
        }
        buffer.resize(got);
        text = std::move(buffer);
    }
    return text;
}

struct DirCloser {
    void operator()(DIR* d) const { ::closedir(d); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

std::optional<pid_t> parsePidName(const std::string& text)
{
    if (text.empty() || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    return ParsePidFile(text);
}

// Through syscall(): older C libraries lack the wrappers, and some ship a
// header without C linkage.
int openPidfd(pid_t pid)
{
    return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
}

int signalPidfd(int pidfd, int sig)
{
    return static_cast<int>(::syscall(SYS_pidfd_send_signal, pidfd, sig, nullptr, 0));
}

} // namespace

PppRoots PppRoots::FromEnvironment()
{
    return PppRoots{envOr("TOLMU_PPP_PEERS", "/etc/ppp/peers"),
                    envOr("TOLMU_PPP_RUN", isFolder("/run") ? "/run" : "/var/run"), envOr("TOLMU_PROC", "/proc")};
}

PppSource::PppSource(PppRoots roots) : m_roots(std::move(roots)) {}

void PppSource::enumEntries(std::vector<std::string>& names)
{
    DirHandle dir(::opendir(m_roots.Peers.c_str()));
    if (!dir)
        return;
    std::vector<std::string> found;
    // One more than the room is enough to make the enumeration fail.
    while (found.size() <= MaxRasRecords) {
        const dirent* e = ::readdir(dir.get());
        if (!e)
            break;
        const std::string name = e->d_name;
        if (IsPeerFileName(name) && isRegularFile(m_roots.Peers + "/" + name))
            found.push_back(name);
    }
    std::sort(found.begin(), found.end());
    names.insert(names.end(), found.begin(), found.end());
}

bool PppSource::hasEntry(const std::string& name)
{
    return IsPeerFileName(name) && isRegularFile(m_roots.Peers + "/" + name);
}

std::optional<std::string> PppSource::procText(pid_t pid, const char* file, std::size_t maxBytes) const
{
    return readSmallFile(m_roots.Proc + "/" + std::to_string(pid) + "/" + file, maxBytes);
}

bool PppSource::isPppd(pid_t pid) const
{
    const auto comm = procText(pid, "comm", 64);
    return comm && (*comm == "pppd\n" || *comm == "pppd");
}

std::optional<pid_t> PppSource::pidFilePid(const std::string& name) const
{
    if (!IsUsableEntryName(name))
        return std::nullopt;
    const auto text = readSmallFile(m_roots.Run + "/ppp-" + name + ".pid", maxPidFileBytes);
    return text ? ParsePidFile(*text) : std::nullopt;
}

// The process's own command line must name the entry (an exiting pppd has
// none left, and then there is nothing to end).
bool PppSource::isPppdOf(pid_t pid, const std::string& name) const
{
    if (!isPppd(pid))
        return false;
    const auto image = procText(pid, "cmdline", maxCmdlineBytes);
    return image && PppdNamesEntry(SplitCmdline(*image), name);
}

void PppSource::enumConnections(std::vector<RasConnection>& connections)
{
    std::vector<RasConnection> found;
    auto add = [&found](const std::string& name, pid_t pid) {
        RasConnection c{name, std::to_string(pid)};
        if (std::none_of(found.begin(), found.end(), [&c](const RasConnection& f) {
                return f.EntryName == c.EntryName && f.Handle == c.Handle;
            }))
            found.push_back(std::move(c));
    };

    if (DirHandle proc{::opendir(m_roots.Proc.c_str())}) {
        while (const dirent* e = ::readdir(proc.get())) {
            const auto pid = parsePidName(e->d_name);
            if (!pid || !isPppd(*pid))
                continue;
            if (const auto image = procText(*pid, "cmdline", maxCmdlineBytes)) {
                if (const auto name = PppdCallEntry(SplitCmdline(*image)))
                    add(*name, *pid);
            }
        }
    }

    if (DirHandle run{::opendir(m_roots.Run.c_str())}) {
        constexpr std::string_view prefix = "ppp-", suffix = ".pid";
        while (const dirent* e = ::readdir(run.get())) {
            const std::string_view file = e->d_name;
            if (file.size() <= prefix.size() + suffix.size() || !file.starts_with(prefix) || !file.ends_with(suffix))
                continue;
            const std::string name(file.substr(prefix.size(), file.size() - prefix.size() - suffix.size()));
            if (!IsUsableEntryName(name))
                continue;
            // Believed only when that pppd says it runs this link.
            const auto pid = pidFilePid(name);
            if (pid && isPppdOf(*pid, name))
                add(name, *pid);
        }
    }
    connections.insert(connections.end(), found.begin(), found.end());
}

HangUpResult PppSource::hangUp(const RasConnection& connection)
{
    const auto pid = parsePidName(connection.Handle);
    if (!pid)
        return HangUpResult::Gone;
    // A pidfd pins the process: if it ends and its pid is reused between the
    // check below and the signal, the signal fails instead of reaching the
    // newcomer.
    const FileDescriptor pidfd(openPidfd(*pid));
    if (pidfd.get() < 0 && errno == ESRCH)
        return HangUpResult::Gone;
    if (!isPppdOf(*pid, connection.EntryName))
        return HangUpResult::Gone;
    const int rc = pidfd.get() >= 0 ? signalPidfd(pidfd.get(), SIGTERM) : ::kill(*pid, SIGTERM);
    if (rc == 0)
        return HangUpResult::Sent;
    return errno == ESRCH ? HangUpResult::Gone : HangUpResult::Refused;
}

} // namespace dialup
