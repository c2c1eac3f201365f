// SPDX-License-Identifier: GPL-3.0-or-later
// The line reader's bounds, at them and one byte past them.
#include "base/LineReader.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(LineReader, Bounds)
{
    constexpr std::size_t MaxLine = 8, MaxFile = 12;
    const struct {
        const char* what;
        std::string content;
        std::vector<std::string> lines;
    } rows[] = {
        {"file exactly at the bound", "abc\r\ndefghij", {"abc", "defghij"}},
        {"file one past the bound: its last byte unread", "abc\r\ndefghijk", {"abc", "defghij"}},
        {"the bound between CR and LF", "abc\r\ndefghi\r\nx", {"abc", "defghi"}},
        {"line exactly at the bound", "abcdefgh\r\nx", {"abcdefgh", "x"}},
        {"line one past the bound: cut, the next line kept", "abcdefghi\r\nx", {"abcdefgh", "x"}},
        {"LF alone is text, CR alone ends a line", "a\nb\rc", {"a\nb", "c"}},
        {"byte 26 ends the file", "ab\r\n\x1a" "cd", {"ab"}},
    };
    TempDir dir;
    const std::string file = dir.path() + "lines.ini";
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        writeFile(file, r.content);
        LineReader reader(file, MaxLine, MaxFile);
        std::vector<std::string> lines;
        for (std::string line; reader.next(line);)
            lines.push_back(line);
        EXPECT_FALSE(reader.failed());
        EXPECT_EQ(lines, r.lines);
    }
}

} // namespace
