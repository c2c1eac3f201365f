// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The demo mailbox's messages: a handful made at start, and one more for
// each arrival while the demo window runs. Every text is a whole message as
// a POP3 server stores it, CR LF line ends, no dot-stuffing.
#include <string>
#include <vector>

struct DemoMessage {
    std::string Uid;  // unique within a run, printable, no blanks
    std::string Text; // header block, empty line, body; CR LF lines
};

// The first messages of the mailbox, in order: a plain welcome text, one
// with two small attachments (notes.txt, numbers.csv), one whose subject
// and text are not ASCII.
std::vector<DemoMessage> DemoStartMessages();

// The two attachments of the second start message, as bytes, so tests can
// compare what a client saved.
struct DemoAttachment {
    std::string FileName;
    std::string Bytes;
};
std::vector<DemoAttachment> DemoAttachments();

// The arrival with the given number (1, 2, ...): a short plain message.
DemoMessage DemoArrival(int number);
