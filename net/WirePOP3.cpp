#include "net/WirePOP3.h"

TWirePOP3::TWirePOP3()
{
    Port = 110;
}

TWirePOP3::~TWirePOP3()
{
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
        // When the transport already closed the connection (time-out, peer
        // gone, line too long) a "Quit" could only fail and would hide the
        // real cause behind "Socket is closed, cannot write".
        if (Connected())
            Disconnect();
        throw;
    }
}

int32_t TWirePOP3::CheckMessages()
{
    int32_t count = 0;
    try {
        SendCommand("UIDL", 1, "Checking for messages", 0);
        // The listing is counted, never kept: memory stays flat however
        // large the mailbox is.
        while (ReadLine() != ".")
            ++count;
    } catch (const Exception& e) {
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
