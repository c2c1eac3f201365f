#include "core/CheckCycle.h"

#include "base/Scanner.h"
#include "core/MailSession.h"

#include <algorithm>
#include <memory>

namespace {

const char* const NoValidAccount = "No valid account ! Please create one or activate an existing account.";

bool isBlank(const std::string& s) { return s.find_first_not_of(' ') == std::string::npos; }

} // namespace

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
};

TCheckCycle::TCheckCycle(TCycleView& view, TMailWorker& worker, TPrompt& prompt, TDesktop& desktop)
    : m_view(view), m_worker(worker), m_prompt(prompt), m_desktop(desktop)
{
}

const TPOPAcc* TCheckCycle::account(int32_t index) const
{
    if (index < 1 || index > AccountCount || index > MaxAccounts)
        return nullptr;
    return &AccountTable[index - 1];
}

// Moves CurrentAccount to the next active account, wrapping after the last;
// a single account takes part even when inactive. False, and CurrentAccount
// unchanged, when no account could take part: the rotation then ends
// instead of going round for ever.
bool TCheckCycle::rotate()
{
    if (AccountCount < 1)
        return false;
    int32_t next = Load.CurrentAccount;
    for (int32_t step = 0; step < AccountCount; ++step) {
        next = next >= AccountCount || next < 1 ? 1 : next + 1;
        if (!AccountTable[next - 1].Inactive || AccountCount == 1) {
            Load.CurrentAccount = next;
            return true;
        }
    }
    return false;
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
            m_popAccount = *first;
    if (m_worker.Connected() && !Settings.AutoConnect)
        CloseConnection();
    ShowOnlineState(m_view, OnlineMode, MessageCount);
    if (Settings.AutoConnect && !m_worker.Connected() && Load.HasActiveAccount) {
        const TPOPAcc acc = m_popAccount;
        const int32_t timeout = Timeout;
        m_worker.Run([acc, timeout](TWirePOP3& pop, TWireMessage&) { TMailSession(pop).Open(acc, timeout); },
                     [this](const std::string& error) {
                         if (!error.empty()) {
                             showError(error);
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
        m_popAccount = AccountTable[Load.CurrentAccount - 1];
    }

    auto result = std::make_shared<CheckResult>();
    const TPOPAcc acc = m_popAccount;
    const int32_t timeout = Timeout;
    m_worker.Run(
        [result, acc, advance, timeout](TWirePOP3& pop, TWireMessage&) {
            TMailSession session(pop);
            if (advance)
                session.Open(acc, timeout);
            result->count = session.Count().Count;
            result->counted = true;
            // A listing that failed because the connection is gone has
            // nothing to log out from: its error stays on the status line.
            if (pop.Connected())
                session.Close();
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
    if (result.counted)
        MessageCount = result.count;
    if (!error.empty()) {
        showError(error);
        return false;
    }
    // The name of the account counted: the dialog may have moved another
    // one into its slot while the check waited.
    const std::string& name = m_popAccount.AccName;
    if (Load.CurrentAccount == Load.FirstActiveIndex)
        m_countHint.clear();
    if (!m_countHint.empty())
        m_countHint += '\r';
    m_countHint += name + " : " + std::to_string(MessageCount);
    m_view.SetCountHint(m_countHint);

    try {
        if (MessageCount < 1) {
            m_view.ShowStatus(name + "-empty");
            if (MessageCount != PreviousCount)
                m_view.ShowFlag(false);
            m_view.SetTrayIcon(TTrayIcon::Online);
        } else {
            m_view.ShowMessageCount(name, MessageCount);
            m_view.SetTrayIcon(TTrayIcon::Mail);
            if (MessageCount > PreviousCount) {
                m_view.ShowFlag(true);
                // A sound setting of only blanks is what the writer leaves
                // for "no file".
                if (Settings.PlaySnd && !isBlank(Settings.WavSnd))
                    m_desktop.PlaySound(Settings.WavSnd);
                notifyNewMail(MessageCount - PreviousCount);
            }
        }
        m_view.ShowCount(MessageCount);
        PreviousCount = MessageCount;
    } catch (const std::exception& e) {
        showError(e.what());
        return false;
    }
    return true;
}

// The headers are read after the check, over a login of their own on a
// client of the job's own: the check's exchange and the worker's client (its
// statuses on the window, its connected state) stay exactly as they were.
void TCheckCycle::notifyNewMail(int32_t newCount)
{
    if (!Notifier || !Notifier->Available())
        return;
    auto note = std::make_shared<TNewMailNote>();
    note->Account = m_popAccount;
    note->NewCount = newCount;
    const int32_t total = MessageCount;
    // A popup is no reason to wait a whole minute on a slow server.
    const int32_t timeout = std::min(Timeout, 20);
    m_worker.Run(
        [note, total, timeout](TWirePOP3& pop, TWireMessage&) {
            TWirePOP3 own;
            own.OnIdle = pop.OnIdle; // a Disconnect still ends its waits
            note->Newest = FetchHeadlines(own, note->Account, total, std::min(note->NewCount, MaxNoteMessages), timeout);
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
    const TPOPAcc acc = m_popAccount;
    const int32_t timeout = Timeout;
    m_worker.Run(
        [acc, timeout](TWirePOP3& pop, TWireMessage&) {
            TMailSession session(pop);
            if (pop.Connected())
                session.Close();
            session.Open(acc, timeout);
        },
        [this](const std::string& error) {
            if (!error.empty()) {
                // The state, the pictures and the timer stay as they were.
                showError(error);
                return;
            }
            if (m_worker.Connected()) {
                PreviousCount = 0;
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
    m_worker.Run([](TWirePOP3&, TWireMessage& msg) { msg.Clear(); }, nullptr);
    PreviousCount = 0;
    OnlineMode = false;
    ShowOnlineState(m_view, OnlineMode, MessageCount);
    m_view.SetTimer(false, CheckIntervalMs(Settings.Minutes));
    if (HangUpLines)
        HangUpLines();
}

std::vector<std::pair<std::string, int32_t>> TCheckCycle::AccountMenu() const
{
    std::vector<std::pair<std::string, int32_t>> items;
    for (int32_t i = 1; i <= AccountCount && i <= MaxAccounts; ++i)
        if (!AccountTable[i - 1].Inactive)
            items.emplace_back("Check " + AccountTable[i - 1].AccName, i - 1);
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

void TCheckCycle::POPStatus(const std::string& text)
{
    m_view.ShowStatus(m_popAccount.AccName + "-" + TrimLeadingBlanks(text));
}

void TCheckCycle::CloseConnection()
{
    m_worker.Run(
        [](TWirePOP3& pop, TWireMessage&) {
            if (pop.Connected())
                TMailSession(pop).CloseQuietly();
        },
        nullptr);
}
