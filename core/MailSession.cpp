#include "core/MailSession.h"

#include "net/TlsStream.h"

void TMailSession::FillClient(TWirePOP3& pop, const TPOPAcc& account, int32_t timeout)
{
    pop.Host = account.HostName;
    pop.Port = account.PortNumber;
    pop.TlsPort = TlsPortFromEnvironment();
    pop.SetUserID(account.UserName);
    pop.SetPassword(account.Password);
    pop.Timeout = timeout;
}

void TMailSession::Open(const TPOPAcc& account, int32_t timeout)
{
    FillClient(m_pop, account, timeout);
    m_pop.Connect();
}

TMailCount TMailSession::Count(const std::function<void(const std::string& line)>& onLine)
{
    TMailCount result;
    result.Count = m_pop.CheckMessages(onLine);
    result.Listed = !m_pop.ListingFailed();
    result.Error = m_pop.ListingError();
    return result;
}

bool TMailSession::Fetch(int32_t number, TWireMessage& message, bool headersOnly)
{
    message.ExtractAttachments = !headersOnly;
    if (headersOnly) {
        m_pop.RetrieveHeader(number, message);
        return true;
    }
    return m_pop.Retrieve(number, message);
}

bool TMailSession::Delete(int32_t number) { return m_pop.Delete(number); }

void TMailSession::Close()
{
    if (m_pop.Connected())
        m_pop.Disconnect();
}

void TMailSession::CloseQuietly() noexcept
{
    try {
        Close();
    } catch (...) {
        // The caller's answer stands; the connection is closed either way.
    }
}
