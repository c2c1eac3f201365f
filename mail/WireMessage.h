#pragma once
// One mail message as received: its header block as Name=value entries with
// typed views of the common fields, the body text, and the text parts and
// attachments the body reader fills. TWireMessageClient reads header blocks
// from the connection; the POP3 client derives from it.
#include "mail/Headers.h"
#include "mail/MessageParts.h"
#include "mail/MimeBody.h"
#include "mail/StringList.h"
#include "net/Wire.h"

#include <cstdint>
#include <string>

// The body reader's lines straight from a connection's receive buffer.
class ConnectionLines : public mime::LineSource {
public:
    explicit ConnectionLines(TWireSocket& socket) : m_socket(socket) {}
    // The next line without its CR LF; throws the transport's errors.
    std::string ReadLine() override { return m_socket.ReadLine(); }

private:
    TWireSocket& m_socket;
};

class TWireMessage {
public:
    TWireMessage() = default;
    virtual ~TWireMessage() = default;

    TStringList BCCList;         // not stored in the headers
    std::string DefaultDomain;
    bool ExtractAttachments = true;
    TStringList Headers;         // "Name=value", in arrival order
    int32_t MsgNo = 0;
    TStringList Text;            // body lines
    bool UseNowForDate = true;   // stored only
    std::string ContentType = "text/plain";
    TMessageParts MessageParts;
    TAttachments Attachments;

    // Single-header views: read the first entry of that name ("" if none);
    // writing "" removes it, anything else replaces or appends it.
    std::string From() const { return HeaderValue(Headers, "From"); }
    void SetFrom(const std::string& v) { SetHeaderValue(Headers, "From", v); }
    std::string Organization() const { return HeaderValue(Headers, "Organization"); }
    void SetOrganization(const std::string& v) { SetHeaderValue(Headers, "Organization", v); }
    std::string References() const { return HeaderValue(Headers, "References"); }
    void SetReferences(const std::string& v) { SetHeaderValue(Headers, "References", v); }
    std::string ReplyTo() const { return HeaderValue(Headers, "Reply-To"); }
    void SetReplyTo(const std::string& v) { SetHeaderValue(Headers, "Reply-To", v); }
    std::string Subject() const { return HeaderValue(Headers, "Subject"); }
    void SetSubject(const std::string& v) { SetHeaderValue(Headers, "Subject", v); }
    std::string MsgID() const { return HeaderValue(Headers, "Message-ID"); }
    void SetMsgID(const std::string& v) { SetHeaderValue(Headers, "Message-ID", v); }

    // "Date" read with ParseDate (0: none or malformed); written with FormatDate.
    TDateTime Date() const { return ParseDate(HeaderValue(Headers, "Date")); }
    void SetDate(TDateTime v) { SetHeaderValue(Headers, "Date", FormatDate(v)); }

    // List views: "To" and "Cc" split by SplitAddresses (written joined);
    // "Newsgroups" as comma text.
    TStringList Too() const { return SplitAddresses(HeaderValue(Headers, "To")); }
    void SetToo(const TStringList& v) { SetHeaderValue(Headers, "To", JoinAddresses(v)); }
    TStringList CCList() const { return SplitAddresses(HeaderValue(Headers, "Cc")); }
    void SetCCList(const TStringList& v) { SetHeaderValue(Headers, "Cc", JoinAddresses(v)); }
    TStringList Newsgroups() const { return ParseCommaText(HeaderValue(Headers, "Newsgroups")); }
    void SetNewsgroups(const TStringList& v) { SetHeaderValue(Headers, "Newsgroups", CommaText(v)); }

    // Empties parts, attachments (their files stay on disk), headers, text
    // and the lists; MsgNo 0. ContentType, ExtractAttachments and
    // UseNowForDate keep their values. Never throws.
    virtual void Clear();
};

// The most a header block may hold before the reader gives up on it.
inline constexpr std::size_t MaxHeaderBlockBytes = std::size_t(4) << 20;

class TWireMessageClient : public TWireClient {
public:
    std::string XProgram; // stored only

    // Clears message, reads its header block up to the line equal to
    // delimiter ("" for POP3: the empty line) and unfolds it; a non-empty
    // "Title" becomes "Subject" and is removed. Throws the transport's
    // errors (message then holds the raw lines read so far), and
    // EWireException "Header block too large." past MaxHeaderBlockBytes
    // (connection closed).
    virtual void ReceiveHeader(TWireMessage& message, const std::string& delimiter);
    // Clears list, captures lines up to delimiter, unfolds them. Throws as
    // ReceiveHeader.
    void ReceiveHeaderLines(TStringList& list, const std::string& delimiter);

    // Reads the body that follows the header block in message.Headers, up
    // to and including the "." line: the text into Text, text parts into
    // MessageParts (as they arrived), named attachments into Attachments
    // with their decoded bytes in "PBE" temporary files (streamed, never
    // held whole). A message cut short ends at ".". Clears OnLine. Throws
    // EWireException "Boundary error" for a multipart message without a
    // boundary (after reading to "."), EWireException "Message too
    // large: ..." after reading to "." when a bound was hit, and the
    // transport's errors (message partly filled, files closed).
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
