// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Readable text of a message for the message window and tolmu --show: the
// encoded words of From and Subject decoded, and the body taken from its
// best text part with its transfer encoding undone, its charset converted
// to UTF-8 and HTML turned into plain text. The message keeps its raw lines;
// only what is shown changes.
#include "mail/Headers.h"
#include "mail/MessageParts.h"

#include <string>
#include <string_view>
#include <vector>

// A header value as a reader sees it: encoded words decoded, UTF-8.
std::string DisplayHeader(std::string_view raw);

// The date of a "Date" value, or 0 when the value is not a date at all
// (no day number, month name and year where a date has them): such a
// value shows nothing rather than a made-up day.
TDateTime DisplayDate(const std::string& value);

// The lines to show for the text parts: in each group of alternatives the
// plain versions, or the HTML ones turned into text when there is no plain
// one; parts outside any group all shown; the parts' texts joined with one
// empty line, trailing empty lines of each dropped.
std::vector<std::string> DisplayBodyLines(const TMessageParts& parts);

// One part's text in UTF-8 with "\n" line ends: transfer encoding undone,
// charset converted, HTML turned into text.
std::string DisplayPartText(const TMessagePart& part);

// HTML (UTF-8) as plain text, read by a real HTML parser: scripts and
// styles dropped, entities decoded, blanks collapsed outside <pre>, line
// breaks at block elements and <br>, a link's target in brackets after its
// text when the two differ.
std::string HtmlToText(std::string_view html);
