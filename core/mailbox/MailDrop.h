// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A mailbox on a server as the core sees it, whatever the protocol: a
// session opened for an account, the waiting messages counted and listed by
// their ids, one fetched whole or its headers, one deleted, the session
// closed. The mail worker holds one and its jobs use it; MakeMailDrop
// (core/mailbox/MailDropFactory.h) builds it. The errors are the line layer's
// (net/WireErrors.h), whichever protocol runs on it.
#include "base/Exception.h"
#include "core/accounts/Account.h"
#include "core/accounts/CredentialSource.h"
#include "mail/WireMessage.h"

#include <cstdint>
#include <functional>
#include <string>

// Seconds a connect or one reply may wait when nothing else is set.
inline constexpr int32_t DefaultMailTimeout = 60;

// One waiting message as a drop lists it: its number in the session (what
// Fetch and Delete take) and its unique id ("" when the server gave none).
struct TListedMessage {
    int32_t Number = 0;
    std::string Id;
};

// What a count found: the drop's count of waiting messages, or why the
// listing failed (Count then holds what was counted before the failure).
struct TMailCount {
    int32_t Count = 0;
    bool Listed = false;
    std::string Error;
};

class TMailDrop {
public:
    TMailDrop() = default;
    virtual ~TMailDrop() = default;
    TMailDrop(const TMailDrop&) = delete;
    TMailDrop& operator=(const TMailDrop&) = delete;

    // The session's status texts as they happen ("Connecting to " + host,
    // "Connected", "Checking for messages", ...), on the thread running it.
    std::function<void(const std::string& text)> OnStatus;
    // Runs between the short poll slices of every wait. What it throws ends
    // the wait, closes the connection and goes up through the call: the
    // mail worker's Stop and the command line's Ctrl+C end a wait this way.
    std::function<void()> OnIdle;

    // Connects to account's host and port, protected as its Security asks
    // (unset: TLS from the first byte on the TLS port, else TLS when the
    // server offers it), and logs in with its user name and the secret
    // credentials gives for it, asked now and kept no longer than the login.
    // timeout: seconds a connect or one reply may wait. Throws the
    // transport's errors (EWireSocketError, EWireTLSError; EWireNoTls when
    // TLS is required and not offered), EWireConnectRefused when the server
    // turns the connection away, EWireResponseError with the server's line
    // when the login is refused, and what credentials throws; the
    // connection is then closed. No secret is sent after TLS was wanted and
    // failed.
    virtual void Open(const TPOPAcc& account, const TCredentialSource& credentials, int32_t timeout) = 0;

    // Counts the waiting messages and lists them by their unique ids. Never
    // throws: a failed listing comes back as Listed false with the server's
    // or network's text (a listing too long or too slow also closes the
    // connection). onMessage sees each listed message as it arrives, so a
    // caller compares ids without the listing being kept. The count is the
    // drop's own figure of the mail waiting and may differ from the number
    // of messages listed: POP3 lists every message and counts them all, a
    // drop that counts only unread mail lists only that.
    virtual TMailCount Count(const std::function<void(const TListedMessage& message)>& onMessage = {}) = 0;

    // Fetches message number into message (cleared first): its header
    // block alone with headersOnly, else the whole message with its
    // attachments stored. Returns false, message untouched, when the server
    // refused the whole message (LastReply says why). Throws the transport's
    // and body reader's errors, and EWireResponseError when the headers
    // were refused.
    virtual bool Fetch(int32_t number, TWireMessage& message, bool headersOnly) = 0;

    // Marks message number for deletion; true when the server took it. The
    // server removes it when the session closes. Throws the transport's
    // errors.
    virtual bool Delete(int32_t number) = 0;

    // Logs out when still connected (the server carries out the deletions
    // then). Throws the logout's error (EWireClosedSocket when the
    // connection was already gone, EWireResponseError when the server
    // refused it after a deletion); the connection is closed all the same.
    virtual void Close() = 0;
    // Close for the paths that already have an answer in hand: a failed
    // logout changes nothing they report.
    void CloseQuietly() noexcept;
    // Ends the connection at once, without logging out: a stopped job
    // leaves nothing waiting on the server's answer.
    virtual void Abandon() noexcept = 0;

    // True while a session is open.
    virtual bool Connected() const = 0;
    // What protected the last session on the network when it signed in, for
    // a person to read: "TLS 1.3 (STLS)", "TLS 1.3" (TLS from the first
    // byte) or "not encrypted"; "" before any session got as far as its
    // sign-in.
    virtual std::string Protection() const = 0;
    // The server's answer to the last command, made safe to show (the
    // refusal of a fetch).
    virtual std::string LastReply() const = 0;
    // Whether the server offered to upgrade the last session to TLS (the
    // account then keeps TlsSeen, so that a later session without the
    // offer is refused).
    virtual bool TlsOffered() const { return false; }
};

// The account cannot be used as the files hold it (TPOPAcc::Broken): Open
// throws this before anything goes out.
class EAccountBroken : public Exception {
public:
    using Exception::Exception;
};

inline void TMailDrop::CloseQuietly() noexcept
{
    try {
        Close();
    } catch (...) {
        // The caller's answer stands; the connection is closed either way.
    }
}
