// The body operations of the message client: reading a body from the
// connection into a message, writing one, and base64 files onto a connection.
#include "mail/Coder.h"
#include "mail/Headers.h"
#include "mail/MimeBody.h"
#include "mail/WireMessage.h"

namespace {

const char* const NextPart = "--=_NextPart_2rfksadvnqw3nerasdf";

void writeStuffed(TWireSocket& socket, const TStringList& lines)
{
    for (const std::string& line : lines)
        socket.WriteLine(!line.empty() && line[0] == '.' ? "." + line : line);
}

} // namespace

void TWireMessageClient::ReceiveBody(TWireMessage& message)
{
    // Lines the reader drops go nowhere.
    OnLine = nullptr;
    const WorkRun run(*this, -1);
    ConnectionLines lines(*this);
    mime::ReadBody(lines, message.Headers,
                   {message.Text, message.MessageParts, message.Attachments, message.ExtractAttachments},
                   UnfoldHeaders);
}

// The boundary is fixed and not checked against the content: the text and
// the base64 lines written here cannot start with "--=_".
void TWireMessageClient::SendBody(TWireMessage& message)
{
    if (message.Attachments.empty()) {
        writeStuffed(*this, message.Text);
        return;
    }
    WriteLine("This is a multi-part message in MIME format.");
    WriteLine("");
    WriteLine(NextPart);
    WriteLine("Content-Type: " + message.ContentType);
    WriteLine("Content-Transfer-Encoding: 7bit");
    WriteLine("");
    writeStuffed(*this, message.Text);
    TWireEncoder encoder;
    for (const TAttachment& a : message.Attachments) {
        WriteLine("");
        WriteLine(NextPart);
        WriteLine("Content-Type: application/octet-stream;");
        WriteLine("        name=\"" + a.FileName + "\"");
        WriteLine("Content-Transfer-Encoding: base64");
        WriteLine("Content-Disposition: attachment;");
        WriteLine("        filename=\"" + a.FileName + "\"");
        WriteLine("");
        encoder.EncodeFile(a.StoredPathName, *this);
    }
    WriteLine(std::string(NextPart) + "--");
}

void TWireEncoder::EncodeFile(const std::string& path, TWireSocket& target) const
{
    encodeFileTo(
        path, [&](const std::string& line) { target.WriteLine(line); },
        [&](long long size) { target.BeginWork(static_cast<int32_t>(std::min<long long>(size, INT32_MAX))); },
        [&](long long done) { target.ReportWork(static_cast<int32_t>(std::min<long long>(done, INT32_MAX))); },
        [&] { target.EndWork(); });
}
