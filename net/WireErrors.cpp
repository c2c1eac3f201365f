// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/WireErrors.h"

#include <cerrno>
#include <cstring>
#include <netdb.h>
#include <utility>

namespace {

struct ErrorRow {
    int32_t code;
    const char* text;
};

// The texts are fixed: callers and users match them, trailing blank of 10035
// and missing full stop of 10066 included.
constexpr ErrorRow ErrorTable[] = {
    {10004, "Interrupted system call."},
    {10009, "Bad file number."},
    {10013, "Access denied."},
    {10014, "Bad address."},
    {10022, "Invalid argument."},
    {10024, "Too many open files."},
    {10035, "Operation would block. "},
    {10036, "Operation now in progress."},
    {10037, "Operation already in progress."},
    {10038, "Socket operation on non-socket."},
    {10039, "Destination address required."},
    {10040, "Message too long."},
    {10041, "Protocol wrong type for socket."},
    {10042, "Bad protocol option."},
    {10043, "Protocol not supported."},
    {10044, "Socket type not supported."},
    {10045, "Operation not supported on socket."},
    {10046, "Protocol family not supported."},
    {10047, "Address family not supported by protocol family."},
    {10048, "Address already in use."},
    {10049, "Can't assign requested address."},
    {10050, "Network is down."},
    {10051, "Network is unreachable."},
    {10052, "Net dropped connection or reset."},
    {10053, "Software caused connection abort."},
    {10054, "Connection reset by peer."},
    {10055, "No buffer space available."},
    {10056, "Socket is already connected."},
    {10057, "Socket is not connected."},
    {10058, "Cannot send or receive after socket is closed."},
    {10059, "Too many references, can't splice."},
    {10060, "Connection timed out."},
    {10061, "Connection refused."},
    {10062, "Too many levels of symbolic links."},
    {10063, "File name too long."},
    {10064, "Host is down."},
    {10065, "No route to host."},
    {10066, "Directory not empty"},
    {10067, "Too many processes."},
    {10068, "Too many users."},
    {10069, "Disk Quota Exceeded."},
    {10070, "Stale NFS file handle."},
    {10071, "Too many levels of remote in path."},
    {10091, "Network subsystem is unavailable."},
    {10092, "WINSOCK DLL Version out of range."},
    {10093, "Winsock not loaded yet."},
    {11001, "Host not found."},
    {11002, "Non-authoritative response (try again or check DNS setup)."},
    {11003, "Non-recoverable errors: FORMERR, REFUSED, NOTIMP."},
    {11004, "Valid name, no data record (check DNS setup)."},
};

} // namespace

EWireSocketError::EWireSocketError(int32_t code) : EWireException(SocketErrorText(code)), m_code(code) {}

std::string SocketErrorText(int32_t code)
{
    std::string text = "Socket Error #" + std::to_string(code) + "\r\n";
    for (const ErrorRow& row : ErrorTable)
        if (row.code == code)
            return text + row.text;
    if (code > UnmappedErrnoBase && code < UnmappedErrnoBase + 4096)
        return text + std::strerror(code - UnmappedErrnoBase);
    return text;
}

int32_t SocketErrorCode(int err)
{
    switch (err) {
    case ECONNREFUSED: return 10061;
    case ETIMEDOUT: return 10060;
    case ECONNRESET: return 10054;
    case ECONNABORTED: return 10053;
    case EHOSTUNREACH: return 10065;
    case ENETUNREACH: return 10051;
    case ENETDOWN: return 10050;
    case ENETRESET: return 10052;
    case EHOSTDOWN: return 10064;
    case EADDRINUSE: return 10048;
    case EADDRNOTAVAIL: return 10049;
    case EPIPE:
    case ESHUTDOWN: return 10058;
    case ENOTCONN: return 10057;
    case EISCONN: return 10056;
    case EMFILE:
    case ENFILE: return 10024;
    case EACCES:
    case EPERM: return 10013;
    case EINVAL: return 10022;
    case EINTR: return 10004;
    case EBADF: return 10009;
    case EFAULT: return 10014;
    case ENOTSOCK: return 10038;
    case ENOBUFS:
    case ENOMEM: return 10055;
    case EMSGSIZE: return 10040;
    case EAFNOSUPPORT: return 10047;
    case EINPROGRESS: return 10036;
    case EALREADY: return 10037;
    default: return UnmappedErrnoBase + err;
    }
}

int32_t ResolverErrorCode(int gaiError)
{
    switch (gaiError) {
    case EAI_NONAME: return 11001;
    case EAI_AGAIN: return 11002;
    case EAI_FAIL: return 11003;
#ifdef EAI_NODATA
    case EAI_NODATA: return 11004;
#endif
    default: return 11001;
    }
}

void RethrowWithMessage(const Exception& e, const std::string& message)
{
    if (auto* s = dynamic_cast<const EWireSocketError*>(&e))
        throw EWireSocketError(s->ErrorCode(), message);
    if (dynamic_cast<const EWireResponseError*>(&e))
        throw EWireResponseError(message);
    if (dynamic_cast<const EWireClosedSocket*>(&e))
        throw EWireClosedSocket(message);
    if (dynamic_cast<const EWireInvalidSocket*>(&e))
        throw EWireInvalidSocket(message);
    if (dynamic_cast<const EWireConnClosedGraceful*>(&e))
        throw EWireConnClosedGraceful(message);
    if (dynamic_cast<const EWireConnectRefused*>(&e))
        throw EWireConnectRefused(message);
    if (dynamic_cast<const EWireAlreadyConnected*>(&e))
        throw EWireAlreadyConnected(message);
    if (dynamic_cast<const EWireException*>(&e))
        throw EWireException(message);
    throw Exception(message);
}

std::string ServerReplyText(const std::string& line)
{
    std::size_t keep = line.size();
    if (keep > MaxServerTextBytes) {
        keep = MaxServerTextBytes;
        while (keep > 0 && (static_cast<unsigned char>(line[keep]) & 0xC0) == 0x80)
            --keep;
    }
    std::string out;
    out.reserve(keep + 48);
    for (std::size_t i = 0; i < keep; ++i) {
        if (line[i] == '\0')
            out += "\\x00";
        else
            out += line[i];
    }
    if (keep < line.size())
        out += " ... (cut: the server sent " + std::to_string(line.size()) + " bytes)";
    return out;
}
