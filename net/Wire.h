#pragma once
// The blocking, buffered, line-oriented TCP client, in three layers:
//   TWire        the connection handle and the port,
//   TWireSocket  the receive buffer, lines, the command/reply exchange,
//                status and progress events, the optional connection log,
//   TWireClient  the server name, connecting and disconnecting.
// Calls block the caller until the network answers, but every wait polls in
// short slices and runs OnIdle between them (the worker checks its stop flag
// there). Every exchange ends: a line must be complete within Timeout
// seconds of the first wait for it, and a multi-line reply (ReplyRun) within
// a bound that grows with what has arrived, up to a hard ceiling; a peer
// that drips bytes or never ends a listing gets 10060 "Connection timed
// out." and the connection closed.
#include "net/ByteStream.h"
#include "net/Poll.h"
#include "net/WireErrors.h"

#include <cstdint>
#include <fstream>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <variant>
#include <vector>

class TWire;

// Status text event: the component and the text.
using TStringEvent = std::function<void(TWire& Sender, const std::string& sOut)>;
// Progress event: bytes so far (-1 at the end) and the total (-1: unknown).
using TProgressEvent = std::function<void(TWire& Sender, int32_t plWork, int32_t plWorkSize)>;

// The longest line the receive buffer accepts before giving up on the peer.
inline constexpr std::size_t MaxWireLineBytes = std::size_t(16) << 20;

class TWire {
public:
    TWire() = default;
    virtual ~TWire();
    TWire(const TWire&) = delete;
    TWire& operator=(const TWire&) = delete;

    int32_t Port = 0;      // 1..65535; Connect refuses any other value
    std::string BoundIP;   // stored, never used
    std::string Version() const { return "1.0"; }

    // True while a connection (socket) is open.
    virtual bool Connected() const;
    // Closes the socket if open (the result of the close is ignored).
    virtual void CloseSocket();
    // Base behaviour: closes the socket if it is open. Never throws.
    virtual void Disconnect();

protected:
    // Opens an IPv4 socket of the given type (SOCK_STREAM) as the stream.
    // Throws EWireInvalidSocket "Cannot allocate socket." on failure.
    virtual void CreateSocket(int type);

    // The one byte stream of the connection: a plain TcpStream from
    // CreateSocket, possibly wrapped later (TLS) by TWireClient::startSession.
    std::unique_ptr<ByteStream> m_stream;
};

class TWireSocket : public TWire {
public:
    // Where CaptureLines puts each line: a string list (appended), a byte
    // stream (line + CR LF), or nothing (the line handler, else dropped).
    using LineSink = std::variant<std::monostate, std::vector<std::string>*, std::ostream*>;

    TWireSocket();
    ~TWireSocket() override;

    // Properties.
    bool UseNagle = true;        // false: connect sets TCP_NODELAY
    std::string LogFile;         // connection log path; empty: no log
    bool ASCIIFilter = false;    // clear bit 7 of every received byte
    int32_t Timeout = 60;        // seconds a connect, a send or one received line may take
    // A multi-line reply may take Timeout seconds plus one second for every
    // MinReplyRate bytes that arrived, and never more than ReplyCeiling
    // times Timeout: a slow link with a large message gets its time, a
    // server that trickles an endless listing does not.
    int32_t MinReplyRate = 1024;
    int32_t ReplyCeiling = 60;
    // The most bytes one message (RETR) may bring before the connection is
    // given up with "Too much data.".
    uint64_t MaxMessageBytes = uint64_t(8) << 30;
    TStringEvent OnStatus;
    TProgressEvent OnWork;
    TStringEvent OnLine;         // line handler for CaptureLines without a sink
    net::IdleHook OnIdle;        // runs between poll slices while waiting

    bool ClosedGracefully = false;
    int16_t ResultCode = 0;                 // verdict of the last reply
    std::string ResultText;                 // last reply line (trimmed) or the greeting
    std::vector<std::string> ResponseLines; // lines of the last multi-line numeric reply

    int32_t BufferChunk() const { return m_bufferChunk; }
    // Sets the step by which the receive buffer grows and shrinks and sizes
    // the buffer to it; ignored while connected. Values below 2 count as 2
    // (a smaller step could ask the socket for 0 bytes, read as a close).
    void SetBufferChunk(int32_t chunk);
    // The dotted IPv4 text of the server after Connect; empty when closed.
    std::string ResolvedAddress() const { return m_resolvedAddress; }
    // Bytes received and not yet taken.
    std::size_t Buffered() const { return m_end - m_start; }

    // Returns the next line without its CR LF (an LF alone ends nothing).
    // Throws EWireConnClosedGraceful when the peer closes (after closing the
    // connection), EWireSocketError on socket errors (10060 when the line is
    // not complete within Timeout or the open reply passes its bound,
    // connection closed), EWireException "Line too long." when more than
    // MaxWireLineBytes arrive without CR LF and "Too much data." past the
    // open reply's byte bound (connection closed).
    std::string ReadLine();
    // Reads lines until one is non-empty after trimming codes <= 32 at both
    // ends; returns it trimmed. The lines skipped and the one returned share
    // one reply bound (ReplyRun). Throws as ReadLine.
    std::string ReadNonEmptyLine();
    // Reads one reply (skipping empty lines, collecting a multi-line numeric
    // reply "250-a" ... "250 done" into ResponseLines), sets ResultText and
    // returns ResultCode: 1 for "+OK", 0 for "-ERR", else the first three
    // characters as a number (0 when they are not one). Throws as ReadLine,
    // and EWireException "Reply too long." when a multi-line reply passes
    // MaxWireLineBytes in total (connection closed).
    int16_t ReadResponse();
    // Sends command + CR LF (nothing when command is the single NUL
    // character), reads the reply. When expected >= 0 and differs from
    // ResultCode, throws EWireResponseError with the reply line (no status).
    // Then reports statusText ("*": the reply line) indented by 2*indent
    // blanks. Returns ResultCode. Throws as WriteLine and ReadResponse.
    virtual int16_t SendCommand(const std::string& command, int16_t expected,
                                const std::string& statusText, uint8_t indent);
    // Sends text + CR LF. Throws as WriteBuffer.
    void WriteLine(const std::string& text);
    // Sends exactly count bytes (0: nothing). Throws EWireClosedSocket
    // "Socket is closed, cannot write" when closed, EWireConnClosedGraceful
    // when the peer takes nothing, EWireSocketError on errors (10058 and
    // 10060 also close the connection).
    void WriteBuffer(const char* bytes, std::size_t count);
    // count 0: one receive, returns "" (the bytes stay buffered); count > 0:
    // receives until count bytes are buffered and takes them. Throws as ReadLine.
    virtual std::string ReadBuffer(int32_t count);
    // Takes the first count buffered bytes. Throws Exception "Not enough data
    // in buffer." when fewer are buffered.
    std::string TakeBytes(int32_t count);
    // Reads raw lines into sink until a line equals one of delimiters and
    // returns that delimiter's 1-based index. Only when the first delimiter
    // is "." are lines starting with ".." un-stuffed. When maxBytes of lines
    // have been captured without a delimiter, closes the connection and
    // throws EWireException(tooLongText). Progress runs from BeginWork(-1) to
    // EndWork (also on errors). Throws as ReadLine.
    int32_t CaptureLines(LineSink sink, const std::vector<std::string>& delimiters,
                         std::size_t maxBytes = SIZE_MAX,
                         const std::string& tooLongText = "Too much data.");

    // Fires OnStatus. An Exception thrown by the handler comes back as the
    // same class with " occurred in user's OnStatus Event." appended;
    // anything else passes unchanged.
    virtual void ReportStatus(const std::string& text);
    // Progress: at most one OnWork per new kilobyte; -1 ends a run.
    virtual void ReportWork(int32_t position);
    void BeginWork(int32_t total);
    void EndWork();
    // One progress run for a scope: BeginWork(total) now, EndWork on every exit.
    class WorkRun {
    public:
        WorkRun(TWireSocket& socket, int32_t total) : m_socket(socket) { m_socket.BeginWork(total); }
        ~WorkRun() { m_socket.EndWork(); }
        WorkRun(const WorkRun&) = delete;
        WorkRun& operator=(const WorkRun&) = delete;

    private:
        TWireSocket& m_socket;
    };

    // One multi-line reply (a listing, a header block, a message) for a
    // scope: its time bound (see MinReplyRate) runs from now, and the
    // receive that takes it past maxBytes closes the connection and throws
    // EWireException "Too much data.". Runs nest: an inner run lives on the
    // outer run's clock and byte bound.
    class ReplyRun {
    public:
        explicit ReplyRun(TWireSocket& socket, uint64_t maxBytes = UINT64_MAX);
        ~ReplyRun();
        ReplyRun(const ReplyRun&) = delete;
        ReplyRun& operator=(const ReplyRun&) = delete;

    private:
        TWireSocket& m_socket;
    };

    // The point in time a wait that starts now gives up (Timeout seconds on).
    net::Clock::time_point Deadline() const;

    // Adopts an already connected stream (tests and fuzzers feed bytes from
    // memory this way; a session layer puts its wrapper back here). The
    // client counts as connected from now on; buffered bytes stay.
    void AttachStream(std::unique_ptr<ByteStream> stream) { m_stream = std::move(stream); }
    // Gives up the stream without closing it (to wrap it); the client then
    // counts as closed until AttachStream.
    std::unique_ptr<ByteStream> DetachStream() { return std::move(m_stream); }

protected:
    // One receive into the buffer (the growth rules keep the buffer near
    // twice the unread data), waiting no later than waitUntil nor past the
    // open reply's bound. Throws as ReadLine.
    void fillBuffer(net::Clock::time_point waitUntil);
    // When the open reply run must be complete (time_point::max() without one).
    net::Clock::time_point replyDeadline() const;
    // The transport's own disconnect: statuses "Disconnecting" and
    // "Disconnected", log closed, buffer emptied, address cleared, socket
    // closed. Swallows every error. Failure paths of the transport use this
    // rather than the virtual Disconnect, so that a protocol's logout line is
    // never written to a connection that has just failed.
    void disconnectTransport();
    // Sizes the receive buffer to BufferChunk and empties it.
    void resetBuffer();
    // Creates LogFile (mode 0600, replacing an older one) and opens it.
    // Throws Exception "Cannot create file "<path>"." when it cannot.
    void openLog();
    // Appends one entry to the connection log when it is open.
    void writeLog(const std::string& entry);
    // Throws the socket error for errno after a Failed transfer (10058 closes).
    [[noreturn]] void failTransfer(int err);
    // Gives up a wait: closes the connection, throws EWireSocketError 10060.
    [[noreturn]] void failTimeout();
    // Runs one Send / Receive of the stream. A protocol failure it throws
    // (a TLS alert or bad record) ends the session: the connection is closed
    // first, so no logout line is tried on it and the error reaches the caller.
    template <class F>
    long streamCall(F&& call)
    {
        try {
            return call();
        } catch (const EWireException&) {
            disconnectTransport();
            throw;
        }
    }

    std::string EndOfLine = "\r\n";
    std::string m_resolvedAddress;
    std::ofstream m_log;

private:
    int32_t m_bufferChunk = 8192;
    std::vector<char> m_buffer; // its size is the buffer's capacity
    std::size_t m_start = 0;    // first unread byte
    std::size_t m_end = 0;      // first free byte
    std::size_t m_scanned = 0;  // bytes from m_start known to hold no CR LF
    int m_replyDepth = 0;                    // open ReplyRuns
    net::Clock::time_point m_replyStart{};   // when the outermost one began
    uint64_t m_replyBytes = 0;               // bytes received since
    uint64_t m_replyMaxBytes = UINT64_MAX;
    int32_t m_lastKilobyte = 0;
    int32_t m_workPosition = 0;
    int32_t m_workTotal = 0;
};

class TWireClient : public TWireSocket {
public:
    TWireClient() = default;
    // Runs Disconnect (with its statuses) when connected, then forgets OnStatus.
    ~TWireClient() override;

    std::string Host;
    // The port on which the server speaks TLS from the first byte (POP3S).
    // Connecting to it adds the handshake and the status "TLS connected"
    // after "Socket Connected"; any other port stays plain.
    int32_t TlsPort = 995;

    // Statuses "Connecting to " + Host, then "Socket Connected" (and "TLS
    // connected" on TlsPort). Throws EWireException "Invalid port number: N"
    // (nothing sent, no status) when Port lies outside 1..65535, and
    // EWireTLSError "TLS error: ..." when the
    // TLS handshake or the server's certificate fails. Throws
    // EWireAlreadyConnected "Already connected." when open (left untouched),
    // EWireInvalidSocket when no socket can be had, EWireSocketError for a
    // failed lookup (11001 ...), a refused (10061) or timed-out (10060)
    // connect, or a failing status handler; Exception when LogFile cannot be
    // created; every failure after the socket exists closes it first.
    virtual void Connect();
    // Statuses "Disconnecting", "Disconnected"; closes log, buffer and
    // socket. Never throws.
    void Disconnect() override;

    // Resolves host to an IPv4 address in network order and sets the
    // resolved address text. "LOCALHOST" in any case is 127.0.0.1 without a
    // lookup. Throws EWireSocketError (11001 "Host not found." ...).
    uint32_t ResolveHost(const std::string& host);

protected:
    // Runs right after "Socket Connected", inside Connect's clean-up guard:
    // the place to wrap m_stream in a session protocol (TLS) using
    // Deadline() and OnIdle. Throwing closes the connection. On TlsPort it
    // runs the TLS handshake (net/WireTls.cpp).
    virtual void startSession();

    std::string m_password;
    std::string m_userName;
};
