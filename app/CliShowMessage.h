#pragma once
// The fetching half of tolmu --show, kept apart from the settings store.
#include <cstdint>
#include <optional>
#include <string>

struct ShowRequest {
    std::string host;
    int32_t port = 110;
    std::string user, password;
    int32_t number = 1;
    bool headersOnly = false;
    std::optional<std::string> saveDir;
};

// Logs in, fetches message number as the message window does (RetrieveHeader
// with headersOnly, Retrieve otherwise), logs out, prints the window's lines
// on stdout and copies the attachments into saveDir when given (last path
// component of each name, a numbered name instead of overwriting). Returns
// 0, or 1 with the server's or network's text on stderr.
int ShowMessage(const ShowRequest& request);

// An error text for the terminal: CR LF and CR become line breaks.
std::string ConsoleText(const std::string& text);
