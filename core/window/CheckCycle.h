// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The mail check cycle: when a mailbox is looked at, which one, and what the
// window shows afterwards. Plain C++: the window owns one, fills the ports
// (what a check shows, message boxes, the desktop's sound) and calls the
// handlers; the mail work runs as jobs of the mail worker.
#include "core/accounts/AccountId.h"
#include "core/accounts/AccountStore.h"
#include "core/mailbox/Arrivals.h"
#include "core/accounts/Credentials.h"
#include "core/settings/Loader.h"
#include "core/mailbox/MailWorker.h"
#include "core/mailbox/NewMailNote.h"
#include "core/window/Ports.h"
#include "core/settings/Settings.h"

#include <cstdint>
#include <ctime>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// The notification-area icon a check asks for.
enum class TTrayIcon { Online, Mail };

// What a check shows on the main window, beyond the connected state.
class TCycleView : public TCheckView {
public:
    // The hint of the online picture: "Connected" or "Disconnected".
    virtual void SetOnlineHint(const std::string& text) = 0;
    // accName + "-" + count + " message(s)" on the status picture.
    virtual void ShowMessageCount(const std::string& accName, int32_t count) = 0;
    // The count picture's hint, lines separated by CR.
    virtual void SetCountHint(const std::string& hint) = 0;
    // The got-mail or the no-mail picture on the flag. Throws Exception when
    // the picture cannot be loaded.
    virtual void ShowFlag(bool gotMail) = 0;
    virtual void SetTrayIcon(TTrayIcon icon) = 0;
    // Arms or stops the periodic check.
    virtual void SetTimer(bool enabled, int32_t intervalMs) = 0;
    // The tray icon's tooltip, lines separated by CR (no tray: nothing).
    virtual void SetTrayTip(const std::string&) {}
};

// A view that shows nothing: for a window that is only drawn, or a test
// that looks at something else.
class TNoCycleView : public TCycleView {
public:
    void ShowStatus(const std::string&) override {}
    void ShowCount(int32_t) override {}
    void ShowConnectionState(bool, int32_t) override {}
    void StopTimer() override {}
    void SetOnlineHint(const std::string&) override {}
    void ShowMessageCount(const std::string&, int32_t) override {}
    void SetCountHint(const std::string&) override {}
    void ShowFlag(bool) override {}
    void SetTrayIcon(TTrayIcon) override {}
    void SetTimer(bool, int32_t) override {}
};

// Brings the window in line with the online flag: offline, the periodic
// check stops and the offline pictures show a count of 0; online, the
// pictures show "Connected" and messageCount.
void ShowOnlineState(TCheckView& view, bool onlineMode, int32_t messageCount);

// Why a login failed, for the line on what to do about it.
// ClearText: the server offers no TLS and the user has not yet said whether
// the password may cross without it; Unusable: the account cannot be used
// as the files hold it.
enum class TCheckFailure { Other, Login, HostName, Refused, Network, Tls, NoTls, Greeting, ClearText, Unusable };

// The message box of an account that could not be checked: the account's
// name and server, the error's own text as it came, and one line on what
// to do.
std::string AccountErrorText(const TPOPAcc& account, const std::string& error, TCheckFailure kind);

// Minutes between timer checks, as the dialog offers them (1 to 99): a
// hand-edited 0 would check on every pass of the event loop.
int32_t CheckIntervalMs(int32_t minutes);

class TCheckCycle {
public:
    // accounts: the accounts checked, as the dialog leaves them between two
    // checks; the cycle changes them only to keep what a check learnt of a
    // server's TLS and the user's answer about clear text. credentials: asked for an account's secret at each login (on
    // the worker's thread). Both outlive the cycle.
    TCheckCycle(TCycleView& view, TMailWorker& worker, TPrompt& prompt, TDesktop& desktop,
                TAccountStore& accounts, const TCredentialSource& credentials = StoredPasswords());

    // Checking is switched on. Survives a reload of the settings.
    bool OnlineMode = false;
    // CurrentAccount, HasActiveAccount, FirstActiveIndex of the last load.
    TLoadState Load;
    // The dial-up hang-up, run last by DisconnectClick.
    std::function<void()> HangUpLines;
    // Seconds a connect or reply may wait.
    int32_t Timeout = 60;
    // Told of new mail with the newest messages' senders and subjects, read
    // over a short login of its own after the check; none: no notifications.
    // Only messages whose ids no notification told of before count, so
    // nothing new means no notification and no extra login.
    TNotifier* Notifier = nullptr;

    // The start of the cycle after a load: the client takes the first
    // active account, a connection is closed unless AutoConnect, the state
    // is drawn, AutoConnect logs in and checks once, the timer is armed.
    void StartCycle();
    // One check; advance: move on to the next active account and log in.
    // then(done) runs once the check has ended, done telling whether it
    // counted and showed its result; also (false) when it did not start.
    void CheckMail(bool advance, std::function<void(bool done)> then = {});
    void ConnectClick();
    void DisconnectClick();
    // The refresh button: the left button alone checks; the right one asks
    // for the account menu (AccountMenu); anything else does nothing.
    void RefreshLeftClick() { CheckMail(true); }
    // "Check " + AccName and the tag of each active account, in slot order.
    std::vector<std::pair<std::string, int32_t>> AccountMenu() const;
    void MnuClick(int32_t tag);
    void TimerTimer();
    // "Check now" of the tray menu: every active account once, in turn;
    // offline, Connect. Refused while a job runs or the message window
    // holds a connection.
    void CheckNow();
    // Makes account (found by name, server and user in the store) the one
    // checked last, as the message window of a notification needs it;
    // false when it is no longer in the table.
    bool SelectAccount(const TAccountId& account);
    // A status text of the client: drawn after the account's name.
    void POPStatus(const std::string& text);

    // The count picture's hint as built so far.
    const std::string& CountHint() const { return m_countHint; }
    // The tray's tooltip: the time of the last check, then each active
    // account with its count and the error of its last check, marked
    // " (not encrypted)" when that check signed in without encryption.
    std::string TrayTip() const;
    // Logs out when a connection is open (at exit); never throws.
    void CloseConnection();
    // The account whose connection data the client holds (the first active
    // account after a load, else the account of the last check), as the
    // store holds it now, secret included: for a job that logs in to take
    // along. The cycle itself keeps no copy of the secret.
    TPOPAcc ClientAccount() const;
    // Where the logins of this cycle and its message window get secrets.
    const TCredentialSource& Credentials() const { return m_credentials; }

private:
    struct CheckResult;
    // What the window knows of one mailbox from its last check.
    struct AccountState {
        std::optional<int32_t> count;
        std::string error; // empty when the last check worked
        std::string protection; // of the last session that got to its sign-in
    };

    const TPOPAcc* account(int32_t index) const;
    bool rotate();
    bool finishCheck(const CheckResult& result, const std::string& error);
    void showError(const std::string& text);
    // A login or check of account failed: a box when its error is not the
    // one it had (always when asked from Connect), else the status line.
    void accountFailed(const TPOPAcc& account, const std::string& error, TCheckFailure kind, bool fromConnect);
    // Asks the user whether account may sign in without TLS, keeps the
    // answer and checks again (nothing when the box was closed).
    void askClearText(const TPOPAcc& account, bool fromConnect);
    // Keeps that account's server offered TLS, when it is to be kept.
    void noteTlsOffer(const TPOPAcc& account, bool offered);
    // The store's index of account (found by name, server and user), or 0.
    int32_t indexOf(const TPOPAcc& account) const;
    void notifyNewMail(const TArrival& arrival);
    void checkRound(int32_t left);
    void armTimer();

    TCycleView& m_view;
    TMailWorker& m_worker;
    TPrompt& m_prompt;
    TDesktop& m_desktop;
    TAccountStore& m_accounts;
    const TCredentialSource& m_credentials;
    TPOPAcc m_popAccount;    // the client's connection data, without the secret
    std::string m_countHint = "NB Messages";
    bool m_errorShowing = false;
    TArrivals m_arrivals;
    std::map<std::string, AccountState> m_states; // by account (name and mailbox)
    bool m_asking = false; // the clear-text question is open
    std::time_t m_lastCheck = 0;
};
