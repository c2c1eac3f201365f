// SPDX-License-Identifier: GPL-3.0-or-later
#include "mail/Headers.h"
#include "base/Text.h"

#include <cctype>
#include <cmath>
#include <ctime>

namespace {

std::string trim(const std::string& s) { return std::string(text::trim(s)); }

// A decimal number with optional leading blanks and sign and nothing after
// it; fallback otherwise.
int strToIntDef(const std::string& s, int fallback)
{
    std::size_t i = 0;
    while (i < s.size() && s[i] == ' ')
        ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        negative = s[i++] == '-';
    if (i == s.size())
        return fallback;
    long value = 0;
    for (; i < s.size(); ++i) {
        if (s[i] < '0' || s[i] > '9' || value > 100000000)
            return fallback;
        value = value * 10 + (s[i] - '0');
    }
    return static_cast<int>(negative ? -value : value);
}

// Substring by 1-based position, like the classic Copy: out-of-range parts
// are simply shorter.
std::string copy(const std::string& s, std::size_t pos1, std::size_t count)
{
    if (pos1 < 1 || pos1 > s.size())
        return {};
    return s.substr(pos1 - 1, count);
}

bool isLeap(int y)
{
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int daysInMonth(int y, int m)
{
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && isLeap(y) ? 29 : days[m - 1];
}

// Days from 1970-01-01 for a proleptic Gregorian date.
long daysFromCivil(long y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long>(doe) - 719468;
}

void civilFromDays(long z, int& y, int& m, int& d)
{
    z += 719468;
    const long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

// 1899-12-30 counted from 1970-01-01.
const long DateEpoch = daysFromCivil(1899, 12, 30);

const char* const ShortDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const ShortMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

std::string twoDigits(int v)
{
    std::string s = std::to_string(v);
    return s.size() < 2 ? "0" + s : s;
}

} // namespace

void UnfoldHeaders(TStringList& lines)
{
    TStringList out;
    out.reserve(lines.size());
    for (std::string& line : lines) {
        if (!line.empty() && (line[0] == '\t' || line[0] == ' ')) {
            // A continuation with no field before it has nothing to join.
            if (out.empty())
                continue;
            for (char& c : line)
                if (c == '\t')
                    c = ' ';
            out.back() += ' ';
            out.back() += trim(line);
            continue;
        }
        const auto colon = line.find(": ");
        if (colon != std::string::npos) {
            line[colon] = '=';
            line.erase(colon + 1, 1);
        }
        out.push_back(std::move(line));
    }
    lines = std::move(out);
}

TStringList SplitAddresses(const std::string& text)
{
    TStringList items;
    std::string current;
    int quotes = 0;
    auto flush = [&] {
        std::string item = trim(current);
        if (!item.empty())
            items.push_back(std::move(item));
        current.clear();
        quotes = 0;
    };
    for (char c : text) {
        if (c == '"')
            ++quotes;
        if (c == ',' && quotes != 1) {
            flush();
            continue;
        }
        current += c;
    }
    flush();
    return items;
}

std::string JoinAddresses(const TStringList& items)
{
    std::string out;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i)
            out += ',';
        out += items[i];
    }
    return out;
}

bool TryEncodeDate(int year, int month, int day, TDateTime& out)
{
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month))
        return false;
    out = static_cast<TDateTime>(daysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day))
                                 - DateEpoch);
    return true;
}

void DecodeDateTime(TDateTime value, int& year, int& month, int& day, int& hour, int& minute, int& second)
{
    const double whole = std::trunc(value);
    civilFromDays(static_cast<long>(whole) + DateEpoch, year, month, day);
    long secs = std::lround(std::fabs(value - whole) * 86400.0);
    if (secs >= 86400)
        secs = 86399;
    hour = static_cast<int>(secs / 3600);
    minute = static_cast<int>(secs / 60 % 60);
    second = static_cast<int>(secs % 60);
}

TDateTime ParseDate(const std::string& text)
{
    std::string s = trim(text);
    if (s.empty())
        return 0;
    const std::string head = copy(s, 1, 3);
    for (const char* w : ShortDays)
        if (text::sameText(head, w)) {
            s.erase(0, std::min<std::size_t>(5, s.size()));
            break;
        }
    int day;
    std::size_t monthPos;
    if (s.size() >= 2 && std::isdigit(static_cast<unsigned char>(s[1]))) {
        day = strToIntDef(copy(s, 1, 2), 1);
        monthPos = 4;
    } else {
        day = strToIntDef(copy(s, 1, 1), 1);
        monthPos = 3;
    }
    int month = 1;
    const std::string mon = copy(s, monthPos, 3);
    for (int i = 0; i < 12; ++i)
        if (text::sameText(mon, ShortMonths[i]))
            month = i + 1;
    int year;
    if (s.size() < monthPos + 6 || s[monthPos + 6 - 1] == ' ')
        year = strToIntDef(copy(s, monthPos + 4, 2), 1900);
    else
        year = strToIntDef(copy(s, monthPos + 4, 4), 1900);
    if (year < 80)
        year += 2000;
    else if (year < 100)
        year += 1900;
    TDateTime result = 0;
    if (!TryEncodeDate(year, month, day, result))
        return 0;
    return result;
}

int32_t LocalOffsetMinutes()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (!::localtime_r(&now, &local))
        return 0;
    return static_cast<int32_t>(local.tm_gmtoff / 60);
}

std::string FormatDate(TDateTime value)
{
    int y, mo, d, h, mi, s;
    DecodeDateTime(value, y, mo, d, h, mi, s);
    // Weekday: 1899-12-30 was a Saturday.
    const long days = static_cast<long>(std::floor(value));
    const int weekday = static_cast<int>(((days + 6) % 7 + 7) % 7);
    const int32_t offset = LocalOffsetMinutes();
    const int32_t a = offset < 0 ? -offset : offset;
    std::string year = std::to_string(y);
    while (year.size() < 4)
        year = "0" + year;
    return std::string(ShortDays[weekday]) + ", " + twoDigits(d) + " " + ShortMonths[mo - 1] + " " + year + " "
        + twoDigits(h) + ":" + twoDigits(mi) + ":" + twoDigits(s) + " " + (offset >= 0 ? "+" : "-")
        + twoDigits(a / 60) + twoDigits(a % 60);
}

int IndexOfName(const TStringList& list, const std::string& name)
{
    for (std::size_t i = 0; i < list.size(); ++i) {
        const auto eq = list[i].find('=');
        if (eq != std::string::npos && text::sameText(list[i].substr(0, eq), name))
            return static_cast<int>(i);
    }
    return -1;
}

std::string HeaderValue(const TStringList& list, const std::string& name)
{
    const int i = IndexOfName(list, name);
    return i < 0 ? std::string() : list[static_cast<std::size_t>(i)].substr(list[static_cast<std::size_t>(i)].find('=') + 1);
}

void SetHeaderValue(TStringList& list, const std::string& name, const std::string& value)
{
    const int i = IndexOfName(list, name);
    if (value.empty()) {
        if (i >= 0)
            list.erase(list.begin() + i);
        return;
    }
    if (i >= 0)
        list[static_cast<std::size_t>(i)] = name + "=" + value;
    else
        list.push_back(name + "=" + value);
}

std::string CommaText(const TStringList& list)
{
    if (list.size() == 1 && list[0].empty())
        return "\"\"";
    std::string out;
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (i)
            out += ',';
        const std::string& item = list[i];
        bool quote = false;
        for (char c : item)
            if (static_cast<unsigned char>(c) <= 32 || c == '"' || c == ',')
                quote = true;
        if (!quote) {
            out += item;
            continue;
        }
        out += '"';
        for (char c : item) {
            if (c == '"')
                out += '"';
            out += c;
        }
        out += '"';
    }
    return out;
}

TStringList ParseCommaText(const std::string& text)
{
    TStringList out;
    const std::size_t n = text.size();
    auto blank = [&](std::size_t i) { return i < n && text[i] != '\0' && static_cast<unsigned char>(text[i]) <= 32; };
    std::size_t i = 0;
    while (blank(i))
        ++i;
    while (i < n) {
        std::string item;
        if (text[i] == '"') {
            ++i;
            while (i < n) {
                if (text[i] == '"') {
                    if (i + 1 < n && text[i + 1] == '"') {
                        item += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                item += text[i++];
            }
        } else {
            while (i < n && static_cast<unsigned char>(text[i]) > 32 && text[i] != ',')
                item += text[i++];
        }
        out.push_back(std::move(item));
        while (blank(i))
            ++i;
        if (i < n && text[i] == ',') {
            if (i + 1 == n)
                out.emplace_back();
            do
                ++i;
            while (blank(i));
        }
        // A NUL ends the text, as it did for the list this form comes from.
        if (i < n && text[i] == '\0')
            break;
    }
    return out;
}
