// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/Wire.h"

#include "net/TcpStream.h"
#include "net/WireErrors.h"

#include <sys/socket.h>

TWire::~TWire() = default;

bool TWire::Connected() const
{
    return m_stream != nullptr;
}

void TWire::CloseSocket()
{
    if (m_stream) {
        m_stream->Close();
        m_stream.reset();
    }
}

void TWire::Disconnect()
{
    if (Connected())
        CloseSocket();
}

void TWire::CreateSocket(int type)
{
    const int fd = ::socket(AF_INET, type | SOCK_CLOEXEC, 0);
    if (fd < 0)
        throw EWireInvalidSocket("Cannot allocate socket.");
    m_stream = std::make_unique<TcpStream>(fd);
}
