// SPDX-License-Identifier: GPL-3.0-or-later
// Header parsing over arbitrary text: unfolding of the lines, address lists,
// comma text and dates. A parsed date must survive a write and a re-read.
#include "mail/Headers.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);

    TStringList lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= text.size(); ++i)
        if (i == text.size() || text[i] == '\n') {
            lines.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    const std::size_t raw = lines.size();
    UnfoldHeaders(lines);
    if (lines.size() > raw)
        std::abort();

    for (const std::string& item : SplitAddresses(text))
        if (item.empty() || static_cast<unsigned char>(item.front()) <= 32
            || static_cast<unsigned char>(item.back()) <= 32)
            std::abort();
    const TStringList items = ParseCommaText(text);
    if (ParseCommaText(CommaText(items)) != items)
        std::abort();

    const TDateTime d = ParseDate(text);
    if (d != 0 && ParseDate(FormatDate(d)) != d)
        std::abort();
    return 0;
}
