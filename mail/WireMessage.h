// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One mail message as received: its header block as Name=value entries with
// typed views of the common fields, the body text, and the text parts and
// attachments the body reader fills. The message client of the transport
// (net/WireMessageClient.h) fills it from a connection.
#include "mail/Headers.h"
#include "mail/MessageParts.h"
#include "mail/MimeBody.h"
#include "mail/StringList.h"

#include <cstdint>
#include <string>

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

    // Empties parts, attachments (their files are removed), headers, text
    // and the lists; MsgNo 0. ContentType, ExtractAttachments and
    // UseNowForDate keep their values. Never throws.
    virtual void Clear();
};
