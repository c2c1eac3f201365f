// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/mailbox/Pop3Drop.h"

#include "net/TlsStream.h"
#include "net/WireErrors.h"
#include "net/WirePOP3.h"

#include <utility>

namespace {

// The POP3 client behind the mail-drop interface, filled from the account
// at each Open.
class TPop3Drop final : public TMailDrop {
public:
    TPop3Drop()
    {
        m_pop.OnStatus = [this](TWire&, const std::string& text) {
            if (OnStatus)
                OnStatus(text);
        };
        m_pop.OnIdle = [this] {
            if (OnIdle)
                OnIdle();
        };
    }

    void Open(const TPOPAcc& account, const TCredentialSource& credentials, int32_t timeout) override
    {
        if (!account.Broken.empty())
            throw EAccountBroken(account.Broken);
        m_pop.Host = account.HostName;
        m_pop.Port = account.PortNumber;
        m_pop.TlsPort = TlsPortFromEnvironment();
        m_pop.Security = account.Security;
        m_pop.TlsSeen = account.TlsSeen;
        m_pop.ClearTextAllowed = account.ClearTextAllowed;
        m_pop.SetUserID(account.UserName);
        m_pop.Timeout = timeout;
        // The client needs the secret for the login alone; a worker's client
        // lives as long as the program.
        struct Forget {
            TWirePOP3& pop;
            ~Forget() { pop.SetSecret({}); }
        } forget{m_pop};
        const TSignInSecret secret = credentials.SecretForSession(account, timeout);
        m_pop.SetSecret(secret);
        try {
            m_pop.Connect();
        } catch (const EWireResponseError&) {
            // A token the server refused (expired early, revoked) is not
            // offered again: the next check fetches a new one.
            if (secret.SecretKind == TSignInSecret::Kind::AccessToken)
                credentials.SecretRefused(account);
            throw;
        }
    }

    TMailCount Count(const std::function<void(const TListedMessage& message)>& onMessage) override
    {
        TMailCount result;
        int32_t place = 0;
        result.Count = m_pop.CheckMessages([&](const std::string& line) {
            ++place;
            if (onMessage) {
                TUidlEntry entry = ParseUidlLine(line, place);
                onMessage({entry.Number, std::move(entry.Id)});
            }
        });
        result.Listed = !m_pop.ListingFailed();
        result.Error = m_pop.ListingError();
        return result;
    }

    bool Fetch(int32_t number, TWireMessage& message, bool headersOnly) override
    {
        message.ExtractAttachments = !headersOnly;
        if (headersOnly) {
            m_pop.RetrieveHeader(number, message);
            return true;
        }
        return m_pop.Retrieve(number, message);
    }

    bool Delete(int32_t number) override { return m_pop.Delete(number); }

    void Close() override
    {
        if (m_pop.Connected())
            m_pop.Disconnect();
    }

    void Abandon() noexcept override
    {
        if (m_pop.Connected())
            m_pop.CloseSocket();
    }

    bool Connected() const override { return m_pop.Connected(); }

    std::string Protection() const override { return m_pop.Protection(); }

    std::string LastReply() const override { return ServerReplyText(m_pop.ResultText); }

    bool TlsOffered() const override { return m_pop.TlsOffered(); }

private:
    TWirePOP3 m_pop;
};

} // namespace

std::unique_ptr<TMailDrop> MakePop3Drop() { return std::make_unique<TPop3Drop>(); }
