// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Header-block helpers of the message model: RFC 822 folding, address lists,
// the "Date" value, and lookups in a list of "Name=value" entries.
#include "mail/StringList.h"

#include <cstdint>
#include <string>

// Days since 30 December 1899, time of day as the fraction; 0 stands for
// "no date".
using TDateTime = double;

// Turns raw header lines into Name=value entries, in place: the first ": "
// of a field line becomes "=", a line starting with a blank or TAB is
// appended (TABs made blanks, trimmed, after one blank) to the field before
// it. A continuation line before any field has nothing to join and is
// dropped. A field line without ": " is kept as it is (no name to find).
void UnfoldHeaders(TStringList& lines);

// Splits an address list at the commas outside the first pair of double
// quotes of each item; items are trimmed and empty ones dropped.
TStringList SplitAddresses(const std::string& text);
// Joins items with "," (no blank); an empty list gives "".
std::string JoinAddresses(const TStringList& items);

// The date part of a "Date" value ("Sun, 6 Dec 2026 23:17:43 +0100" gives
// 6 December 2026, 00:00); time of day and zone are ignored; two-digit years
// below 80 are 20xx, 80 to 99 are 19xx. Returns 0 for an empty value and
// for a day that does not exist ("31 Feb 2026"). Known limits, kept on
// purpose: a piece that is missing or not a number takes a default (day 1,
// January, 1900), so a value that is no date at all ("<HR>") still gives
// 1 January 1900; what shows a date checks the value first (DisplayDate).
// Never throws.
TDateTime ParseDate(const std::string& text);
// "ddd, dd mmm yyyy hh:nn:ss +hhmm" with the local offset of now.
std::string FormatDate(TDateTime value);
// The local offset from UTC in minutes (east positive), now.
int32_t LocalOffsetMinutes();

// A date from its parts; returns false (and leaves out alone) when there is
// no such day (years 1..9999).
bool TryEncodeDate(int year, int month, int day, TDateTime& out);
// The calendar parts of a date-time.
void DecodeDateTime(TDateTime value, int& year, int& month, int& day, int& hour, int& minute,
                    int& second);

// Lookups in Name=value lists: names compare without letter case, the first
// match counts, entries without "=" have no name. A missing entry reads "".
int IndexOfName(const TStringList& list, const std::string& name);
std::string HeaderValue(const TStringList& list, const std::string& name);
// A non-empty value replaces the first match (spelled as name is here) or is
// appended; an empty value removes the first match.
void SetHeaderValue(TStringList& list, const std::string& name, const std::string& value);

// The list's comma text: items joined with ",", an item holding a blank,
// control character, comma or quote written in double quotes (quotes
// doubled). ParseCommaText reads that form back; blanks also separate items.
std::string CommaText(const TStringList& list);
TStringList ParseCommaText(const std::string& text);
