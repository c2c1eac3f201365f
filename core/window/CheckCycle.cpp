// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/window/CheckCycle.h"

#include "base/Scanner.h"
#include "core/mailbox/MailDropFactory.h"
#include "core/mailbox/SeenIds.h"
#include "net/TlsStream.h"
#include "net/WireErrors.h"

#include <algorithm>
#include <memory>

namespace {

const char* const NoValidAccount = "No valid account ! Please create one or activate an existing account.";

bool isBlank(const std::string& s) { return s.find_first_not_of(' ') == std::string::npos; }

// The cycle outlives every login, so it keeps an account without its secret;
// each job takes the store's record with it and drops it when done.
TPOPAcc withoutSecret(TPOPAcc account)
{
    account.Password.clear();
    return account;
}

// Socket errors break their line after the number: one line for the status
// picture and the tooltip.
std::string oneLine(const std::string& text)
{
    std::string out;
    for (const char c : text) {
        if (c == '\r' || c == '\n') {
            if (!out.empty() && out.back() != ' ')
                out += ' ';
        } else {
            out += c;
        }
    }
    return out;
}

TCheckFailure socketFailure(int32_t code)
{
    if (code >= 11001 && code <= 11004)
        return TCheckFailure::HostName;
    return code == 10061 ? TCheckFailure::Refused : TCheckFailure::Network;
}

// Logs in and notes what kind of failure it threw, which goes on up.
void openNoting(TMailDrop& drop, const TPOPAcc& account, const TCredentialSource& credentials, int32_t timeout,
                TCheckFailure& kind)
{
    try {
        drop.Open(account, credentials, timeout);
    } catch (const EWireResponseError&) {
        kind = TCheckFailure::Login;
        throw;
    } catch (const EWireConnectRefused&) {
        kind = TCheckFailure::Greeting;
        throw;
    } catch (const EAccountBroken&) {
        kind = TCheckFailure::Unusable;
        throw;
    } catch (const EWireClearTextUnconfirmed&) {
        kind = TCheckFailure::ClearText;
        throw;
    } catch (const EWireNoTls&) {
        kind = TCheckFailure::NoTls;
        throw;
    } catch (const EWireTLSError&) {
        kind = TCheckFailure::Tls;
        throw;
    } catch (const EWireSocketError& e) {
        kind = socketFailure(e.ErrorCode());
        throw;
    }
}

// openNoting, noting also whether the server offered TLS, even when the
// login then failed (a refused STLS was still offered).
void openNotingOffer(TMailDrop& drop, const TPOPAcc& account, const TCredentialSource& credentials, int32_t timeout,
                     TCheckFailure& kind, bool& offered)
{
    try {
        openNoting(drop, account, credentials, timeout, kind);
    } catch (...) {
        offered = drop.TlsOffered();
        throw;
    }
    offered = drop.TlsOffered();
}

// What the window knows of an account is the account's own, also where two
// accounts read one mailbox (which mail is new stays the mailbox's).
std::string stateKey(const TPOPAcc& account) { return account.AccName + "\n" + SeenIdsKey(account); }

std::string messages(int32_t n)
{
    if (n < 1)
        return "no messages";
    return std::to_string(n) + (n == 1 ? " message" : " messages");
}

} // namespace

std::string AccountErrorText(const TPOPAcc& account, const std::string& error, TCheckFailure kind)
{
    const char* todo = "Tolmu tries again at the next check.";
    switch (kind) {
    case TCheckFailure::Login:
        todo = "Check the login and password of this account in Configure, Accounts.";
        break;
    case TCheckFailure::HostName:
        todo = "Check the host name of this account in Configure, Accounts, and that this computer is online.";
        break;
    case TCheckFailure::Refused:
        todo = "Check the host and port of this account in Configure, Accounts; the server may also be down.";
        break;
    case TCheckFailure::Network:
        todo = "Check that this computer is online; Tolmu tries again at the next check.";
        break;
    case TCheckFailure::Tls:
        todo = "Check the port of this account in Configure, Accounts (995 is POP3 over TLS) and the server's "
               "certificate.";
        break;
    case TCheckFailure::NoTls:
        todo = "Change the port of this account in Configure, Accounts. Or choose another Security for it there: "
               "\"TLS from the first byte\" for a port that starts with TLS, \"Unencrypted (not recommended)\" "
               "for a server without TLS.";
        break;
    case TCheckFailure::Greeting:
        todo = "The server turned the connection away; Tolmu tries again at the next check.";
        break;
    case TCheckFailure::ClearText:
        todo = "Choose \"TLS required\" for this account in Configure, Accounts, or \"Unencrypted (not "
               "recommended)\" if you accept that others on the way can read its password.";
        break;
    case TCheckFailure::Unusable:
        todo = "Mend the line named above, or enter the account again in Configure, Accounts.";
        break;
    case TCheckFailure::Other:
        break;
    }
    return "Could not check the account \"" + account.AccName + "\" (" + account.HostName + ", port "
        + std::to_string(account.PortNumber) + "):\r" + error + "\r" + todo;
}

void ShowOnlineState(TCheckView& view, bool onlineMode, int32_t messageCount)
{
    if (!onlineMode)
        view.StopTimer();
    view.ShowConnectionState(onlineMode, messageCount);
}

int32_t CheckIntervalMs(int32_t minutes)
{
    const int32_t clamped = minutes < 1 ? 1 : (minutes > 99 ? 99 : minutes);
    return clamped * 60000;
}

struct TCheckCycle::CheckResult {
    bool counted = false; // the login worked and the count ran
    int32_t count = 0;
    bool listed = false; // the listing ran to its end
    std::string listingError;
    TListing listing;
    TCheckFailure failure = TCheckFailure::Other;
    std::string protection; // how the session was protected at its sign-in
    bool tlsOffered = false; // the server offered TLS at that sign-in
};

TCheckCycle::TCheckCycle(TCycleView& view, TMailWorker& worker, TPrompt& prompt, TDesktop& desktop,
                         TAccountStore& accounts, const TCredentialSource& credentials)
    : m_view(view), m_worker(worker), m_prompt(prompt), m_desktop(desktop), m_accounts(accounts),
      m_credentials(credentials)
{
}

const TPOPAcc* TCheckCycle::account(int32_t index) const
{
    return m_accounts.Has(index) ? &m_accounts.Account(index) : nullptr;
}

// Moves CurrentAccount to the next active account, wrapping after the last;
// a single account takes part even when inactive. False, and CurrentAccount
// unchanged, when no account could take part: the rotation then ends
// instead of going round for ever.
bool TCheckCycle::rotate()
{
    const int32_t count = m_accounts.Count();
    if (count < 1)
        return false;
    int32_t next = Load.CurrentAccount;
    for (int32_t step = 0; step < count; ++step) {
        next = next >= count || next < 1 ? 1 : next + 1;
        if (!m_accounts.Account(next).Inactive || count == 1) {
            Load.CurrentAccount = next;
            return true;
        }
    }
    return false;
}

void TCheckCycle::accountFailed(const TPOPAcc& acc, const std::string& error, TCheckFailure kind, bool fromConnect)
{
    AccountState& state = m_states[stateKey(acc)];
    const bool changed = state.error != error;
    state.error = error;
    m_view.SetTrayTip(TrayTip());
    // The same error again has been told: a box on every round would stop
    // the other accounts' checks until someone closes it.
    if (!fromConnect)
        m_view.ShowStatus(acc.AccName + "-" + oneLine(error));
    if (!changed && !fromConnect)
        return;
    // A question rather than an error: its answer is kept.
    if (kind == TCheckFailure::ClearText) {
        if (!m_asking)
            askClearText(acc, fromConnect);
        return;
    }
    showError(AccountErrorText(acc, error, kind));
}

int32_t TCheckCycle::indexOf(const TPOPAcc& account) const
{
    const TAccountId id = AccountId(account);
    for (int32_t i = 1; i <= m_accounts.Count(); ++i)
        if (AccountId(m_accounts.Account(i)) == id)
            return i;
    return 0;
}

void TCheckCycle::askClearText(const TPOPAcc& acc, bool fromConnect)
{
    const std::string text = "The server of the account \"" + acc.AccName + "\" (" + acc.HostName + ", port " +
        std::to_string(acc.PortNumber) + ") offers no TLS: its password would cross the network unencrypted, " +
        "where anyone on the way can read it. Nothing was sent.\r\r" +
        "Require TLS: this account signs in only over TLS (its checks fail until the server offers it).\r" +
        "Allow unencrypted: this account signs in without TLS from now on, unless its server offers TLS again.";
    m_errorShowing = m_asking = true;
    const TPrompt::Answer answer = m_prompt.Choose(text, "Require TLS", "Allow unencrypted");
    m_errorShowing = m_asking = false;
    const int32_t index = indexOf(acc);
    // Closed without a choice, or the account went meanwhile: nothing kept.
    if ((answer != TPrompt::Answer::Yes && answer != TPrompt::Answer::No) || index == 0)
        return;
    try {
        m_accounts.DecideClearText(index, answer == TPrompt::Answer::No);
    } catch (const std::exception& e) {
        showError(e.what());
        return;
    }
    // The answer is the user's go-ahead: check that account at once.
    if (fromConnect) {
        ConnectClick();
    } else if (OnlineMode && !m_worker.Busy()) {
        Load.CurrentAccount = index - 1;
        CheckMail(true);
    }
}

void TCheckCycle::noteTlsOffer(const TPOPAcc& acc, bool offered)
{
    if (!ShouldRememberTlsOffer(acc, offered))
        return;
    if (const int32_t index = indexOf(acc)) {
        try {
            m_accounts.NoteTlsOffered(index);
        } catch (const std::exception& e) {
            // The check itself worked; the next one tries to keep it again.
            m_view.ShowStatus(acc.AccName + "-" + oneLine(e.what()));
        }
    }
}

void TCheckCycle::showError(const std::string& text)
{
    // Timer checks wait while the box is open, so an unreachable server
    // cannot stack one box per tick.
    m_errorShowing = true;
    m_prompt.Message(text, TPrompt::Icon::Error);
    m_errorShowing = false;
}

void TCheckCycle::armTimer() { m_view.SetTimer(OnlineMode && Settings.AutoCheck, CheckIntervalMs(Settings.Minutes)); }

void TCheckCycle::StartCycle()
{
    if (Load.HasActiveAccount)
        if (const TPOPAcc* first = account(Load.FirstActiveIndex))
            m_popAccount = withoutSecret(*first);
    if (m_worker.Connected() && !Settings.AutoConnect)
        CloseConnection();
    ShowOnlineState(m_view, OnlineMode, MessageCount);
    if (Settings.AutoConnect && !m_worker.Connected() && Load.HasActiveAccount) {
        const TPOPAcc acc = ClientAccount();
        const int32_t timeout = Timeout;
        auto kind = std::make_shared<TCheckFailure>(TCheckFailure::Other);
        auto offered = std::make_shared<bool>(false);
        m_worker.Run(
            [acc, &credentials = m_credentials, timeout, kind, offered](TMailDrop& drop, TWireMessage&) {
                openNotingOffer(drop, acc, credentials, timeout, *kind, *offered);
            },
                     [this, acc, kind, offered](const std::string& error) {
                         noteTlsOffer(acc, *offered);
                         if (!error.empty()) {
                             accountFailed(acc, error, *kind, false);
                             return;
                         }
                         OnlineMode = m_worker.Connected();
                         // The online light goes on with the login, not
                         // only after the first count.
                         ShowOnlineState(m_view, OnlineMode, MessageCount);
                         CheckMail(false);
                         armTimer();
                     });
        return;
    }
    armTimer();
}

void TCheckCycle::CheckMail(bool advance, std::function<void(bool done)> then)
{
    const auto notStarted = [&then] {
        if (then)
            then(false);
    };
    if (!OnlineMode) {
        m_view.SetOnlineHint("Disconnected");
        ShowOnlineState(m_view, OnlineMode, MessageCount);
        notStarted();
        return;
    }
    // One job at a time drives the client; a check asked for meanwhile is
    // refused and the next tick or click tries again.
    if (advance && m_worker.Busy()) {
        notStarted();
        return;
    }
    m_view.SetOnlineHint("Connected");
    if (advance) {
        if (!rotate()) {
            m_view.ShowStatus("No active account");
            notStarted();
            return;
        }
        m_popAccount = withoutSecret(m_accounts.Account(Load.CurrentAccount));
    }

    auto result = std::make_shared<CheckResult>();
    const TPOPAcc acc = ClientAccount();
    const int32_t timeout = Timeout;
    m_worker.Run(
        [result, acc, &credentials = m_credentials, advance, timeout](TMailDrop& drop, TWireMessage&) {
            if (advance) {
                try {
                    openNoting(drop, acc, credentials, timeout, result->failure);
                } catch (...) {
                    // A password refused in clear text still crossed the network so.
                    result->protection = drop.Protection();
                    result->tlsOffered = drop.TlsOffered();
                    throw;
                }
                result->tlsOffered = drop.TlsOffered();
            }
            result->protection = drop.Protection();
            const TMailCount found = drop.Count([&result](const TListedMessage& m) { result->listing.Add(m); });
            result->count = found.Count;
            result->listed = found.Listed;
            result->listingError = found.Error;
            result->counted = true;
            // A listing that failed because the connection is gone has
            // nothing to log out from: its error stays on the status line.
            if (drop.Connected())
                drop.Close();
        },
        [this, result, then = std::move(then)](const std::string& error) {
            const bool done = finishCheck(*result, error);
            if (then)
                then(done);
        });
}

bool TCheckCycle::finishCheck(const CheckResult& result, const std::string& error)
{
    // Disconnect while the check waited: the offline look stays.
    if (!OnlineMode)
        return false;
    // The account counted: the dialog may have moved another one into its
    // slot while the check waited.
    const TPOPAcc& acc = m_popAccount;
    m_lastCheck = std::time(nullptr);
    if (result.counted)
        MessageCount = result.count;
    if (!result.protection.empty())
        m_states[stateKey(acc)].protection = result.protection;
    noteTlsOffer(acc, result.tlsOffered);
    if (!error.empty()) {
        accountFailed(acc, error, result.failure, false);
        return false;
    }
    const std::string key = SeenIdsKey(acc);
    AccountState& state = m_states[stateKey(acc)];
    state.count = MessageCount;
    state.error = result.listed ? std::string() : result.listingError;

    const std::string& name = acc.AccName;
    if (Load.CurrentAccount == Load.FirstActiveIndex)
        m_countHint.clear();
    if (!m_countHint.empty())
        m_countHint += '\r';
    m_countHint += name + " : " + std::to_string(MessageCount);
    m_view.SetCountHint(m_countHint);
    m_view.SetTrayTip(TrayTip());

    const TArrival arrival = m_arrivals.Check(key, result.listing, result.listed, MessageCount);
    try {
        if (MessageCount < 1) {
            m_view.ShowStatus(name + "-empty");
            if (arrival.Emptied)
                m_view.ShowFlag(false);
            m_view.SetTrayIcon(TTrayIcon::Online);
        } else {
            m_view.ShowMessageCount(name, MessageCount);
            m_view.SetTrayIcon(TTrayIcon::Mail);
            if (arrival.GotMail) {
                m_view.ShowFlag(true);
                // A sound setting of only blanks is what the writer leaves
                // for "no file".
                if (Settings.PlaySnd && !isBlank(Settings.WavSnd))
                    m_desktop.PlaySound(Settings.WavSnd);
                if (!arrival.Notify.empty())
                    notifyNewMail(arrival);
            }
        }
        m_view.ShowCount(MessageCount);
    } catch (const std::exception& e) {
        showError(e.what());
        return false;
    }
    return true;
}

// The headers are read after the check, over a login of their own on a
// drop of the job's own: the check's exchange and the worker's drop (its
// statuses on the window, its connected state) stay exactly as they were.
void TCheckCycle::notifyNewMail(const TArrival& arrival)
{
    if (!Notifier || !Notifier->Available())
        return;
    auto note = std::make_shared<TNewMailNote>();
    note->Account = AccountId(m_popAccount);
    note->NewCount = static_cast<int32_t>(arrival.Notify.size());
    note->NewestNumber = arrival.Notify.front();
    note->NewestId = arrival.NewestId;
    const std::vector<int32_t> newest(arrival.Notify.begin(),
                                      arrival.Notify.begin()
                                          + std::min<std::ptrdiff_t>(MaxNoteMessages, arrival.Notify.size()));
    // A popup is no reason to wait a whole minute on a slow server.
    const int32_t timeout = std::min(Timeout, 20);
    m_worker.Run(
        [note, acc = ClientAccount(), &credentials = m_credentials, newest, timeout](TMailDrop& drop, TWireMessage&) {
            const std::unique_ptr<TMailDrop> own = MakeMailDrop(acc);
            own->OnIdle = drop.OnIdle; // a Disconnect still ends its waits
            note->Newest = FetchHeadlines(*own, acc, credentials, newest, timeout);
        },
        [this, note](const std::string& error) {
            // A failed fetch shows nothing: the picture and sound already
            // told of the mail.
            if (error.empty() && OnlineMode && Notifier)
                Notifier->NotifyNewMail(*note);
        });
}

void TCheckCycle::ConnectClick()
{
    if (!Load.HasActiveAccount) {
        m_prompt.Message(NoValidAccount, TPrompt::Icon::Warning);
        return;
    }
    if (m_worker.Busy())
        return;
    const TPOPAcc acc = ClientAccount();
    const int32_t timeout = Timeout;
    auto kind = std::make_shared<TCheckFailure>(TCheckFailure::Other);
    auto offered = std::make_shared<bool>(false);
    m_worker.Run(
        [acc, &credentials = m_credentials, timeout, kind, offered](TMailDrop& drop, TWireMessage&) {
            if (drop.Connected())
                drop.Close();
            openNotingOffer(drop, acc, credentials, timeout, *kind, *offered);
        },
        [this, acc, kind, offered](const std::string& error) {
            noteTlsOffer(acc, *offered);
            if (!error.empty()) {
                // The state, the pictures and the timer stay as they were.
                accountFailed(acc, error, *kind, true);
                return;
            }
            if (m_worker.Connected()) {
                m_arrivals.AnnounceWaiting();
                OnlineMode = true;
                ShowOnlineState(m_view, OnlineMode, MessageCount);
                CheckMail(false);
            }
            armTimer();
        });
}

void TCheckCycle::DisconnectClick()
{
    if (!OnlineMode)
        return;
    m_worker.Stop();
    m_worker.Run([](TMailDrop&, TWireMessage& msg) { msg.Clear(); }, nullptr);
    OnlineMode = false;
    ShowOnlineState(m_view, OnlineMode, MessageCount);
    m_view.SetTrayTip(TrayTip());
    m_view.SetTimer(false, CheckIntervalMs(Settings.Minutes));
    if (HangUpLines)
        HangUpLines();
}

std::vector<std::pair<std::string, int32_t>> TCheckCycle::AccountMenu() const
{
    std::vector<std::pair<std::string, int32_t>> items;
    for (int32_t i = 1; i <= m_accounts.Count(); ++i)
        if (!m_accounts.Account(i).Inactive)
            items.emplace_back("Check " + m_accounts.Account(i).AccName, i - 1);
    return items;
}

void TCheckCycle::MnuClick(int32_t tag)
{
    if (!OnlineMode || m_worker.Busy())
        return;
    Load.CurrentAccount = tag;
    CheckMail(true);
}

void TCheckCycle::TimerTimer()
{
    if (m_errorShowing)
        return;
    CheckMail(true);
}

void TCheckCycle::CheckNow()
{
    if (!OnlineMode) {
        ConnectClick();
        return;
    }
    int32_t active = 0;
    for (int32_t i = 1; i <= m_accounts.Count(); ++i)
        if (!m_accounts.Account(i).Inactive || m_accounts.Count() == 1)
            ++active;
    checkRound(active);
}

void TCheckCycle::checkRound(int32_t left)
{
    // The message window's connection is its own until it closes.
    if (left < 1 || !OnlineMode || m_worker.Busy() || m_worker.Connected())
        return;
    CheckMail(true, [this, left](bool) {
        // The next account after whatever the check queued (the new mail's
        // headers).
        m_worker.Run([](TMailDrop&, TWireMessage&) {}, [this, left](const std::string&) { checkRound(left - 1); });
    });
}

TPOPAcc TCheckCycle::ClientAccount() const
{
    const TAccountId id = AccountId(m_popAccount);
    for (int32_t i = 1; i <= m_accounts.Count(); ++i)
        if (AccountId(m_accounts.Account(i)) == id)
            return m_accounts.Account(i);
    // Gone from the store: a login then fails for want of a secret.
    return m_popAccount;
}

bool TCheckCycle::SelectAccount(const TAccountId& acc)
{
    for (int32_t i = 1; i <= m_accounts.Count(); ++i) {
        const TPOPAcc& a = m_accounts.Account(i);
        if (AccountId(a) == acc) {
            Load.CurrentAccount = i;
            m_popAccount = withoutSecret(a);
            return true;
        }
    }
    return false;
}

std::string TCheckCycle::TrayTip() const
{
    std::string tip = OnlineMode ? "Tolmu" : "Tolmu - offline";
    if (m_lastCheck != 0) {
        std::tm local{};
        localtime_r(&m_lastCheck, &local);
        char at[16];
        if (std::strftime(at, sizeof at, "%H:%M", &local) > 0)
            tip += std::string(OnlineMode ? " - " : ", ") + "last check at " + at;
    }
    for (int32_t i = 1; i <= m_accounts.Count(); ++i) {
        const TPOPAcc& acc = m_accounts.Account(i);
        if (acc.Inactive && m_accounts.Count() != 1)
            continue;
        tip += "\r" + acc.AccName + ": ";
        const auto it = m_states.find(stateKey(acc));
        if (it == m_states.end()) {
            tip += "not checked yet";
            continue;
        }
        const AccountState& state = it->second;
        if (state.count)
            tip += messages(*state.count);
        if (!state.error.empty())
            tip += (state.count ? ", last check failed: " : "failed: ") + oneLine(state.error);
        if (state.protection == NotEncrypted)
            tip += " (" + std::string(NotEncrypted) + ")";
    }
    return tip;
}

void TCheckCycle::POPStatus(const std::string& text)
{
    m_view.ShowStatus(m_popAccount.AccName + "-" + TrimLeadingBlanks(text));
}

void TCheckCycle::CloseConnection()
{
    m_worker.Run(
        [](TMailDrop& drop, TWireMessage&) {
            if (drop.Connected())
                drop.CloseQuietly();
        },
        nullptr);
}
