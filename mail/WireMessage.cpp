#include "mail/WireMessage.h"

void TWireMessage::Clear()
{
    MessageParts.clear();
    Attachments.clear();
    BCCList.clear();
    SetCCList({});
    DefaultDomain.clear();
    SetDate(0);
    SetFrom("");
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

void TWireMessageClient::ReceiveHeader(TWireMessage& message, const std::string& delimiter)
{
    message.Clear();
    ReceiveHeaderLines(message.Headers, delimiter);
    const std::string title = HeaderValue(message.Headers, "Title");
    if (!title.empty()) {
        message.SetSubject(title);
        SetHeaderValue(message.Headers, "Title", "");
    }
}
