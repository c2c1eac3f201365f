// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The general error of the program: one message text. Network and message
// errors (EWireException and its family) derive from it; handlers that Qt
// calls catch it (as std::exception) and show the text in a message box.
#include <stdexcept>
#include <string>

class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
    std::string Message() const { return what(); }
};

// Root of the transport's error family (the rest lives with the transport):
// the message model raises it too, for a body the connection delivered but
// that cannot be read, so the callers of a retrieval catch one family.
class EWireException : public Exception {
public:
    using Exception::Exception;
};
