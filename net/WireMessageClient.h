// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The message-reading layer of the transport: reads header blocks and bodies
// from the connection into the message model (mail/), and writes a body
// back. The POP3 client derives from it.
#include "mail/MimeBody.h"
#include "mail/StringList.h"
#include "mail/WireMessage.h"
#include "net/WireClient.h"

#include <cstdint>
#include <string>
#include <vector>

// The body reader's lines straight from a connection's receive buffer.
class ConnectionLines : public mime::LineSource {
public:
    explicit ConnectionLines(TWireSocket& socket) : m_socket(socket) {}
    // The next line without its CR LF; throws the transport's errors.
    std::string ReadLine() override { return m_socket.ReadLine(); }

private:
    TWireSocket& m_socket;
};

// The most a header block may hold before the reader gives up on it.
inline constexpr std::size_t MaxHeaderBlockBytes = std::size_t(4) << 20;

class TWireMessageClient : public TWireClient {
public:
    std::string XProgram; // stored only

    // Sends nothing. Clears message, reads its header block up to the line equal
    // to delimiter ("" for POP3: the empty line) and unfolds it; a non-empty
    // "Title" becomes "Subject" and is removed. Throws the transport's errors
    // (message then holds the raw lines read so far), and EWireException "Header
    // block too large." past MaxHeaderBlockBytes (connection closed).
    virtual void ReceiveHeader(TWireMessage& message, const std::string& delimiter);
    // Sends nothing. Clears list, captures lines up to delimiter, unfolds
    // them. Throws as ReceiveHeader.
    void ReceiveHeaderLines(TStringList& list, const std::string& delimiter);

    // Sends nothing. Reads the body that follows the header block in
    // message.Headers, up to and including the "." line: the text into Text,
    // text parts into MessageParts (as they arrived), named attachments into
    // Attachments with their decoded bytes in "PBE" temporary files (streamed,
    // never held whole). A message cut short ends at ".". Clears OnLine. Throws
    // EWireException "Message too large: ..." after reading to "." when a bound
    // was hit, and the transport's errors (message partly filled, files closed),
    // among them "Too much data." past MaxMessageBytes and 10060 past the
    // reply's time bound.
    virtual void ReceiveBody(TWireMessage& message);
    // Writes message's body with WriteLine: the dot-stuffed Text, and with
    // attachments a multipart body with the fixed boundary
    // "=_NextPart_2rfksadvnqw3nerasdf" and each stored file in base64.
    // Throws the transport's errors and Exception when a file cannot be read.
    virtual void SendBody(TWireMessage& message);

protected:
    // ReceiveHeader with several delimiters: the block ends at the first
    // line equal to one of them; returns that delimiter's 1-based index.
    int32_t receiveHeaderBlock(TWireMessage& message, const std::vector<std::string>& delimiters);
};

class TWireEncoder;

// Sends the file at path as base64 lines over target with WriteLine (as
// TWireEncoder::EncodeFile writes them) and reports progress: BeginWork with
// the file size, ReportWork per block, EndWork. Throws Exception "Cannot open
// file <path>." and the transport's errors.
void EncodeFileToConnection(const TWireEncoder& encoder, const std::string& path, TWireSocket& target);
