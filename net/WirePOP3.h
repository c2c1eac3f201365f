// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The POP3 mail-drop client (RFC 1939, the USER/PASS/UIDL/DELE/QUIT subset,
// with CAPA of RFC 2449, STLS of RFC 2595 and AUTH of RFC 5034): log in,
// count the waiting messages, delete one, log out. The command spellings
// ("User ", "Pass ", "UIDL", "DELE ", "Quit") are what servers have always
// seen from this program; keep them. Replies are read by TPop3ReplyRule
// ("+OK" 1, "-ERR" 0), an AUTH exchange by TPop3SaslReplyRule.
#include "net/Pop3Capabilities.h"
#include "net/Pop3Reply.h"
#include "net/Sasl.h"
#include "net/WireMessageClient.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

// The port on which POP3 speaks TLS from the first byte (RFC 8314).
inline constexpr int32_t Pop3TlsPort = 995;

// A listing longer than this is no mailbox a person reads: "Too much data.".
inline constexpr int32_t MaxListingLines = 1000000;
inline constexpr uint64_t MaxListingBytes = uint64_t(256) << 20;

// One message of a UIDL listing: its number and unique id ("" for none).
struct TUidlEntry {
    int32_t Number = 0;
    std::string Id;
};

// One line of a UIDL listing, "n unique-id", the place-th of its listing:
// the one reader of those lines. A number that does not read as one takes
// the line's place; blanks or tabs part the two; an id of nothing is none.
TUidlEntry ParseUidlLine(std::string_view line, int32_t place);

class TWirePOP3 : public TWireMessageClient {
public:
    TWirePOP3();
    // Logs out (sends "Quit", closes) when still connected; never throws.
    ~TWirePOP3() override;

    std::string UserID() const { return m_userName; }
    void SetUserID(const std::string& v) { m_userName = v; }
    std::string Password() const { return m_password; }
    // The secret is a password.
    void SetPassword(const std::string& v) { SetSecret({TSignInSecret::Kind::Password, v}); }
    void SetSecret(const TSignInSecret& secret)
    {
        m_password = secret.Text;
        m_secretKind = secret.SecretKind;
    }

    // For "TLS when offered" on another computer (never on this one, see
    // IsThisComputer): TlsSeen, the server offered STLS before, so a session
    // without it is refused; ClearTextAllowed, the user allowed a clear-text
    // sign-in where the server offers no TLS. Without either, such a session
    // upgrades or fails with EWireClearTextUnconfirmed before anything
    // secret is sent.
    bool TlsSeen = false;
    bool ClearTextAllowed = false;
    // Whether the server offered STLS in the last Connect (it listed it, or
    // took it): a caller keeps that as TlsSeen.
    bool TlsOffered() const { return m_tlsOffered; }

    // Connects (TLS first with TlsFirstByte), reads the greeting raw, asks
    // "CAPA" (no answer within Timeout, or -ERR: no capabilities), then,
    // when the security asks for it, sends "STLS", runs the TLS handshake
    // (startTls) and asks "CAPA" again; then signs in: "AUTH <mechanism>"
    // when the capabilities call for SASL (ChooseSaslMechanism), else
    // "User " + UserID and "Pass " + Password.
    // Statuses: "Connecting to " + Host, "Socket Connected", ["TLS
    // connected",] "Connected", ["TLS connected",] "Protection: " +
    // Protection(), then "  User Account is valid" and "  Password is valid"
    // (AUTH: "  Password is valid", or "  Access token is valid").
    // Throws the transport's errors, EWireConnectRefused with the greeting
    // when it is not "+OK", EWireResponseError with the server's line when
    // the sign-in is refused, EWireNoTls when the security requires TLS and
    // the server offers none, EWireTLSError when STLS is refused or its
    // handshake fails (no clear-text sign-in follows: nothing secret is
    // sent then), EWireException "Too much data." for a capability listing
    // past MaxCapabilityBytes. On any failure after the socket connected
    // the client logs out ("Quit" while the connection is still open) and
    // is closed; the error that made the login fail is the one thrown, even
    // when the logout fails as well.
    void Connect() override;

    // How the session of the last Connect was protected when it signed in:
    // "TLS 1.3 (STLS)", "TLS 1.3" (TLS from the first byte) or "not
    // encrypted"; empty when the last Connect did not get as far as the
    // sign-in. Sends nothing, never throws.
    const std::string& Protection() const { return m_protection; }
    // The capabilities the server listed for the sign-in (after STLS, the
    // ones it listed over TLS).
    const TPop3Capabilities& Capabilities() const { return m_capabilities; }

    // Sends "UIDL" and counts the listing's lines up to ".". Status
    // "Checking for messages". A listing past MaxListingLines lines or
    // MaxListingBytes fails with "Too much data.", one that passes its time
    // bound (ReplyRun) with 10060; either closes the connection. Never
    // throws an Exception: a refused UIDL or
    // a failure mid-listing is reported through OnStatus (its message) and
    // the count so far is returned (0 when UIDL itself failed);
    // ListingFailed() then tells so and ListingError() holds that message.
    // onLine, when given, sees each listing line ("n unique-id") as it
    // arrives, so a caller can compare ids without the listing being kept.
    int32_t CheckMessages(const std::function<void(const std::string& line)>& onLine = {});
    bool ListingFailed() const { return m_listingFailed; }
    const std::string& ListingError() const { return m_listingError; }

    // Sends "DELE " + number; true when the server answered +OK (no error on
    // -ERR). The server removes the message at logout. Throws the
    // transport's errors.
    bool Delete(int32_t number);

    // Sends "Quit", waits for its reply (at most 5 seconds, never longer
    // than Timeout; no reply or a closed connection is no error), then
    // always closes (statuses "Disconnecting", "Disconnected"). Throws
    // EWireClosedSocket "Socket is closed, cannot write" (or the send's
    // error) after closing when the connection was already gone, and
    // EWireResponseError with the server's line when it answered "Quit"
    // with anything but +OK after a message was deleted (the deletion may
    // not have been carried out).
    void Disconnect() override;

    // Sends "RETR " + number. On +OK: status "  " + the reply line, reads
    // the header block and the body into message (cleared first), then
    // statuses "    From: " + From and "    Subject: " + Subject, their
    // encoded words decoded (UTF-8); returns
    // true. On -ERR returns false with message untouched and no status.
    // Throws the transport's errors and ReceiveBody's (message partly filled).
    bool Retrieve(int32_t number, TWireMessage& message);

    // Sends "TOP " + number + " 0" (status "Retrieving headers") and reads
    // the header block into message (cleared first). Returns true when the
    // reply ends right after the header block ("." after the empty line, or
    // in place of it); false when other lines follow, which are read off up
    // to "." so the connection stays in step. Throws EWireResponseError with
    // the server's line on -ERR (message untouched) and the transport's errors.
    bool RetrieveHeader(int32_t number, TWireMessage& message);

private:
    // Sends "CAPA" and reads the listing (see Connect).
    TPop3Capabilities askCapabilities();
    // Whether the security asks for STLS on a server that listed caps;
    // throws EWireNoTls when it requires TLS the server does not list.
    bool wantsStls(const TPop3Capabilities& caps) const;
    // Sends "STLS" and, on +OK, runs the handshake; closes the connection
    // and throws when either fails.
    void startStls();
    // Signs in with USER / PASS or the chosen SASL mechanism.
    void signIn(const TPop3Capabilities& caps);
    // One AUTH exchange with mech; throws EWireResponseError with the
    // server's line when it does not end in +OK.
    void authenticate(const TSaslMechanism& mech);
    // Whether this session must not sign in without TLS.
    bool mustUpgrade() const;
    // Throws the error for a server that offers no TLS where it must.
    [[noreturn]] void throwNoTls() const;

    TPop3ReplyRule m_replyRule;
    TPop3SaslReplyRule m_saslRule;
    TSignInSecret::Kind m_secretKind = TSignInSecret::Kind::Password;
    TPop3Capabilities m_capabilities;
    bool m_stls = false; // TLS came with STLS in this session
    bool m_tlsOffered = false;
    std::string m_protection;
    bool m_deletions = false; // a DELE was taken since the login
    bool m_listingFailed = false;
    std::string m_listingError;
};
