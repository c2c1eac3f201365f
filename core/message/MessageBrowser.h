// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the message window does, without the window: paging through the
// messages of the account checked last, fetching each whole or its headers
// as jobs of the mail worker, deleting, replying and saving attachments.
// The window (msgwin/) fills the view port and forwards its clicks.
#include "core/window/CheckCycle.h"
#include "core/mailbox/MailWorker.h"
#include "core/window/Ports.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// What the message window shows.
class TMessageView {
public:
    virtual ~TMessageView() = default;
    // Replaces the text area's lines; the text shows from its first line.
    virtual void ShowLines(const std::vector<std::string>& lines) = 0;
    // The "Save attachments" menu item.
    virtual void SetSaveEnabled(bool enabled) = 0;
};

// An attachment of the message shown: its name in the mail and the
// temporary file holding its bytes. The file has no name: StoredPathName
// reaches it while StoredFile, shared with the worker's message, keeps it.
struct TShownAttachment {
    std::string FileName;
    std::string StoredPathName;
    std::shared_ptr<const mime::TempFileGuard> StoredFile;
};

// The mailto: address of a reply. replyAddress is changed as the window
// has always changed it (double quotes become blanks); the returned URL then
// has leading blanks trimmed and the characters that would start URL parts
// or headers (?, &, #, %, CR, LF) percent-encoded, so a sender cannot fill
// in a reply's subject, body or extra recipients.
std::string ReplyUrl(std::string& replyAddress);

// Copies the attachment's stored file to path, whole or not at all: the
// bytes go to a new file beside path that replaces it only once complete
// (WriteFileAtomically: a device, FIFO or folder there is refused), with the
// user's normal permissions. Throws Exception naming the file and the
// system's error; nothing is left behind then.
void SaveAttachmentAs(const TShownAttachment& att, const std::string& path);

class TMessageBrowser {
public:
    TMessageBrowser(TMessageView& view, TMailWorker& worker, TPrompt& prompt, TDesktop& desktop,
                    TCheckCycle& cycle);

    // Server number of the message shown; 0 when none is.
    int32_t CurrentMsg = 0;
    // The From text of the last message displayed.
    std::string ReplyAddress;

    // Shows message n (0: the line "no more messages..."), fetched whole or
    // as headers as HeaderOnly says; then runs then (on success). Errors of
    // the fetch go to the prompt; the lines shown stay as they were.
    void DisplayMessage(int32_t n, std::function<void()> then = {});
    void NextClick();
    void PrevClick();
    // DELE, a recount that ends the connection (the server then deletes),
    // a new login, then message 1 or "no more messages...". Nothing while
    // no message is shown.
    void DeleteClick();
    void ReplyClick();
    // Whether "Read Mail" is offered: headers-only mode with a connection.
    bool ReadMailEnabled() const;
    // The message shown, fetched whole once; the mode stays headers-only.
    // Nothing while no message is shown.
    void ReadMailClick();
    // One save dialog per attachment, proposing its name; a cancelled
    // dialog skips that one only. A failed copy says so.
    void SaveClick();

    // True while a fetch, delete or login runs: the window's clicks are
    // ignored meanwhile, so the client is never driven twice.
    bool Busy() const { return m_busy; }
    const std::vector<TShownAttachment>& Attachments() const { return m_attachments; }

private:
    void fetch(int32_t n, bool headersOnly, std::function<void()> then);
    void fail(const std::string& error);

    TMessageView& m_view;
    TMailWorker& m_worker;
    TPrompt& m_prompt;
    TDesktop& m_desktop;
    TCheckCycle& m_cycle;
    std::vector<TShownAttachment> m_attachments;
    bool m_busy = false;
};
