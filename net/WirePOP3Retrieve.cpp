// Fetching messages: RETR for a whole message, TOP n 0 for its header block.
#include "mail/Headers.h"
#include "net/WirePOP3.h"

namespace {

// How much of a reply RetrieveHeader reads off after a header block that
// the server did not end with "." (TOP n 0 should send nothing more).
constexpr std::size_t MaxSkippedBytes = std::size_t(64) << 20;

// Reads a header block as ReceiveHeader does, except that the "." ending the
// reply also ends it: a server that sends "." right after the last header
// line would otherwise leave the reader waiting for an empty line that
// never comes. Returns true when "." ended the block.
bool receiveHeaderOrEnd(TWireMessageClient& client, TWireMessage& message)
{
    message.Clear();
    const int32_t which = client.CaptureLines(&message.Headers, {"", "."}, MaxHeaderBlockBytes,
                                              "Header block too large.");
    UnfoldHeaders(message.Headers);
    const std::string title = HeaderValue(message.Headers, "Title");
    if (!title.empty()) {
        message.SetSubject(title);
        SetHeaderValue(message.Headers, "Title", "");
    }
    return which == 2;
}

} // namespace

bool TWirePOP3::Retrieve(int32_t number, TWireMessage& message)
{
    SendCommand("RETR " + std::to_string(number), -1, "", 0);
    if (ResultCode != 1)
        return false;
    ReportStatus("  " + ResultText);
    if (!receiveHeaderOrEnd(*this, message))
        ReceiveBody(message);
    ReportStatus("    From: " + message.From());
    ReportStatus("    Subject: " + message.Subject());
    return true;
}

bool TWirePOP3::RetrieveHeader(int32_t number, TWireMessage& message)
{
    SendCommand("TOP " + std::to_string(number) + " 0", 1, "Retrieving headers", 0);
    if (receiveHeaderOrEnd(*this, message))
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
