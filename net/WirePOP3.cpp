#include "net/WirePOP3.h"

#include <algorithm>
#include <climits>
#include <exception>

namespace {

// How long the logout waits for the server's answer to "Quit" at most
// (never longer than Timeout): a server that finishes its update only then
// would otherwise refuse the next login as "mailbox in use".
constexpr int32_t QuitReplySeconds = 5;

} // namespace

TWirePOP3::TWirePOP3()
{
    Port = 110;
}

TWirePOP3::~TWirePOP3()
{
    OnStatus = nullptr;
    OnWork = nullptr;
    OnIdle = nullptr;
    if (!Connected())
        return;
    try {
        Disconnect();
    } catch (...) {
        // Nothing a destructor could do about a failed logout line.
    }
}

void TWirePOP3::Connect()
{
    m_deletions = false;
    TWireMessageClient::Connect();
    try {
        const std::string greeting = ReadLine();
        ResultText = greeting;
        if (greeting.compare(0, 3, "+OK") != 0)
            throw EWireConnectRefused(ServerReplyText(greeting));
        ReportStatus("Connected");
        SendCommand("User " + m_userName, 1, "User Account is valid", 1);
        SendCommand("Pass " + m_password, 1, "Password is valid", 1);
    } catch (...) {
        // Log out and report what made the login fail. A logout that fails
        // too (the peer reset or closed the connection) would otherwise hide
        // the real cause behind "Socket is closed, cannot write" or a send
        // error; when the transport already closed the connection (time-out,
        // peer gone, line too long) no "Quit" is tried at all.
        const std::exception_ptr cause = std::current_exception();
        try {
            if (Connected())
                Disconnect();
        } catch (...) {
        }
        std::rethrow_exception(cause);
    }
}

int32_t TWirePOP3::CheckMessages(const std::function<void(const std::string& line)>& onLine)
{
    int32_t count = 0;
    m_listingFailed = false;
    m_listingError.clear();
    try {
        SendCommand("UIDL", 1, "Checking for messages", 0);
        // The listing is counted, never kept: memory stays flat however
        // large the mailbox is; a listing that never ends is cut off by
        // its line count, its size or its time.
        const ReplyRun run(*this, MaxListingBytes);
        for (std::string line = ReadLine(); line != "."; line = ReadLine()) {
            if (++count > MaxListingLines) {
                --count;
                disconnectTransport();
                throw EWireException("Too much data.");
            }
            if (onLine)
                onLine(line);
        }
    } catch (const Exception& e) {
        m_listingFailed = true;
        m_listingError = e.what();
        ReportStatus(e.what());
    }
    return count;
}

bool TWirePOP3::Delete(int32_t number)
{
    SendCommand("DELE " + std::to_string(number), -1, "", 0);
    if (ResultCode == 1)
        m_deletions = true;
    return ResultCode == 1;
}

void TWirePOP3::Disconnect()
{
    const bool deletions = m_deletions;
    m_deletions = false;
    try {
        WriteLine("Quit");
    } catch (...) {
        TWireMessageClient::Disconnect();
        throw;
    }
    // The server carries out the deletions when it answers "Quit"; closing
    // before the answer could leave the mailbox locked for the next login
    // and would lose a failed update.
    std::string refusal;
    const int32_t timeout = Timeout;
    Timeout = std::min(Timeout, QuitReplySeconds);
    try {
        if (ReadResponse() != 1 && deletions)
            refusal = ResultText;
    } catch (const Exception&) {
        // No answer in time, or the server just closed: the logout is done
        // all the same (the transport has already closed the connection).
    }
    Timeout = timeout;
    if (Connected())
        TWireMessageClient::Disconnect();
    if (!refusal.empty())
        throw EWireResponseError(ServerReplyText(refusal));
}
