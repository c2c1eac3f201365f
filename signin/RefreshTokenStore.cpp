// SPDX-License-Identifier: GPL-3.0-or-later
#include "signin/RefreshTokenStore.h"

#include "base/AtomicFile.h"
#include "base/Exception.h"
#include "signin/SignInErrors.h"

#include <nlohmann/json.hpp>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

// More than any number of accounts' tokens.
constexpr off_t MaxFileBytes = 1 << 20;
// How often a wait for the lock looks again (and asks the stop hook).
constexpr auto LockPoll = std::chrono::milliseconds(20);

TSecretKey asToken(TSecretKey key)
{
    key.Kind = TSecretKind::RefreshToken;
    return key;
}

std::string fileKey(const TSecretKey& k) { return k.User + "@" + k.Host + ":" + std::to_string(k.Port); }

std::string folderOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

std::string lockPathOf(const std::string& tokenFile) { return folderOf(tokenFile) + "/oauth2-tokens.lock"; }

[[noreturn]] void cannotRead(const std::string& path, const std::string& why)
{
    throw Exception("Cannot read the sign-in token file \"" + path + "\". " + why);
}

std::string ownerName(uid_t uid)
{
    const passwd* pw = ::getpwuid(uid);
    return pw ? "user " + std::string(pw->pw_name) : "user id " + std::to_string(uid);
}

// The rule of the settings folder, and group-writable too: whoever may
// write here may plant a token file (this user's mail client then signs in
// to their mailbox) or hold the lock. Root may own it. A missing folder is
// no error: there is nothing in it to read.
void checkTokenFolder(const std::string& folder)
{
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return;
    if (st.st_uid != ::geteuid() && st.st_uid != 0)
        throw Exception("Bad owner of the sign-in token folder " + folder + ": it belongs to " + ownerName(st.st_uid) +
                        ", not to you; refusing to use it");
    if (st.st_mode & (S_IWGRP | S_IWOTH))
        throw Exception("Bad permissions on the sign-in token folder " + folder +
                        ": other users may write to it; refusing to use it (chmod go-w '" + folder + "' mends that)");
}

// Makes the token folder (0700) and the folders above it when missing.
// Returns errno, 0 when it is there.
int makeTokenFolder(const std::string& folder)
{
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(folder).parent_path(), ec);
    return ::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST ? errno : 0;
}

// The file's tokens object ({} when there is no file). damagedIsEmpty: a
// damaged file reads as empty (a rewrite replaces it) instead of throwing.
nlohmann::json readTokens(const std::string& path, bool damagedIsEmpty)
{
    const FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    const int fd = file.get();
    if (fd < 0) {
        if (errno == ENOENT)
            return nlohmann::json::object();
        cannotRead(path, errno == ELOOP ? "It is a symbolic link." : std::strerror(errno));
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        cannotRead(path, std::strerror(errno));
    if (!S_ISREG(st.st_mode))
        cannotRead(path, "It is not a regular file.");
    if (st.st_uid != ::geteuid())
        cannotRead(path, "It belongs to " + ownerName(st.st_uid) + ", not to you: remove it, then sign in again.");
    // Copied in with a careless mode: only the user may read tokens.
    if (st.st_mode & 077)
        ::fchmod(fd, 0600);
    std::string content;
    if (st.st_size <= MaxFileBytes) {
        char buf[8192];
        ssize_t n;
        while ((n = ::read(fd, buf, sizeof buf)) > 0 && content.size() <= static_cast<std::size_t>(MaxFileBytes))
            content.append(buf, static_cast<std::size_t>(n));
        if (n < 0)
            cannotRead(path, std::strerror(errno));
    }
    nlohmann::json j = nlohmann::json::parse(content, nullptr, false);
    if (j.is_object() && j.contains("tokens") && j["tokens"].is_object())
        return j["tokens"];
    if (damagedIsEmpty)
        return nlohmann::json::object();
    cannotRead(path, "It is damaged: sign in again.");
}

// Runs change on the file's tokens, then writes them back (or removes the
// file when none are left). The caller holds the lock.
template <class Change> void rewrite(const std::string& path, Change change)
{
    nlohmann::json tokens = readTokens(path, true);
    if (!change(tokens))
        return;
    if (tokens.empty()) {
        if (::unlink(path.c_str()) != 0 && errno != ENOENT)
            throw Exception("Cannot remove file \"" + path + "\". " + std::strerror(errno));
        return;
    }
    nlohmann::json all = {{"version", 1}, {"tokens", tokens}};
    WriteFileAtomically(path, all.dump(2) + "\n", 0600);
}

} // namespace

std::string DefaultTokenFilePath()
{
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data && *data == '/')
        return std::string(data) + "/tolmu/oauth2-tokens.json";
    const char* home = std::getenv("HOME");
    if (!home || !*home)
        throw Exception("Neither XDG_DATA_HOME nor HOME is set: there is no place for the sign-in token file.");
    return std::string(home) + "/.local/share/tolmu/oauth2-tokens.json";
}

TTokenPlace ChooseTokenPlace(int probeMs) { return KeyringAvailable(probeMs) ? TTokenPlace::Keyring : TTokenPlace::File; }

namespace {

std::string tokenFileFor(TTokenPlace place, std::string filePath)
{
    if (!filePath.empty() || place == TTokenPlace::File)
        return filePath.empty() ? DefaultTokenFilePath() : filePath;
    try {
        return DefaultTokenFilePath();
    } catch (const Exception&) {
        return {}; // the keyring needs no file; it goes without the lock
    }
}

} // namespace

TRefreshTokenStore::TRefreshTokenStore(TTokenPlace place, std::string filePath)
    : m_place(place), m_filePath(tokenFileFor(place, std::move(filePath))),
      m_secrets(place == TTokenPlace::Keyring ? MakeSecretStore(place) : MakeSecretStore(place, m_filePath))
{
}

TRefreshTokenStore::THold TRefreshTokenStore::Hold(int timeoutSeconds, const TStopHook& stop) const
{
    // The keyring kept its tokens before there was a lock: a home where the
    // lock cannot be made must not cost a keyring account its sign-in.
    const bool bestEffort = m_place == TTokenPlace::Keyring;
    if (m_filePath.empty())
        return THold();
    const std::string folder = folderOf(m_filePath);
    if (const int e = makeTokenFolder(folder)) {
        if (bestEffort)
            return THold();
        throw Exception("Cannot create the folder \"" + folder + "\". " + std::strerror(e));
    }
    checkTokenFolder(folder);
    const std::string path = lockPathOf(m_filePath);
    THold held(::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!held.m_fd.valid()) {
        if (bestEffort)
            return THold();
        throw Exception("Cannot open the lock file \"" + path + "\". " + std::strerror(errno));
    }
    const int seconds = timeoutSeconds > 0 ? timeoutSeconds : 1;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    for (;;) {
        if (::flock(held.m_fd.get(), LOCK_EX | LOCK_NB) == 0)
            return held;
        // A file system without locks: as before there was one.
        if (errno != EWOULDBLOCK && errno != EINTR)
            return THold();
        if (stop && stop())
            throw ESignInError("The sign-in was cancelled.");
        if (std::chrono::steady_clock::now() >= deadline)
            throw ESignInError("Another Tolmu kept the sign-in tokens busy for " + std::to_string(seconds) +
                               " seconds; try again.");
        std::this_thread::sleep_for(LockPoll);
    }
}

std::optional<std::string> TRefreshTokenStore::Load(const TSecretKey& key, int timeoutSeconds,
                                                    const TStopHook& stop) const
{
    return m_secrets->Read(asToken(key), timeoutSeconds, stop);
}

void TRefreshTokenStore::Save(const TSecretKey& key, const std::string& token, int timeoutSeconds,
                              const TStopHook& stop) const
{
    Save(Hold(timeoutSeconds, stop), key, token, timeoutSeconds, stop);
}

void TRefreshTokenStore::Save(const THold&, const TSecretKey& key, const std::string& token, int timeoutSeconds,
                              const TStopHook& stop) const
{
    m_secrets->Store(asToken(key), token, timeoutSeconds, stop);
}

bool TRefreshTokenStore::Remove(const TSecretKey& key, int timeoutSeconds, const TStopHook& stop) const
{
    const THold held = Hold(timeoutSeconds, stop);
    return m_secrets->Remove(asToken(key), timeoutSeconds, stop);
}

namespace {

// The token file behind the secret-store port: one JSON object of tokens
// by user, host and port. Its writers hold TRefreshTokenStore's lock.
class TTokenFileSecrets final : public TSecretStore {
public:
    explicit TTokenFileSecrets(std::string path) : m_path(std::move(path)) {}

    std::optional<std::string> Read(const TSecretKey& key, int, const TStopHook&) const override
    {
        checkTokenFolder(folderOf(m_path));
        const nlohmann::json tokens = readTokens(m_path, false);
        const auto it = tokens.find(fileKey(key));
        if (it == tokens.end() || !it->is_string() || it->get<std::string>().empty())
            return std::nullopt;
        return it->get<std::string>();
    }
    void Store(const TSecretKey& key, const std::string& secret, int, const TStopHook&) const override
    {
        rewrite(m_path, [&](nlohmann::json& tokens) {
            tokens[fileKey(key)] = secret;
            return true;
        });
    }
    bool Remove(const TSecretKey& key, int, const TStopHook&) const override
    {
        bool removed = false;
        rewrite(m_path, [&](nlohmann::json& tokens) {
            removed = tokens.erase(fileKey(key)) > 0;
            return removed;
        });
        return removed;
    }

private:
    std::string m_path;
};

} // namespace

std::unique_ptr<TSecretStore> MakeTokenFileSecrets(const std::string& filePath)
{
    return std::make_unique<TTokenFileSecrets>(filePath);
}
