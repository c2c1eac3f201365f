#include "mail/WireMessage.h"

void TWireMessage::Clear()
{
    MessageParts.clear();
    Attachments.clear();
    BCCList.clear();
    DefaultDomain.clear();
    // Cc, Date and From live in Headers and go with it.
    Headers.clear();
    MsgNo = 0;
    Text.clear();
}

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
