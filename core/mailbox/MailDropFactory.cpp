// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/mailbox/MailDropFactory.h"

#include "core/mailbox/Pop3Drop.h"
#include "core/mailbox/PushSession.h"
#include "net/TlsStream.h"

namespace {

// The protocols a drop can speak; an account says which (today: POP3).
enum class TDropKind { Pop3 };

TDropKind kindOf(const TPOPAcc&) { return TDropKind::Pop3; }

// The drop a long-lived holder keeps (the mail worker): at each Open it
// takes the drop the factory makes for that account's kind, keeping the
// one it has while the kind stays the same.
class TAccountDrop final : public TMailDrop {
public:
    void Open(const TPOPAcc& account, const TCredentialSource& credentials, int32_t timeout) override
    {
        if (!m_drop || m_kind != kindOf(account)) {
            if (m_drop)
                m_drop->Abandon();
            m_drop = MakeMailDrop(account);
            m_kind = kindOf(account);
            m_drop->OnStatus = [this](const std::string& text) {
                if (OnStatus)
                    OnStatus(text);
            };
            m_drop->OnIdle = [this] {
                if (OnIdle)
                    OnIdle();
            };
        }
        m_drop->Open(account, credentials, timeout);
    }
    TMailCount Count(const std::function<void(const TListedMessage&)>& onMessage) override
    {
        return m_drop ? m_drop->Count(onMessage) : TMailCount{0, false, "Not connected."};
    }
    bool Fetch(int32_t number, TWireMessage& message, bool headersOnly) override
    {
        return m_drop && m_drop->Fetch(number, message, headersOnly);
    }
    bool Delete(int32_t number) override { return m_drop && m_drop->Delete(number); }
    void Close() override
    {
        if (m_drop)
            m_drop->Close();
    }
    void Abandon() noexcept override
    {
        if (m_drop)
            m_drop->Abandon();
    }
    bool Connected() const override { return m_drop && m_drop->Connected(); }
    std::string Protection() const override { return m_drop ? m_drop->Protection() : std::string(); }
    std::string LastReply() const override { return m_drop ? m_drop->LastReply() : std::string(); }
    bool TlsOffered() const override { return m_drop && m_drop->TlsOffered(); }

private:
    std::unique_ptr<TMailDrop> m_drop;
    TDropKind m_kind = TDropKind::Pop3;
};

} // namespace

std::unique_ptr<TMailDrop> MakeMailDrop(const TPOPAcc& account)
{
    switch (kindOf(account)) {
    case TDropKind::Pop3:
        break;
    }
    return MakePop3Drop();
}

std::unique_ptr<TMailDrop> MakeMailDrop() { return std::make_unique<TAccountDrop>(); }

std::unique_ptr<TPushSession> MakePushSession(const TPOPAcc& account)
{
    switch (kindOf(account)) {
    case TDropKind::Pop3:
        break; // POP3 has no way to tell of new mail: the timer checks it
    }
    return nullptr;
}

bool ShouldRememberTlsOffer(const TPOPAcc& account, bool offered)
{
    if (!offered || account.TlsSeen || !account.Broken.empty() || IsThisComputer(account.HostName))
        return false;
    const TSecurity security =
        account.Security.value_or(DefaultSecurity(account.HostName, account.PortNumber, TlsPortFromEnvironment()));
    return security == TSecurity::TlsWhenOffered;
}
