// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/WirePOP3.h"

#include "base/Base64.h"
#include "mail/Charset.h"
#include "net/TlsStream.h"

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

// Challenges one AUTH exchange answers before it gives up: the mechanisms
// of the table need one at most.
constexpr int MaxSaslRounds = 4;

// The reply rule for a scope: an AUTH exchange reads by its own.
class RuleScope {
public:
    RuleScope(TWireSocket& socket, const TReplyRule& during, const TReplyRule& after)
        : m_socket(socket), m_after(after)
    {
        m_socket.SetReplyRule(during);
    }
    ~RuleScope() { m_socket.SetReplyRule(m_after); }
    RuleScope(const RuleScope&) = delete;
    RuleScope& operator=(const RuleScope&) = delete;

private:
    TWireSocket& m_socket;
    const TReplyRule& m_after;
};

} // namespace

TUidlEntry ParseUidlLine(std::string_view line, int32_t place)
{
    // "n unique-id": a number that does not read as one takes the line's
    // place; blanks or tabs part the two; an id of nothing is none.
    int32_t number = 0;
    std::size_t i = 0;
    while (i < line.size() && line[i] >= '0' && line[i] <= '9' && number < 100000000)
        number = number * 10 + (line[i++] - '0');
    if (i == 0 || number == 0)
        number = place;
    std::string_view id = line.substr(std::min(i, line.size()));
    while (!id.empty() && (id.front() == ' ' || id.front() == '\t'))
        id.remove_prefix(1);
    while (!id.empty() && (id.back() == ' ' || id.back() == '\t'))
        id.remove_suffix(1);
    return {number, std::string(id)};
}

TWirePOP3::TWirePOP3()
{
    Port = 110;
    TlsPort = Pop3TlsPort;
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
    m_stls = false;
    m_tlsOffered = false;
    m_protection.clear();
    m_capabilities = {};
    TWireMessageClient::Connect();
    try {
        const std::string greeting = ReadLine();
        ResultText = greeting;
        if (greeting.compare(0, 3, "+OK") != 0)
            throw EWireConnectRefused(ServerReplyText(greeting));
        ReportStatus("Connected");
        m_capabilities = askCapabilities();
        m_tlsOffered = m_capabilities.Stls;
        if (wantsStls(m_capabilities)) {
            startStls();
            // What the server listed in clear text may have been forged on
            // the way (RFC 2595): only the listing over TLS counts.
            m_capabilities = askCapabilities();
        }
        const std::string tls = TlsVersion();
        m_protection = tls.empty() ? std::string(NotEncrypted) : m_stls ? tls + " (STLS)" : tls;
        ReportStatus("Protection: " + m_protection);
        signIn(m_capabilities);
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

TPop3Capabilities TWirePOP3::askCapabilities()
{
    writeLog("O: CAPA\r\n");
    WriteLine("CAPA");
    // A server from before RFC 2449 may leave a command it does not know
    // unanswered: after the time-out it has no capabilities, as one that
    // answers -ERR, and the sign-in goes on as with every old server.
    if (!AwaitData(Deadline()) || ReadResponse() != 1)
        return {};
    // A listing that never ends is cut off by its size or its time, and
    // the session with it.
    const ReplyRun run(*this, MaxCapabilityBytes);
    std::vector<std::string> lines;
    std::size_t bytes = 0;
    for (std::string line = ReadLine(); line != "."; line = ReadLine()) {
        bytes += line.size() + 2;
        if (bytes > MaxCapabilityBytes) {
            disconnectTransport();
            throw EWireException("Too much data.");
        }
        lines.push_back(std::move(line));
    }
    return TPop3Capabilities::Parse(lines);
}

bool TWirePOP3::mustUpgrade() const
{
    switch (EffectiveSecurity()) {
    case TSecurity::TlsRequired:
        return true;
    case TSecurity::TlsWhenOffered:
        // On the way to another computer a missing STLS may have been cut
        // out of the listing: clear text only where the user allowed it,
        // and never once the server was seen to offer TLS.
        return !IsThisComputer(Host) && (TlsSeen || !ClearTextAllowed);
    case TSecurity::TlsFirstByte:
    case TSecurity::Unencrypted:
        break;
    }
    return false;
}

bool TWirePOP3::wantsStls(const TPop3Capabilities& caps) const
{
    const TSecurity security = EffectiveSecurity();
    if (security == TSecurity::TlsFirstByte || security == TSecurity::Unencrypted)
        return false;
    if (caps.Stls)
        return true;
    if (!mustUpgrade())
        return false;
    // A server without CAPA may still know STLS: it is asked, and its
    // refusal ends the session all the same.
    if (caps.Listed)
        throwNoTls();
    return true;
}

void TWirePOP3::startStls()
{
    SendCommand("STLS", -1, "", 0);
    if (ResultCode != 1) {
        if (!m_capabilities.Stls)
            throwNoTls();
        throw EWireTLSError("the server refused STLS (" + ServerReplyText(ResultText) + ")");
    }
    m_tlsOffered = true;
    try {
        startTls();
    } catch (...) {
        // Half a handshake leaves nothing to log out from; and the session
        // must never go on in clear text after STLS was agreed.
        disconnectTransport();
        throw;
    }
    m_stls = true;
}

void TWirePOP3::throwNoTls() const
{
    if (EffectiveSecurity() == TSecurity::TlsWhenOffered) {
        if (TlsSeen)
            throw EWireNoTls("the server no longer offers TLS, which it did before: someone may be reading this "
                             "connection");
        throw EWireClearTextUnconfirmed("the server offers no TLS on port " + std::to_string(Port & 0xFFFF) +
                                        ", so the password would cross the network unencrypted");
    }
    throw EWireNoTls("The server does not offer TLS on port " + std::to_string(Port & 0xFFFF) + "; use port "
                     + std::to_string(TlsPort & 0xFFFF) + " or allow unencrypted sign-in");
}

void TWirePOP3::signIn(const TPop3Capabilities& caps)
{
    if (const TSaslMechanism* mech = ChooseSaslMechanism(caps.SaslOffer(), m_secretKind, !TlsVersion().empty())) {
        authenticate(*mech);
        return;
    }
    if (m_secretKind != TSignInSecret::Kind::Password)
        throw EWireResponseError("The server offers no sign-in with an access token");
    SendCommand("User " + m_userName, 1, "User Account is valid", 1);
    SendCommand("Pass " + m_password, 1, "Password is valid", 1);
}

void TWirePOP3::authenticate(const TSaslMechanism& mech)
{
    const TSignInSecret secret{m_secretKind, m_password};
    const std::string first = Base64Encode(mech.First({m_userName, secret, Host, Port}));
    std::string command = "AUTH " + std::string(mech.Name);
    // An empty first message is "=" on the AUTH line (RFC 5034), an empty
    // line as an answer.
    const std::string initial = first.empty() ? "=" : first;
    bool firstSent = FitsAuthLine(mech.Name, initial);
    if (firstSent)
        command += " " + initial;

    const RuleScope rule(*this, m_saslRule, m_replyRule);
    SendCommand(command, -1, "", 0);
    for (int round = 0; ResultCode == SaslChallenge; ++round) {
        if (!firstSent) {
            firstSent = true;
            SendCommand(first, -1, "", 0);
        } else if (const auto challenge = DecodeSaslChallenge(std::string_view(ResultText).substr(ResultText.empty() ? 0 : 1));
                   mech.Answer && round < MaxSaslRounds && challenge) {
            SendCommand(Base64Encode(mech.Answer(*challenge)), -1, "", 0);
        } else {
            // Nothing more to say, or a challenge that is no base64: cancel
            // (RFC 5034), the server answers -ERR.
            SendCommand("*", -1, "", 0);
            break;
        }
    }
    if (ResultCode != 1)
        throw EWireResponseError(ServerReplyText(ResultText));
    ReportStatus(m_secretKind == TSignInSecret::Kind::Password ? "  Password is valid" : "  Access token is valid");
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
