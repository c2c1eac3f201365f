// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/message/MessageBrowser.h"

#include "base/AtomicFile.h"
#include "base/Scanner.h"
#include "core/message/MessageView.h"
#include "core/settings/Settings.h"

#include <cstdio>
#include <memory>

namespace {

const char* const NoMoreMessages = "no more messages...";

struct Fetched {
    std::vector<std::string> lines;
    std::string from;
    std::vector<TShownAttachment> attachments;
};

} // namespace

std::string ReplyUrl(std::string& replyAddress)
{
    for (char& c : replyAddress)
        if (c == '"')
            c = ' ';
    const std::string address = TrimLeadingBlanks(replyAddress);
    std::string url = "mailto:";
    for (const char c : address) {
        if (c == '?' || c == '&' || c == '#' || c == '%' || c == '\r' || c == '\n') {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", static_cast<unsigned char>(c));
            url += hex;
        } else {
            url += c;
        }
    }
    return url;
}

void SaveAttachmentAs(const TShownAttachment& att, const std::string& path)
{
    // The user's normal permissions, not the private temporary copy's 0600.
    WriteFileAtomically(
        path, [&att](const AtomicSink& sink) { CopyFileTo(att.StoredPathName, sink); }, UserFileMode());
}

TMessageBrowser::TMessageBrowser(TMessageView& view, TMailWorker& worker, TPrompt& prompt, TDesktop& desktop,
                                 TCheckCycle& cycle)
    : m_view(view), m_worker(worker), m_prompt(prompt), m_desktop(desktop), m_cycle(cycle)
{
}

void TMessageBrowser::fail(const std::string& error)
{
    m_busy = false;
    m_prompt.Message(error, TPrompt::Icon::Error);
}

void TMessageBrowser::fetch(int32_t n, bool headersOnly, std::function<void()> then)
{
    auto result = std::make_shared<Fetched>();
    m_busy = true;
    m_worker.Run(
        [n, headersOnly, result](TMailDrop& drop, TWireMessage& msg) {
            msg.Clear();
            // A whole message the server refuses shows the emptied message.
            drop.Fetch(n, msg, headersOnly);
            result->lines = MessageWindowLines(msg, headersOnly);
            result->from = msg.From();
            for (const TAttachment& a : msg.Attachments)
                result->attachments.push_back({a.FileName, a.StoredPathName, a.StoredFile});
        },
        [this, n, headersOnly, result, then = std::move(then)](const std::string& error) {
            if (!error.empty()) {
                fail(error);
                return;
            }
            m_busy = false;
            ReplyAddress = result->from;
            m_attachments = result->attachments;
            m_view.ShowLines(result->lines);
            if (!headersOnly)
                m_view.SetSaveEnabled(!m_attachments.empty());
            CurrentMsg = n;
            if (then)
                then();
        });
}

void TMessageBrowser::DisplayMessage(int32_t n, std::function<void()> then)
{
    if (m_busy)
        return;
    if (n == 0) {
        m_view.ShowLines({NoMoreMessages});
        CurrentMsg = 0;
        if (then)
            then();
        return;
    }
    fetch(n, Settings.HeaderOnly, std::move(then));
}

void TMessageBrowser::NextClick()
{
    if (m_busy)
        return;
    if (MessageCount <= 0) {
        DisplayMessage(0);
        return;
    }
    CurrentMsg = CurrentMsg + 1 > MessageCount ? 1 : CurrentMsg + 1;
    DisplayMessage(CurrentMsg);
}

void TMessageBrowser::PrevClick()
{
    if (m_busy)
        return;
    if (MessageCount <= 0) {
        DisplayMessage(0);
        return;
    }
    CurrentMsg = CurrentMsg - 1 > 0 ? CurrentMsg - 1 : MessageCount;
    DisplayMessage(CurrentMsg);
}

void TMessageBrowser::DeleteClick()
{
    // "no more messages..." shows no message: there is nothing to delete
    // (a DELE 0 would only be refused, and end the session's view).
    if (m_busy || CurrentMsg <= 0)
        return;
    m_busy = true;
    const int32_t number = CurrentMsg;
    m_worker.Run([number](TMailDrop& drop, TWireMessage&) { drop.Delete(number); },
                 [this](const std::string& error) {
                     if (!error.empty()) {
                         fail(error);
                         return;
                     }
                     // The recount ends the connection, and the server carries
                     // out the deletion; the next login numbers afresh.
                     m_cycle.CheckMail(false, [this](bool checked) {
                         if (!checked) {
                             m_busy = false;
                             return;
                         }
                         const TPOPAcc account = m_cycle.ClientAccount();
                         const int32_t timeout = m_cycle.Timeout;
                         m_worker.Run([account, &credentials = m_cycle.Credentials(),
                                       timeout](TMailDrop& drop,
                                                TWireMessage&) { drop.Open(account, credentials, timeout); },
                                      [this](const std::string& loginError) {
                                          if (!loginError.empty()) {
                                              fail(loginError);
                                              return;
                                          }
                                          m_busy = false;
                                          DisplayMessage(MessageCount > 0 ? 1 : 0);
                                      });
                     });
                 });
}

void TMessageBrowser::ReplyClick() { m_desktop.OpenUrl(ReplyUrl(ReplyAddress)); }

bool TMessageBrowser::ReadMailEnabled() const { return Settings.HeaderOnly && m_worker.Connected(); }

void TMessageBrowser::ReadMailClick()
{
    if (m_busy || CurrentMsg <= 0 || !ReadMailEnabled())
        return;
    fetch(CurrentMsg, false, {});
}

void TMessageBrowser::SaveClick()
{
    if (CurrentMsg <= 0 || m_busy)
        return;
    for (const TShownAttachment& att : m_attachments) {
        const std::optional<std::string> path =
            m_prompt.SaveFile("Save attachment", SafeFileName(att.FileName), "zip file (*.zip)|*.zip|all (*)|*");
        if (!path)
            continue;
        try {
            SaveAttachmentAs(att, *path);
        } catch (const std::exception& e) {
            m_prompt.Message(e.what(), TPrompt::Icon::Error);
        }
    }
}
