// Fetching messages: RETR for a whole message, TOP n 0 for its header block.
#include "net/WirePOP3.h"

#include "mail/Charset.h"

namespace {

// How much of a reply RetrieveHeader reads off after a header block that
// the server did not end with "." (TOP n 0 should send nothing more).
constexpr std::size_t MaxSkippedBytes = std::size_t(64) << 20;

// A header block ends at its empty line, or at the "." ending the reply: a
// server that sends "." right after the last header line would otherwise
// leave the reader waiting for an empty line that never comes.
const std::vector<std::string> HeaderBlockEnds = {"", "."};
constexpr int32_t EndedByDot = 2; // 1-based index of "." above

} // namespace

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
