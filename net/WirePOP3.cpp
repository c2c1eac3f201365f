#include "net/WirePOP3.h"

#include <climits>
#include <exception>

TWirePOP3::TWirePOP3()
{
    Port = 110;
}

TWirePOP3::~TWirePOP3()
{
    OnStatus = nullptr;
    OnWork = nullptr;
    OnIdle = nullptr;
    if (!Connected())
        return;
    try {
        Disconnect();
    } catch (...) {
        // Nothing a destructor could do about a failed logout line.
    }
}

void TWirePOP3::Connect()
{
    TWireMessageClient::Connect();
    try {
        const std::string greeting = ReadLine();
        ResultText = greeting;
        if (greeting.compare(0, 3, "+OK") != 0)
            throw EWireConnectRefused(greeting);
        ReportStatus("Connected");
        SendCommand("User " + m_userName, 1, "User Account is valid", 1);
        SendCommand("Pass " + m_password, 1, "Password is valid", 1);
    } catch (...) {
        // Log out and report what made the login fail. A logout that fails
        // too (the peer reset or closed the connection) would otherwise hide
        // the real cause behind "Socket is closed, cannot write" or a send
        // error; when the transport already closed the connection (time-out,
        // peer gone, line too long) no "Quit" is tried at all.
        const std::exception_ptr cause = std::current_exception();
        try {
            if (Connected())
                Disconnect();
        } catch (...) {
        }
        std::rethrow_exception(cause);
    }
}

int32_t TWirePOP3::CheckMessages()
{
    int32_t count = 0;
    m_listingFailed = false;
    m_listingError.clear();
    try {
        SendCommand("UIDL", 1, "Checking for messages", 0);
        // The listing is counted, never kept: memory stays flat however
        // large the mailbox is.
        while (ReadLine() != ".")
            if (count < INT32_MAX) // a server that never ends its listing cannot overflow the count
                ++count;
    } catch (const Exception& e) {
        m_listingFailed = true;
        m_listingError = e.what();
        ReportStatus(e.what());
    }
    return count;
}

bool TWirePOP3::Delete(int32_t number)
{
    SendCommand("DELE " + std::to_string(number), -1, "", 0);
    return ResultCode == 1;
}

void TWirePOP3::Disconnect()
{
    try {
        WriteLine("Quit");
    } catch (...) {
        TWireMessageClient::Disconnect();
        throw;
    }
    TWireMessageClient::Disconnect();
}
