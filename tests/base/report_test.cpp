// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/Report.h"

#include <gtest/gtest.h>

TEST(Report, FatalWritesTextWithLineBreaksAndExitsOne)
{
    EXPECT_EXIT(report::Fatal("first\rsecond"), testing::ExitedWithCode(1), "first\nsecond");
}

TEST(Report, ConsoleTextShowsWhatCouldDriveTheTerminal)
{
    using report::LineBreaks;
    struct Row {
        const char* name;
        std::string in;
        LineBreaks breaks;
        std::string out;
    } rows[] = {
        {"colour and clear screen", "a\x1b[31mred\x1b[2J", LineBreaks::Keep, "a\\e[31mred\\e[2J"},
        {"title set ends with BEL", "\x1b]0;owned\x07", LineBreaks::Keep, "\\e]0;owned\\x07"},
        {"backspace over text", "ok\b\bNO", LineBreaks::OneLine, "ok\\x08\\x08NO"},
        {"NUL, DEL and the last C0", std::string("a\0b\x7f\x1f", 5), LineBreaks::Keep, "a\\x00b\\x7f\\x1f"},
        {"C1 CSI in UTF-8", "x\xc2\x9b" "31m", LineBreaks::Keep, "x\\xc2\\x9b31m"},
        {"other UTF-8 passes", "Gr\xc3\xbc\xc3\x9f" "e \xc2\xa0\xe2\x82\xac", LineBreaks::Keep,
         "Gr\xc3\xbc\xc3\x9f" "e \xc2\xa0\xe2\x82\xac"},
        {"lone C2 at the end passes", "a\xc2", LineBreaks::Keep, "a\xc2"},
        // Raw 8-bit controls: 0x9b is a CSI to a terminal taking 8-bit controls.
        {"raw C1 bytes", "x\x9b" "31m\x80\x9f", LineBreaks::Keep, "x\\x9b31m\\x80\\x9f"},
        {"C1-valued bytes inside UTF-8 pass", "\xe2\x82\xac \xf0\x9f\x98\x80", LineBreaks::Keep,
         "\xe2\x82\xac \xf0\x9f\x98\x80"},
        {"Latin-1 text passes", "caf\xe9 \xa0", LineBreaks::Keep, "caf\xe9 \xa0"},
        {"cut UTF-8 before a C1 byte", "\xe2\x82 \xc3", LineBreaks::Keep, "\xe2\\x82 \xc3"},
        {"tab stays", "a\tb", LineBreaks::OneLine, "a\tb"},
        {"socket error on one line", "Socket Error #10060\r\nConnection timed out.", LineBreaks::OneLine,
         "Socket Error #10060 Connection timed out."},
        {"message box breaks", "first\rsecond\r\nthird\nfourth", LineBreaks::Keep, "first\nsecond\nthird\nfourth"},
        {"CR inside a mail line cannot overwrite it", "Total: 10\rTotal: 99", LineBreaks::LfOnly,
         "Total: 10\\rTotal: 99"},
        {"LF in a mail line stays", "a\nb\r\n", LineBreaks::LfOnly, "a\nb\\r\n"},
    };
    for (const Row& r : rows)
        EXPECT_EQ(report::ConsoleText(r.in, r.breaks), r.out) << r.name;
}
