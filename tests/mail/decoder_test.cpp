// SPDX-License-Identifier: GPL-3.0-or-later
// The body decoder: the same transfer encodings for a shown text part and
// for an attachment's file, each with its own line ends and its own end of
// base64 data, and whether a cut-off part ended cleanly.
#include "mail/BodyDecoder.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

enum class Use { Text, File, Whole };

std::string decode(Use use, const std::string& cte, const std::vector<std::string>& lines, bool& clean)
{
    mime::BodyDecoder d = use == Use::Text ? mime::BodyDecoder::ForText(cte)
                                           : mime::BodyDecoder::ForFile(cte, use == Use::Whole);
    std::string out;
    for (const std::string& l : lines)
        d.Feed(l, out);
    clean = d.Finish(out);
    return out;
}

} // namespace

TEST(BodyDecoder, OneEncodingNameForTextAndFiles)
{
    struct Row {
        Use use;
        std::string cte;
        std::vector<std::string> lines;
        std::string bytes;
        bool clean;
    } rows[] = {
        // The name is read the same way for both.
        {Use::Text, " Base64 ", {"YWJj", "ZGVm"}, "abcdef", true},
        {Use::File, "BASE64\t", {"YWJj", "ZGVm"}, "abcdef", true},
        {Use::Text, "Quoted-Printable", {"caf=C3=A9"}, "caf\xC3\xA9", true},
        {Use::File, "quoted-printable", {"caf=C3=A9"}, "caf\xC3\xA9", true},
        // A shown text reads base64 past an empty line; a file's data ends there.
        {Use::Text, "base64", {"", "YWJj", "", "ZGVm"}, "abcdef", true},
        {Use::File, "base64", {"", " ", "YWJj", "", "ZGVm"}, "abc", true},
        {Use::File, "base64", {"YWJj", " ", "ZGVm"}, "abcdef", true}, // blanks alone do not end it
        {Use::File, "base64", {"YWJjZA"}, "abcd", false},          // a group cut short
        {Use::File, "base64", {"YWI=", "ZGVm"}, "ab", true},       // the pad ends the data
        // Line ends: "\n" for text, CR LF for a file, a soft break joins.
        {Use::Text, "quoted-printable", {"a=", "b", "c", ""}, "ab\nc\n", true},
        {Use::File, "quoted-printable", {"a=", "b", "c", ""}, "ab\r\nc\r\n", true},
        {Use::Whole, "quoted-printable", {"a", "b"}, "a\r\nb\r\n", true},
        {Use::File, "quoted-printable", {"a", "b="}, "a\r\nb", false},
        // A bare LF inside a line ends a shown quoted-printable line too.
        {Use::Text, "quoted-printable", {"a=\nb  \nc"}, "ab\nc", true},
        {Use::File, "quoted-printable", {"a=\nb"}, "a=\nb", true},
        {Use::Text, "8bit", {"a", "", "b"}, "a\n\nb", true},
        {Use::File, "7bit", {"a", "", "b"}, "a\r\n\r\nb", true},
        {Use::Whole, "binary", {"a"}, "a\r\n", true},
        {Use::Whole, "x-unknown", {}, "", true},
        // uuencode is decoded into a file, shown as it is in a text.
        {Use::File, "x-uuencode", {"begin 644 x", "#86)C", "end"}, "abc", true},
        {Use::File, "uuencode", {"begin 644 x", "#86)C"}, "abc", false},
        {Use::Whole, "x-uue", {"begin 644 x", "#86)C", "end"}, "abc", true},
        {Use::Text, "x-uuencode", {"begin 644 x", "#86)C", "end"}, "begin 644 x\n#86)C\nend", true},
    };
    for (const Row& r : rows) {
        bool clean = !r.clean;
        EXPECT_EQ(decode(r.use, r.cte, r.lines, clean), r.bytes) << r.cte << " " << r.lines.size();
        EXPECT_EQ(clean, r.clean) << r.cte << " " << r.lines.size();
    }
}
