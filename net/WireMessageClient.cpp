// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/WireMessageClient.h"

#include "mail/Coder.h"
#include "mail/Headers.h"

#include <algorithm>
#include <climits>

namespace {

const char* const NextPart = "--=_NextPart_2rfksadvnqw3nerasdf";

void writeStuffed(TWireSocket& socket, const TStringList& lines)
{
    for (const std::string& line : lines)
        socket.WriteLine(!line.empty() && line[0] == '.' ? "." + line : line);
}

} // namespace

void TWireMessageClient::ReceiveHeaderLines(TStringList& list, const std::string& delimiter)
{
    list.clear();
    CaptureLines(&list, {delimiter}, MaxHeaderBlockBytes, "Header block too large.");
    UnfoldHeaders(list);
}

int32_t TWireMessageClient::receiveHeaderBlock(TWireMessage& message, const std::vector<std::string>& delimiters)
{
    message.Clear();
    const int32_t which = CaptureLines(&message.Headers, delimiters, MaxHeaderBlockBytes, "Header block too large.");
    UnfoldHeaders(message.Headers);
    const std::string title = HeaderValue(message.Headers, "Title");
    if (!title.empty()) {
        message.SetSubject(title);
        SetHeaderValue(message.Headers, "Title", "");
    }
    return which;
}

void TWireMessageClient::ReceiveHeader(TWireMessage& message, const std::string& delimiter)
{
    receiveHeaderBlock(message, {delimiter});
}

void TWireMessageClient::ReceiveBody(TWireMessage& message)
{
    // Lines the reader drops go nowhere.
    OnLine = nullptr;
    const WorkRun run(*this, -1);
    const ReplyRun reply(*this, MaxMessageBytes);
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
        EncodeFileToConnection(encoder, a.StoredPathName, *this);
    }
    WriteLine(std::string(NextPart) + "--");
}

void EncodeFileToConnection(const TWireEncoder& encoder, const std::string& path, TWireSocket& target)
{
    encoder.EncodeFileWith(
        path, [&](const std::string& line) { target.WriteLine(line); },
        [&](long long size) { target.BeginWork(static_cast<int32_t>(std::min<long long>(size, INT32_MAX))); },
        [&](long long done) { target.ReportWork(static_cast<int32_t>(std::min<long long>(done, INT32_MAX))); },
        [&] { target.EndWork(); });
}
