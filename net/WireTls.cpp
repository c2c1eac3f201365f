// The TLS side of TWireClient: POP3S wraps the connection right after the TCP
// connect, before the server's greeting; every other port stays plain.
#include "net/TlsStream.h"
#include "net/Wire.h"

void TWireClient::startSession()
{
    if ((Port & 0xFFFF) != (TlsPort & 0xFFFF))
        return;
    auto owned = std::make_unique<TlsStream>(std::move(m_stream));
    TlsStream* tls = owned.get();
    m_stream = std::move(owned);
    // The idle hook may close this client (the user hangs up while we wait);
    // then the stream is gone and the handshake must not touch it again.
    const net::IdleHook idle = [this, tls] {
        if (OnIdle)
            OnIdle();
        if (m_stream.get() != tls)
            throw EWireSocketError(10057);
    };
    tls->Handshake(Host, Deadline(), idle);
    ReportStatus("TLS connected");
}
