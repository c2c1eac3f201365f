// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/Dovecot.h"
#include "tests/support/TempDir.h"

#include <arpa/inet.h>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sstream>
#include <stdexcept>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace testsupport {

namespace {

const char* dovecotBinary()
{
    for (const char* p : {"/usr/sbin/dovecot", "/usr/local/sbin/dovecot"})
        if (::access(p, X_OK) == 0)
            return p;
    return nullptr;
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

} // namespace

bool CanConnect(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    return ok;
}

int FreePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        throw std::runtime_error("socket() failed");
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = 0;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0
        || ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
        ::close(fd);
        throw std::runtime_error("cannot bind a free port on 127.0.0.1");
    }
    ::close(fd);
    return ntohs(a.sin_port);
}

bool DovecotAvailable()
{
    const char* bin = dovecotBinary();
    if (!bin || ::access("/usr/lib/dovecot/pop3", X_OK) != 0)
        return false;
    const std::string cmd = std::string(bin) + " --version >/dev/null 2>&1";
    return std::system(cmd.c_str()) == 0;
}

Dovecot::Dovecot(DovecotOptions opts) : m_opts(std::move(opts))
{
    m_dir = MakeTempDir("tolmu-dovecot");
    ::chmod(m_dir.c_str(), 0711);
    // The mail user and the login processes must reach their files.
    OpenFolderChain(m_dir);
    fs::create_directories(m_dir + "/home");
    ::chmod((m_dir + "/home").c_str(), 0711);

    if (::geteuid() == 0) {
        // Dovecot refuses to run mail processes as root.
        const passwd* pw = ::getpwnam("nobody");
        if (!pw)
            throw std::runtime_error("no user 'nobody'");
        m_mailUid = pw->pw_uid;
        m_mailGid = pw->pw_gid;
        m_mailUser = "nobody";
        const group* gr = ::getgrgid(m_mailGid);
        m_mailGroup = gr ? gr->gr_name : "nogroup";
    } else {
        m_mailUid = ::geteuid();
        m_mailGid = ::getegid();
        const passwd* pw = ::getpwuid(m_mailUid);
        const group* gr = ::getgrgid(m_mailGid);
        m_mailUser = pw ? pw->pw_name : std::to_string(m_mailUid);
        m_mailGroup = gr ? gr->gr_name : std::to_string(m_mailGid);
    }
    fs::create_directories(m_dir + "/passwd.d");
    ::chmod((m_dir + "/passwd.d").c_str(), 0711);

    // A port taken by another test between FreePort() and the bind of
    // dovecot makes the start fail: try again with fresh ports.
    std::string lastError;
    for (int attempt = 0; attempt < 3; ++attempt) {
        m_port = FreePort();
        m_tlsPort = (!m_opts.tlsCertFile.empty() && !m_opts.tlsKeyFile.empty()) ? FreePort() : 0;
        m_proxyPort = m_opts.proxyListener ? FreePort() : 0;
        writeConfig();
        try {
            start();
            return;
        } catch (const std::exception& e) {
            lastError = e.what();
            stop();
        }
    }
    std::error_code ec;
    fs::remove_all(m_dir, ec);
    throw std::runtime_error(lastError);
}

Dovecot::~Dovecot()
{
    stop();
    std::error_code ec;
    fs::remove_all(m_dir, ec);
}

void Dovecot::writeConfig()
{
    const bool root = ::geteuid() == 0;
    std::ofstream c(m_dir + "/dovecot.conf", std::ios::trunc);
    c << "base_dir = " << m_dir << "/run\n"
      << "state_dir = " << m_dir << "/state\n"
      << "log_path = " << m_dir << "/dovecot.log\n"
      << "info_log_path = " << m_dir << "/dovecot.log\n"
      << "debug_log_path = " << m_dir << "/dovecot.log\n"
      << "listen = 127.0.0.1\n"
      << "protocols = pop3\n"
      << "disable_plaintext_auth = " << (m_opts.refusePlaintext ? "yes" : "no") << "\n"
      << "auth_mechanisms = plain"
      << (m_opts.oauth2IntrospectionUrl.empty() ? "" : " xoauth2 oauthbearer") << "\n"
      << "mail_location = maildir:~/Maildir\n"
      << "mail_uid = " << m_mailUser << "\n"
      << "mail_gid = " << m_mailGroup << "\n"
      << "first_valid_uid = 1\n"
      << "first_valid_gid = 1\n"
      << "mail_max_userip_connections = 0\n"
      << "login_trusted_networks = 127.0.0.0/8\n"
      // Tests log in with wrong passwords on purpose: no failure delay.
      << "auth_failure_delay = 0\n"
      << "shutdown_clients = yes\n";
    if (!root) {
        c << "default_login_user = " << m_mailUser << "\n"
          << "default_internal_user = " << m_mailUser << "\n"
          << "default_internal_group = " << m_mailGroup << "\n";
    }
    if (m_tlsPort) {
        c << (m_opts.refusePlaintext ? "ssl = required\n" : "ssl = yes\n")
          << "ssl_cert = <" << m_opts.tlsCertFile << "\n"
          << "ssl_key = <" << m_opts.tlsKeyFile << "\n";
    } else {
        c << "ssl = no\n";
    }
    if (m_proxyPort)
        c << "haproxy_trusted_networks = 127.0.0.0/8\n";
    if (!m_opts.oauth2IntrospectionUrl.empty()) {
        std::ofstream o(m_dir + "/oauth2.conf.ext", std::ios::trunc);
        o << "introspection_mode = post\n"
          << "introspection_url = " << m_opts.oauth2IntrospectionUrl << "\n"
          << "username_attribute = username\n"
          << "active_attribute = active\n"
          << "active_value = true\n";
        c << "passdb {\n  driver = oauth2\n  mechanisms = xoauth2 oauthbearer\n  args = " << m_dir
          << "/oauth2.conf.ext\n}\n";
    }
    c << "passdb {\n  driver = passwd-file\n  args = scheme=PLAIN " << m_dir << "/passwd.d/%u\n}\n"
      << "userdb {\n  driver = static\n  args = uid=" << m_mailUser << " gid=" << m_mailGroup
      << " home=" << m_dir << "/home/%u\n}\n"
      << "service pop3-login {\n"
      << "  inet_listener pop3 {\n    address = 127.0.0.1\n    port = " << m_port << "\n  }\n"
      << "  inet_listener pop3s {\n    address = 127.0.0.1\n    port = " << m_tlsPort << "\n"
      << (m_tlsPort ? "    ssl = yes\n" : "") << "  }\n";
    if (m_proxyPort)
        c << "  inet_listener pop3proxy {\n    address = 127.0.0.1\n    port = " << m_proxyPort
          << "\n    haproxy = yes\n  }\n";
    c << "}\n"
      // No growing login delay per address after the wrong-password tests.
      << "service anvil {\n  unix_listener anvil-auth-penalty {\n    mode = 0\n  }\n}\n"
      << "service imap-login {\n"
      << "  inet_listener imap {\n    port = 0\n  }\n"
      << "  inet_listener imaps {\n    port = 0\n  }\n"
      << "}\n";
    if (!c)
        throw std::runtime_error("cannot write " + m_dir + "/dovecot.conf");
}

void Dovecot::start()
{
    const char* bin = dovecotBinary();
    if (!bin)
        throw std::runtime_error("dovecot is not installed");
    const std::string conf = m_dir + "/dovecot.conf";
    const std::string log = m_dir + "/dovecot.log";
    const pid_t pid = ::fork();
    if (pid < 0)
        throw std::runtime_error("fork failed");
    if (pid == 0) {
        // A test binary that dies must not leave a server running.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        // Dovecot's own output goes to its log, never to the test's pipes.
        const int fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (fd >= 0) {
            ::dup2(fd, 1);
            ::dup2(fd, 2);
            ::close(fd);
        }
        const int null = ::open("/dev/null", O_RDONLY);
        if (null >= 0) {
            ::dup2(null, 0);
            ::close(null);
        }
        ::execl(bin, bin, "-F", "-c", conf.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    m_pid = pid;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            throw std::runtime_error("dovecot exited at start-up:\n" + Log());
        }
        if (CanConnect(m_port) && (!m_tlsPort || CanConnect(m_tlsPort))
            && (!m_proxyPort || CanConnect(m_proxyPort)))
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    throw std::runtime_error("dovecot did not start listening:\n" + Log());
}

void Dovecot::stop()
{
    if (m_pid <= 0)
        return;
    ::kill(m_pid, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    int status = 0;
    while (::waitpid(m_pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    m_pid = -1;
}

std::string Dovecot::Log() const
{
    return readFile(m_dir + "/dovecot.log");
}

std::string Dovecot::maildir(const std::string& user) const
{
    return m_dir + "/home/" + user + "/Maildir";
}

void Dovecot::giveToMailUser(const std::string& path) const
{
    if (::geteuid() == 0 && ::chown(path.c_str(), m_mailUid, m_mailGid) != 0)
        throw std::runtime_error("chown failed for " + path);
}

void Dovecot::AddUser(const std::string& user, const std::string& password)
{
    // One passwd file per user: Dovecot rereads a changed passwd file at
    // most once a second, but loads a file it has not seen yet at once, so
    // users added in quick succession can log in straight away.
    std::ofstream(m_dir + "/passwd.d/" + user, std::ios::trunc) << user << ":{PLAIN}" << password << "\n";

    const std::string home = m_dir + "/home/" + user;
    for (const std::string& d : {home, home + "/Maildir", home + "/Maildir/new",
                                 home + "/Maildir/cur", home + "/Maildir/tmp"}) {
        fs::create_directories(d);
        ::chmod(d.c_str(), 0700);
        giveToMailUser(d);
    }
}

void Dovecot::Deliver(const std::string& user, const std::string& rawMessage)
{
    const std::string name = std::to_string(std::time(nullptr)) + ".M" + std::to_string(++m_delivered)
        + "P" + std::to_string(::getpid()) + ".tolmu";
    const std::string tmp = maildir(user) + "/tmp/" + name;
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        out << rawMessage;
        if (!out)
            throw std::runtime_error("cannot write " + tmp);
    }
    giveToMailUser(tmp);
    fs::rename(tmp, maildir(user) + "/new/" + name);
}

void Dovecot::ClearMailbox(const std::string& user)
{
    for (const char* sub : {"/new", "/cur", "/tmp"}) {
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(maildir(user) + sub, ec))
            fs::remove(e.path(), ec);
    }
}

std::size_t Dovecot::MessageCount(const std::string& user) const
{
    std::size_t n = 0;
    for (const char* sub : {"/new", "/cur"}) {
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(maildir(user) + sub, ec))
            if (e.is_regular_file())
                ++n;
    }
    return n;
}

} // namespace testsupport
