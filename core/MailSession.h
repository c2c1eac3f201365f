#pragma once
// One account's POP3 session: the client filled from the account, the login,
// the count, fetching a message whole or its headers, deleting one and the
// logout. tolmu --check and --show run it directly; the windows run it as
// jobs of the mail worker, on the worker's one client.
#include "core/Settings.h"
#include "mail/WireMessage.h"
#include "net/WirePOP3.h"

#include <cstdint>
#include <functional>
#include <string>

// What a count found: the number of messages listed, or why the listing
// failed (Count then holds the lines counted before the failure).
struct TMailCount {
    int32_t Count = 0;
    bool Listed = false;
    std::string Error;
};

class TMailSession {
public:
    // Works on pop, which the caller owns and keeps alive for the session.
    explicit TMailSession(TWirePOP3& pop) : m_pop(pop) {}

    // Sets pop's Host, Port, UserID and Password from account, the TLS port
    // from the environment (TOLMU_TLS_PORT) and the time-out in seconds.
    static void FillClient(TWirePOP3& pop, const TPOPAcc& account, int32_t timeout = 60);

    // FillClient, then the login (TWirePOP3::Connect). Throws the login's
    // errors; the client is then closed.
    void Open(const TPOPAcc& account, int32_t timeout = 60);

    // Counts the waiting messages with UIDL. Never throws: a failed listing
    // comes back as Listed false with the server's or network's text.
    // onLine sees each listing line as it arrives (TWirePOP3::CheckMessages).
    TMailCount Count(const std::function<void(const std::string& line)>& onLine = {});

    // Fetches message number into message: its header block alone with
    // headersOnly (TOP n 0), else the whole message (RETR). Returns false,
    // message untouched, when the server refused RETR (its reply is then in
    // the client's ResultText). Throws the transport's and body reader's
    // errors, and EWireResponseError when TOP was refused.
    bool Fetch(int32_t number, TWireMessage& message, bool headersOnly);

    // Sends DELE; true when the server took it. Throws the transport's errors.
    bool Delete(int32_t number);

    // Logs out when still connected. Throws the logout's error; the
    // connection is closed all the same.
    void Close();

    // Close for the paths that already have an answer in hand: a failed
    // logout changes nothing they report.
    void CloseQuietly() noexcept;

private:
    TWirePOP3& m_pop;
};
