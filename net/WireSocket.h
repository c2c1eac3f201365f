// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The line layer: the receive buffer, lines, the command/reply exchange
// under a protocol's reply rule, status and progress events, and the
// optional connection log.
// Calls block the caller until the network answers, but every wait polls in
// short slices and runs OnIdle between them (the worker checks its stop flag
// there). Every exchange ends: a line must be complete within Timeout
// seconds of the first wait for it, and a multi-line reply (ReplyRun) within
// a bound that grows with what has arrived, up to a hard ceiling; a peer
// that drips bytes or never ends a listing gets 10060 "Connection timed
// out." and the connection closed.
#include "net/Poll.h"
#include "net/ReplyRule.h"
#include "net/Wire.h"
#include "net/WireErrors.h"

#include <cstdint>
#include <fstream>
#include <memory>
#include <ostream>
#include <string>
#include <variant>
#include <vector>

class TWireSocket : public TWire {
public:
    // Where CaptureLines puts each line: a string list (appended), a byte
    // stream (line + CR LF), or nothing (the line handler, else dropped).
    using LineSink = std::variant<std::monostate, std::vector<std::string>*, std::ostream*>;

    TWireSocket();
    // Closes the socket if open: sends nothing, reports nothing.
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
    int16_t ResultCode = 0;                 // verdict of the last reply (its reply rule's)
    std::string ResultText;                 // last reply line (trimmed) or the greeting
    std::vector<std::string> ResponseLines; // lines of the last multi-line reply, its closing line last

    // The rule by which ReadResponse tells where a reply ends and what it
    // answered. A protocol plugs in its own when it is made; the rule must
    // outlive every exchange that uses it. Sends nothing, never throws.
    void SetReplyRule(const TReplyRule& rule) { m_replyRule = &rule; }

    int32_t BufferChunk() const { return m_bufferChunk; }
    // Sets the step by which the receive buffer grows and shrinks and sizes
    // the buffer to it; ignored while connected. Values below 2 count as 2
    // (a smaller step could ask the socket for 0 bytes, read as a close).
    void SetBufferChunk(int32_t chunk);
    // The dotted IPv4 text of the server after Connect; empty when closed.
    std::string ResolvedAddress() const { return m_resolvedAddress; }
    // Bytes received and not yet taken.
    std::size_t Buffered() const { return m_end - m_start; }

    // Sends nothing. Returns the next line without its CR LF (an LF alone
    // ends nothing). Throws EWireConnClosedGraceful when the peer closes
    // (after closing the connection), EWireSocketError on socket errors
    // (10060 when the line is not complete within Timeout or the open reply
    // passes its bound, connection closed; 10057 when nothing is connected
    // or the idle hook closed the connection), EWireException "Line too
    // long." when more than MaxWireLineBytes arrive without CR LF and "Too
    // much data." past the open reply's byte bound (connection closed).
    std::string ReadLine();
    // Sends nothing. Reads lines until one is non-empty after trimming
    // codes <= 32 at both ends; returns it trimmed. The lines skipped and
    // the one returned share one reply bound (ReplyRun). Throws as ReadLine.
    std::string ReadNonEmptyLine();
    // Sends nothing. Reads one reply under the reply rule: its first
    // non-empty line, and when the rule opens a multi-line reply there,
    // every non-empty line up to the one the rule says closes it, all into
    // ResponseLines (empty for a one-line reply). Sets ResultText to the
    // last line and ResultCode to the rule's verdict on it, and returns
    // ResultCode. Throws as ReadLine; EWireException "Reply too long." when
    // a multi-line reply passes MaxWireLineBytes in total (connection
    // closed); std::logic_error when no reply rule was set.
    int16_t ReadResponse();
    // Sends command + CR LF (nothing when command is the single NUL
    // character) and reads the reply (ReadResponse). When expected >= 0
    // and differs from ResultCode, throws EWireResponseError with the reply
    // line (cut as ServerReplyText does; no status). Then reports
    // statusText ("*": the reply line) indented by 2*indent blanks.
    // Returns ResultCode. Throws as WriteLine, ReadResponse and
    // ReportStatus.
    virtual int16_t SendCommand(const std::string& command, int16_t expected,
                                const std::string& statusText, uint8_t indent);
    // Sends text + CR LF; returns when all of it is sent. Throws as
    // WriteBuffer.
    void WriteLine(const std::string& text);
    // Sends exactly count bytes (0: nothing). Throws EWireClosedSocket
    // "Socket is closed, cannot write" when closed, EWireConnClosedGraceful
    // when the peer takes nothing, EWireSocketError on errors (10058 and
    // 10060 also close the connection).
    void WriteBuffer(const char* bytes, std::size_t count);
    // Sends nothing. Waits until received bytes are buffered, at most until
    // `until`: true when some are, false when none came in time. Unlike every
    // other wait, running out of time closes nothing: the caller asked
    // something a server may leave unanswered and goes on without it.
    // Throws as ReadLine for everything but the time-out.
    bool AwaitData(net::Clock::time_point until);
    // Sends nothing. count 0: one receive, returns "" (the bytes stay
    // buffered); count > 0: receives until count bytes are buffered and
    // returns them. Throws as ReadLine.
    virtual std::string ReadBuffer(int32_t count);
    // Takes the first count buffered bytes, receiving nothing. Throws
    // Exception "Not enough data in buffer." when fewer are buffered.
    std::string TakeBytes(int32_t count);
    // Sends nothing. Reads raw lines into sink until a line equals one of
    // delimiters and returns that delimiter's 1-based index. Only when the
    // first delimiter is "." are lines starting with ".." un-stuffed. When
    // maxBytes of lines have been captured without a delimiter, closes the
    // connection and throws EWireException(tooLongText). Progress runs from
    // BeginWork(-1) to EndWork (also on errors). Throws as ReadLine.
    int32_t CaptureLines(LineSink sink, const std::vector<std::string>& delimiters,
                         std::size_t maxBytes = SIZE_MAX,
                         const std::string& tooLongText = "Too much data.");

    // Fires OnStatus. An Exception thrown by the handler comes back as the
    // same class with " occurred in user's OnStatus Event." appended;
    // anything else passes unchanged.
    virtual void ReportStatus(const std::string& text);
    // Progress: at most one OnWork per new kilobyte; -1 ends a run. Throws
    // what the handler throws.
    virtual void ReportWork(int32_t position);
    // Opens a progress run of total bytes (-1: unknown); reports nothing.
    void BeginWork(int32_t total);
    // Ends the progress run: one OnWork(-1, -1). Throws what the handler throws.
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
    // open reply's bound. Throws as ReadLine. With softTimeout, running out
    // of time returns false instead, with the connection left open.
    bool fillBuffer(net::Clock::time_point waitUntil, bool softTimeout = false);
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
    // Drops every received byte not yet taken, keeping the buffer's size.
    void discardBuffered() { m_start = m_end = m_scanned = 0; }
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
    // One reply line, read and logged.
    std::string readReplyLine();

    const TReplyRule* m_replyRule = nullptr;
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
