#include "net/WirePOP3.h"

#include "mail/Charset.h"

#include <algorithm>
#include <climits>
#include <exception>

namespace {

// How long the logout waits for the server's answer to "Quit" at most
// (never longer than Timeout): a server that finishes its update only then
// would otherwise refuse the next login as "mailbox in use".
constexpr int32_t QuitReplySeconds = 5;

// How much of a reply RetrieveHeader reads off after a header block that
// the server did not end with "." (TOP n 0 should send nothing more).
constexpr std::size_t MaxSkippedBytes = std::size_t(64) << 20;

// A header block ends at its empty line, or at the "." ending the reply: a
// server that sends "." right after the last header line would otherwise
// leave the reader waiting for an empty line that never comes.
const std::vector<std::string> HeaderBlockEnds = {"", "."};
constexpr int32_t EndedByDot = 2; // 1-based index of "." above

} // namespace

TWirePOP3::TWirePOP3()
{
    Port = 110;
    SetReplyRule(m_replyRule);
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

// Fetching messages: RETR for a whole message, TOP n 0 for its header block.
bool TWirePOP3::Retrieve(int32_t number, TWireMessage& message)
{
    SendCommand("RETR " + std::to_string(number), -1, "", 0);
    if (ResultCode != 1)
        return false;
    ReportStatus("  " + ServerReplyText(ResultText));
    const ReplyRun run(*this, MaxMessageBytes);
    if (receiveHeaderBlock(message, HeaderBlockEnds) != EndedByDot)
        ReceiveBody(message);
    // Statuses are for reading: the encoded words of the headers decoded.
    ReportStatus("    From: " + ServerReplyText(mime::DecodeEncodedWords(message.From())));
    ReportStatus("    Subject: " + ServerReplyText(mime::DecodeEncodedWords(message.Subject())));
    return true;
}

bool TWirePOP3::RetrieveHeader(int32_t number, TWireMessage& message)
{
    SendCommand("TOP " + std::to_string(number) + " 0", 1, "Retrieving headers", 0);
    const ReplyRun run(*this);
    if (receiveHeaderBlock(message, HeaderBlockEnds) == EndedByDot)
        return true;
    std::string line = ReadLine();
    if (line == ".")
        return true;
    // Lines after the header block: read them off up to "." so that the next
    // command does not take them for its reply.
    std::size_t skipped = line.size();
    while (line != ".") {
        if (skipped > MaxSkippedBytes) {
            disconnectTransport();
            throw EWireException("Too much data.");
        }
        line = ReadLine();
        skipped += line.size() + 2;
    }
    return false;
}
