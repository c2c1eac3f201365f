// SPDX-License-Identifier: GPL-3.0-or-later
// The base64 codec: what each leniency makes of the same texts, fed whole or
// in pieces (the lines of a body), and the two encoders.
#include "base/Base64.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

using L = TBase64Leniency;

struct Row {
    L how;
    std::vector<std::string> pieces; // fed one after another
    std::optional<std::string> bytes; // nothing: refused
    // Set: bytes encode to pieces[0] (standard) and to url (URL-safe), and
    // pieces[0] decodes to bytes under every leniency.
    const char* url = nullptr;
};

const Row Rows[] = {
    // Canonical texts.
    {L::Strict, {""}, "", ""},
    {L::Strict, {"Zg=="}, "f", "Zg"},
    {L::Strict, {"Zm8="}, "fo", "Zm8"},
    {L::Strict, {"Zm9v"}, "foo", "Zm9v"},
    {L::Strict, {"+/+/"}, "\xfb\xff\xbf", "-_-_"},
    {L::Strict, {"AAEC"}, std::string("\0\x01\x02", 3), "AAEC"},
    {L::Strict, {"YWJj"}, "abc", "YWJj"},
    {L::Strict, {"YQ=="}, "a", "YQ"},
    {L::Strict, {"YWI="}, "ab", "YWI"},
    {L::Strict, {"YWJjZA=="}, "abcd", "YWJjZA"},
    {L::Strict, {"AP/+"}, std::string("\0\xff\xfe", 3), "AP_-"},
    {L::Strict, {"QUJD"}, "ABC", "QUJD"},
    {L::Strict, {"QQ=="}, "A", "QQ"},
    {L::Strict, {"QUI="}, "AB", "QUI"},

    // Sign-in: the pad may be left off, nothing else is forgiven.
    {L::Strict, {"Zg"}, "f"},
    {L::Strict, {"QQ"}, "A"},
    {L::Strict, {"QUI"}, "AB"},
    {L::Strict, {"Zm", "9v"}, "foo"},
    {L::Strict, {"Z"}, std::nullopt},
    {L::Strict, {"Zg="}, std::nullopt},
    {L::Strict, {"Zm9v!"}, std::nullopt},
    {L::Strict, {"Zm 9v"}, std::nullopt},
    {L::Strict, {"-_-_"}, std::nullopt},
    {L::Strict, {"Zg==="}, std::nullopt},
    {L::Strict, {"Zm9vZ"}, std::nullopt},
    {L::Strict, {"="}, std::nullopt},
    {L::Strict, {"QQ==QUJD"}, std::nullopt},
    {L::Strict, {"QUJD===="}, std::nullopt},

    // MIME bodies: groups run over line ends, stray characters are skipped.
    {L::SkipStray, {"QUJD", "REVG"}, "ABCDEF"},
    {L::SkipStray, {"QUJDR", "EVG"}, "ABCDEF"},
    {L::SkipStray, {"QU JD\t", "!!"}, "ABC"},
    {L::SkipStray, {"QQ==", "QUJD"}, "A"}, // nothing after the pad
    {L::SkipStray, {"QUI"}, "AB"},         // a final group without its pad
    {L::SkipStray, {"QQ"}, "A"},
    {L::SkipStray, {"Q"}, ""},

    // The message coder's lines: fixed groups of four.
    {L::FixedGroups, {"QUJ"}, ""},
    {L::FixedGroups, {"QQ"}, ""},
    {L::FixedGroups, {"QUJDRA"}, "ABC"}, // characters after the last group ignored
    {L::FixedGroups, {"QQ=="}, "A"},
    {L::FixedGroups, {"QQ==QUJD"}, "AABC"}, // a pad ends its own group only
    {L::FixedGroups, {"QUI=QQ=="}, "ABA"},
    {L::FixedGroups, {"QQ=x"}, "A"},
    {L::FixedGroups, {"QUJDQQ="}, "ABC"}, // a padded group cut short gives nothing
    {L::FixedGroups, {"YWJj ZGVm"}, "abc\x01\x91\x95"}, // a blank is not skipped: " ZGV" is a group
    {L::FixedGroups, {"AAAA"}, std::string(3, '\0')},
    {L::FixedGroups, {"////"}, "\xff\xff\xff"},
    {L::FixedGroups, {"\x80\xff\x01!"}, std::string("\x00\x00\x00", 3)}, // outside the alphabet: 0
    {L::FixedGroups, {"Q=JD"}, std::string("\x40\x02\x43", 3)},
};

std::string shown(const std::vector<std::string>& pieces)
{
    std::string s;
    for (const std::string& p : pieces)
        s += (s.empty() ? "" : " | ") + p;
    return s;
}

std::optional<std::string> decode(L how, const std::vector<std::string>& pieces)
{
    TBase64Decoder d(how);
    std::string out;
    bool ok = true;
    for (const std::string& p : pieces)
        ok = d.Feed(p, out) && ok;
    ok = d.Finish(out) && ok;
    return ok ? std::optional<std::string>(out) : std::nullopt;
}

TEST(Base64, Table)
{
    for (const Row& r : Rows) {
        SCOPED_TRACE(shown(r.pieces));
        EXPECT_EQ(decode(r.how, r.pieces), r.bytes);
        if (r.pieces.size() == 1)
            EXPECT_EQ(Base64Decode(r.pieces[0], r.how), r.bytes);
        if (r.url) {
            EXPECT_EQ(Base64Encode(*r.bytes), r.pieces[0]);
            EXPECT_EQ(Base64UrlEncode(*r.bytes), r.url);
            for (L how : {L::SkipStray, L::FixedGroups})
                EXPECT_EQ(Base64Decode(r.pieces[0], how), r.bytes);
        }
    }
}

} // namespace
