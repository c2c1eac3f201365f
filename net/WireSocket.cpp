// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/WireSocket.h"

#include "base/Text.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

TWireSocket::TWireSocket()
{
    resetBuffer();
}

TWireSocket::~TWireSocket()
{
    CloseSocket();
}

void TWireSocket::SetBufferChunk(int32_t chunk)
{
    if (Connected())
        return;
    m_bufferChunk = std::max<int32_t>(chunk, 2);
    resetBuffer();
}

void TWireSocket::resetBuffer()
{
    m_buffer.assign(static_cast<std::size_t>(m_bufferChunk), '\0');
    m_buffer.shrink_to_fit();
    m_start = m_end = m_scanned = 0;
}

net::Clock::time_point TWireSocket::Deadline() const
{
    return net::Clock::now() + std::chrono::seconds(std::max<int32_t>(Timeout, 0));
}

TWireSocket::ReplyRun::ReplyRun(TWireSocket& socket, uint64_t maxBytes) : m_socket(socket)
{
    if (m_socket.m_replyDepth++ > 0)
        return;
    m_socket.m_replyStart = net::Clock::now();
    m_socket.m_replyBytes = 0;
    m_socket.m_replyMaxBytes = maxBytes;
}

TWireSocket::ReplyRun::~ReplyRun()
{
    --m_socket.m_replyDepth;
}

net::Clock::time_point TWireSocket::replyDeadline() const
{
    if (m_replyDepth == 0)
        return net::Clock::time_point::max();
    using std::chrono::milliseconds;
    const int64_t timeoutMs = int64_t(std::max<int32_t>(Timeout, 0)) * 1000;
    const int64_t ceilingMs = timeoutMs * std::max<int32_t>(ReplyCeiling, 1);
    const uint64_t rate = uint64_t(std::max<int32_t>(MinReplyRate, 1));
    // Earned time in milliseconds, computed so that it cannot overflow.
    const uint64_t earnedMs = m_replyBytes / rate * 1000 + m_replyBytes % rate * 1000 / rate;
    const int64_t allowedMs = std::min<uint64_t>(uint64_t(timeoutMs) + earnedMs, uint64_t(ceilingMs));
    return m_replyStart + milliseconds(allowedMs);
}

void TWireSocket::openLog()
{
    // The log holds the "Pass" line: readable by its owner only, also when
    // it replaces an older file.
    const int fd = ::open(LogFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd >= 0) {
        ::fchmod(fd, 0600);
        ::close(fd);
        m_log.open(LogFile, std::ios::binary | std::ios::app);
    }
    if (fd < 0 || !m_log.is_open())
        throw Exception("Cannot create file \"" + LogFile + "\".");
}

void TWireSocket::writeLog(const std::string& entry)
{
    if (m_log.is_open())
        m_log << entry << std::flush;
}

void TWireSocket::disconnectTransport()
{
    try {
        ReportStatus("Disconnecting");
    } catch (...) {
    }
    if (m_log.is_open())
        m_log.close();
    m_start = m_end = m_scanned = 0;
    m_resolvedAddress.clear();
    if (Connected())
        CloseSocket();
    try {
        ReportStatus("Disconnected");
    } catch (...) {
    }
}

void TWireSocket::failTransfer(int err)
{
    const int32_t code = SocketErrorCode(err);
    if (code == 10058)
        disconnectTransport();
    throw EWireSocketError(code);
}

void TWireSocket::failTimeout()
{
    disconnectTransport();
    throw EWireSocketError(10060);
}

bool TWireSocket::fillBuffer(net::Clock::time_point waitUntil, bool softTimeout)
{
    if (!m_stream)
        throw EWireSocketError(10057);
    // Unread bytes go to the front once per receive, not once per line.
    if (m_start > 0) {
        std::memmove(m_buffer.data(), m_buffer.data() + m_start, m_end - m_start);
        m_end -= m_start;
        m_start = 0;
    }
    // In the terms of the growth rule: fill position = m_end + 1.
    const std::size_t chunk = static_cast<std::size_t>(m_bufferChunk);
    const std::size_t fillPos = m_end + 1;
    const std::size_t length = m_buffer.size();
    const std::size_t freeBytes = length - std::min(length, fillPos);
    if (freeBytes < fillPos / 2)
        m_buffer.resize(length + chunk);
    else if (freeBytes > 2 * chunk && length - chunk > chunk)
        m_buffer.resize(length - chunk);
    // One byte of the free space stays unused, as the growth rule expects.
    const std::size_t want = m_buffer.size() - (m_end + 1);

    const auto deadline = std::min(waitUntil, replyDeadline());
    long n;
    for (;;) {
        n = streamCall([&] { return m_stream->Receive(m_buffer.data() + m_end, want); });
        if (n != ByteStream::WouldBlock)
            break;
        if (!net::WaitReady(m_stream->Fd(), m_stream->WaitEvents(), deadline, OnIdle)) {
            if (!m_stream)
                throw EWireSocketError(10057);
            if (softTimeout && deadline == waitUntil)
                return false;
            failTimeout();
        }
        if (!m_stream)
            throw EWireSocketError(10057); // closed by the idle hook
    }
    ClosedGracefully = (n == 0);
    if (n < 0)
        failTransfer(errno);
    if (n > 0) {
        if (ASCIIFilter)
            for (long i = 0; i < n; ++i)
                m_buffer[m_end + static_cast<std::size_t>(i)] &= 0x7F;
        m_end += static_cast<std::size_t>(n);
        if (m_replyDepth > 0) {
            m_replyBytes += static_cast<uint64_t>(n);
            if (m_replyBytes > m_replyMaxBytes) {
                disconnectTransport();
                throw EWireException("Too much data.");
            }
        }
        // The position runs on between progress runs (a listing opens none);
        // past 2 GiB it starts again rather than overflowing.
        int64_t position = int64_t(m_workPosition) + n;
        if (position > INT32_MAX) {
            position = n;
            m_lastKilobyte = 0;
        }
        // Reported after the bytes are in: the handler may process events
        // that close this very connection.
        ReportWork(static_cast<int32_t>(position));
        if (!m_stream)
            throw EWireSocketError(10057);
    }
    if (ClosedGracefully) {
        disconnectTransport();
        throw EWireConnClosedGraceful("Connection Closed Gracefully.");
    }
    return true;
}

bool TWireSocket::AwaitData(net::Clock::time_point until)
{
    while (Buffered() == 0)
        if (!fillBuffer(until, true))
            return false;
    return true;
}

std::string TWireSocket::TakeBytes(int32_t count)
{
    if (count < 0 || static_cast<std::size_t>(count) > m_end - m_start)
        throw Exception("Not enough data in buffer.");
    std::string out(m_buffer.data() + m_start, static_cast<std::size_t>(count));
    m_start += static_cast<std::size_t>(count);
    m_scanned = 0;
    if (m_start == m_end)
        m_start = m_end = 0;
    return out;
}

std::string TWireSocket::ReadLine()
{
    // The whole line within Timeout, not Timeout per byte: a peer dripping
    // one byte a second would otherwise keep the caller for ever.
    const auto lineDeadline = Deadline();
    for (;;) {
        // Resume the CR LF search where the previous receive left off (one
        // byte back, for a CR that ended the previous chunk).
        const std::size_t from = m_start + (m_scanned > 0 ? m_scanned - 1 : 0);
        const char* begin = m_buffer.data();
        for (std::size_t i = std::max(from, m_start); i + 1 < m_end; ++i) {
            const void* cr = std::memchr(begin + i, '\r', m_end - 1 - i);
            if (cr == nullptr)
                break;
            i = static_cast<std::size_t>(static_cast<const char*>(cr) - begin);
            if (begin[i + 1] == '\n') {
                const std::size_t len = i - m_start;
                if (len > MaxWireLineBytes)
                    break;
                std::string line(begin + m_start, len);
                m_start = i + 2;
                m_scanned = 0;
                if (m_start == m_end)
                    m_start = m_end = 0;
                return line;
            }
        }
        m_scanned = m_end - m_start;
        // A CR at the end may be the start of the line end still on its way.
        const bool crPending = m_scanned > 0 && m_buffer[m_end - 1] == '\r';
        if (m_scanned - (crPending ? 1 : 0) > MaxWireLineBytes) {
            disconnectTransport();
            throw EWireException("Line too long.");
        }
        fillBuffer(lineDeadline);
    }
}

std::string TWireSocket::ReadNonEmptyLine()
{
    // Empty lines before the reply count against one bound, or a peer
    // sending nothing but line ends would never let the caller go.
    const ReplyRun run(*this);
    for (;;) {
        std::string line = std::string(text::trim(ReadLine()));
        if (!line.empty())
            return line;
    }
}

std::string TWireSocket::readReplyLine()
{
    std::string line = ReadNonEmptyLine();
    writeLog("I: " + line + "\r\n\r\n");
    return line;
}

int16_t TWireSocket::ReadResponse()
{
    if (!m_replyRule)
        throw std::logic_error("ReadResponse without a reply rule");
    ResponseLines.clear();
    const std::string first = readReplyLine();
    std::string line = first;
    if (m_replyRule->OpensMultiLine(first)) {
        const ReplyRun run(*this);
        std::size_t kept = first.size();
        ResponseLines.push_back(first);
        do {
            line = readReplyLine();
            kept += line.size();
            if (kept > MaxWireLineBytes) {
                ResponseLines.clear();
                disconnectTransport();
                throw EWireException("Reply too long.");
            }
            ResponseLines.push_back(line);
        } while (!m_replyRule->ClosesReply(first, line));
    }
    ResultText = line;
    ResultCode = m_replyRule->Verdict(line);
    return ResultCode;
}

int16_t TWireSocket::SendCommand(const std::string& command, int16_t expected,
                                 const std::string& statusText, uint8_t indent)
{
    if (command != std::string(1, '\0')) {
        writeLog("O: " + command + "\r\n");
        WriteLine(command);
    }
    ReadResponse();
    if (expected >= 0 && expected != ResultCode)
        throw EWireResponseError(ServerReplyText(ResultText));
    const std::string pad(2u * indent, ' ');
    if (statusText == "*")
        ReportStatus(pad + ServerReplyText(ResultText));
    else if (!statusText.empty())
        ReportStatus(pad + statusText);
    return ResultCode;
}

void TWireSocket::WriteLine(const std::string& text)
{
    const std::string line = text + EndOfLine;
    WriteBuffer(line.data(), line.size());
}

void TWireSocket::WriteBuffer(const char* bytes, std::size_t count)
{
    if (count == 0)
        return;
    if (!Connected())
        throw EWireClosedSocket("Socket is closed, cannot write");
    const auto deadline = Deadline();
    std::size_t sent = 0;
    while (sent < count) {
        if (!m_stream)
            throw EWireClosedSocket("Socket is closed, cannot write");
        const long n = streamCall([&] { return m_stream->Send(bytes + sent, count - sent); });
        if (n == ByteStream::WouldBlock) {
            if (!net::WaitReady(m_stream->Fd(), m_stream->WaitEvents(), deadline, OnIdle))
                failTimeout();
            continue;
        }
        ClosedGracefully = (n == 0);
        if (ClosedGracefully) {
            disconnectTransport();
            throw EWireConnClosedGraceful("Connection Closed Gracefully.");
        }
        if (n < 0)
            failTransfer(errno);
        sent += static_cast<std::size_t>(n);
    }
}

std::string TWireSocket::ReadBuffer(int32_t count)
{
    const auto deadline = Deadline();
    if (count <= 0) {
        fillBuffer(deadline);
        return {};
    }
    while (Buffered() < static_cast<std::size_t>(count))
        fillBuffer(deadline);
    return TakeBytes(count);
}

int32_t TWireSocket::CaptureLines(LineSink sink, const std::vector<std::string>& delimiters,
                                  std::size_t maxBytes, const std::string& tooLongText)
{
    const WorkRun run(*this, -1);
    const ReplyRun reply(*this);
    const bool unstuff = !delimiters.empty() && delimiters.front() == ".";
    std::size_t captured = 0;
    for (;;) {
        std::string line = ReadLine();
        for (std::size_t i = 0; i < delimiters.size(); ++i)
            if (line == delimiters[i])
                return static_cast<int32_t>(i + 1);
        if (unstuff && line.compare(0, 2, "..") == 0)
            line.erase(0, 1);
        captured += line.size() + 2;
        if (captured > maxBytes) {
            disconnectTransport();
            throw EWireException(tooLongText);
        }
        if (auto* list = std::get_if<std::vector<std::string>*>(&sink); list && *list)
            (*list)->push_back(std::move(line));
        else if (auto* out = std::get_if<std::ostream*>(&sink); out && *out)
            **out << line << "\r\n";
        else if (OnLine)
            OnLine(*this, line);
    }
}

void TWireSocket::ReportStatus(const std::string& text)
{
    if (!OnStatus)
        return;
    try {
        OnStatus(*this, text);
    } catch (const Exception& e) {
        RethrowWithMessage(e, std::string(e.what()) + " occurred in user's OnStatus Event.");
    }
}

void TWireSocket::ReportWork(int32_t position)
{
    m_workPosition = position;
    if (m_workTotal == -2)
        return;
    if (position != -1 && position / 1024 <= m_lastKilobyte)
        return;
    m_lastKilobyte = position / 1024;
    if (OnWork)
        OnWork(*this, position, m_workTotal);
}

void TWireSocket::BeginWork(int32_t total)
{
    m_workPosition = 0;
    m_workTotal = total;
}

void TWireSocket::EndWork()
{
    m_workTotal = -1;
    ReportWork(-1);
    m_workTotal = -2;
}

