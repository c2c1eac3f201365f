// SPDX-License-Identifier: GPL-3.0-or-later
// Header blocks: unfolding, lookups and the write rules, address lists,
// comma text and dates.
#include "mail/WireMessage.h"

#include <gtest/gtest.h>

using Lines = std::vector<std::string>;

namespace {

TDateTime date(int y, int m, int d)
{
    TDateTime v = 0;
    EXPECT_TRUE(TryEncodeDate(y, m, d, v));
    return v;
}

} // namespace

TEST(Headers, UnfoldTable)
{
    struct Row {
        Lines raw;
        Lines unfolded;
    } rows[] = {
        {{"Subject: Hello", "\tworld"}, {"Subject=Hello world"}},
        {{"Subject:  two  ", " \t a\tb \t"}, {"Subject= two   a b"}},
        {{"Subject:text"}, {"Subject:text"}},
        {{"X: a: b"}, {"X=a: b"}},
        {{"X: "}, {"X="}},
        {{" orphan", "\tfold", "From: a"}, {"From=a"}}, // nothing to join yet
        {{"To: a@x,", "  b@y"}, {"To=a@x, b@y"}},
        {{"A: 1", "B: 2", " 3", "C: 4"}, {"A=1", "B=2 3", "C=4"}},
        {{}, {}},
    };
    for (Row& r : rows) {
        Lines l = r.raw;
        UnfoldHeaders(l);
        EXPECT_EQ(l, r.unfolded) << testing::PrintToString(r.raw);
    }
}

TEST(Headers, LookupAndWriteRules)
{
    TWireMessage m;
    m.Headers = {"SUBJECT=hi", "subject=second", "junk", "=nameless", "From=a"};
    EXPECT_EQ(m.Subject(), "hi");
    EXPECT_EQ(HeaderValue(m.Headers, "junk"), "");
    EXPECT_EQ(HeaderValue(m.Headers, ""), "nameless");
    EXPECT_EQ(m.Organization(), "");
    m.SetSubject("new");
    EXPECT_EQ(m.Headers[0], "Subject=new");
    m.SetSubject("");
    EXPECT_EQ(m.Subject(), "second");
    m.SetReplyTo("r@x");
    EXPECT_EQ(m.Headers.back(), "Reply-To=r@x");
    m.SetOrganization(""); // removing a missing entry changes nothing
    EXPECT_EQ(m.Headers.size(), 5u);
}

TEST(Headers, AddressListsSplitAndJoin)
{
    struct Row {
        std::string text;
        Lines items;
    } rows[] = {
        {"a@x, \"Doe, John\" <j@y>,", {"a@x", "\"Doe, John\" <j@y>"}},
        {"", {}},
        {" , ,", {}},
        {"\"a\" \"b, c\" <d>", {"\"a\" \"b", "c\" <d>"}}, // only the first quote pair protects
        {"\"unterminated, x", {"\"unterminated, x"}},
        {"one", {"one"}},
    };
    for (const Row& r : rows)
        EXPECT_EQ(SplitAddresses(r.text), r.items) << r.text;
    EXPECT_EQ(JoinAddresses({"a", "b c"}), "a,b c");
    EXPECT_EQ(JoinAddresses({}), "");

    TWireMessage m;
    m.Headers = {"To=a@x,", "Cc=c@z"};
    EXPECT_EQ(m.Too(), (Lines{"a@x"}));
    m.SetCCList({});
    EXPECT_EQ(HeaderValue(m.Headers, "Cc"), "");
    m.SetToo({"p@q", "r@s"});
    EXPECT_EQ(HeaderValue(m.Headers, "To"), "p@q,r@s");
}

TEST(Headers, NewsgroupsCommaText)
{
    struct Row {
        std::string text;
        Lines items;
    } rows[] = {
        {"comp.a,alt.b", {"comp.a", "alt.b"}},
        {" comp.a , alt.b", {"comp.a", "alt.b"}},
        {"comp.a alt.b", {"comp.a", "alt.b"}},
        {"\"with blank\",x", {"with blank", "x"}},
        {"\"q\"\"q\"", {"q\"q"}},
        {"a,", {"a", ""}},
        {"", {}},
    };
    for (const Row& r : rows)
        EXPECT_EQ(ParseCommaText(r.text), r.items) << r.text;
    const Lines round = {"plain", "has blank", "has,comma", "q\"q"};
    EXPECT_EQ(ParseCommaText(CommaText(round)), round);
    TWireMessage m;
    m.SetNewsgroups({"a", "b c"});
    EXPECT_EQ(HeaderValue(m.Headers, "Newsgroups"), "a,\"b c\"");
    EXPECT_EQ(m.Newsgroups(), (Lines{"a", "b c"}));
}

TEST(Headers, ParseDateTable)
{
    struct Row {
        std::string text;
        int y, m, d; // 0: no date
    } rows[] = {
        {"Sun, 6 Dec 2026 23:17:43 +0100", 2026, 12, 6},
        {"06 Dec 26 10:00", 2026, 12, 6},
        {"1 Jan 99", 1999, 1, 1},
        {"1 Jan 100", 100, 1, 1},
        {"  mon, 15 feb 2021 ", 2021, 2, 15},
        {"15 Xyz 2021", 2021, 1, 15},
        {"x5 Mar 2021", 2021, 3, 1},
        {"5 Mar 79", 2079, 3, 5},
        {"5 Mar 80", 1980, 3, 5},
        {"5 Mar 20x1", 1900, 3, 5},
        {"29 Feb 2024", 2024, 2, 29},
        {"31 Feb 2026", 0, 0, 0},
        {"29 Feb 2023", 0, 0, 0},
        {"", 0, 0, 0},
        {"   ", 0, 0, 0},
        {"Sun", 1900, 1, 1},
        {"7", 1900, 1, 7},
        {"99 Dec 2026", 0, 0, 0},
        {"1 Jan 0", 2000, 1, 1},
    };
    for (const Row& r : rows)
        EXPECT_EQ(ParseDate(r.text), r.y ? date(r.y, r.m, r.d) : 0) << r.text;
    TWireMessage m;
    EXPECT_EQ(m.Date(), 0);
    m.Headers = {"date=Tue, 1 Sep 2020 10:00:00 +0000"};
    EXPECT_EQ(m.Date(), date(2020, 9, 1));
}

TEST(Headers, FormatDateRoundTripsTheDay)
{
    const TDateTime v = date(2026, 12, 6) + 0.5 + 1.0 / 86400;
    const std::string text = FormatDate(v);
    const int32_t off = LocalOffsetMinutes();
    const int32_t a = off < 0 ? -off : off;
    char zone[32];
    std::snprintf(zone, sizeof zone, "%c%02d%02d", off >= 0 ? '+' : '-', a / 60, a % 60);
    EXPECT_EQ(text, std::string("Sun, 06 Dec 2026 12:00:01 ") + zone);
    EXPECT_EQ(ParseDate(text), date(2026, 12, 6));
    EXPECT_EQ(FormatDate(0).substr(0, 25), "Sat, 30 Dec 1899 00:00:00");
}

TEST(Headers, ClearKeepsTheSendingSettings)
{
    TWireMessage m;
    m.Headers = {"From=a", "Date=x"};
    m.BCCList = {"b"};
    m.Text = {"t"};
    m.MessageParts.resize(2);
    m.Attachments.resize(1);
    m.DefaultDomain = "d";
    m.ExtractAttachments = false;
    m.UseNowForDate = false;
    m.ContentType = "text/html";
    m.Clear();
    EXPECT_TRUE(m.Headers.empty());
    EXPECT_TRUE(m.BCCList.empty());
    EXPECT_TRUE(m.Text.empty());
    EXPECT_TRUE(m.MessageParts.empty());
    EXPECT_TRUE(m.Attachments.empty());
    EXPECT_EQ(m.DefaultDomain, "");
    EXPECT_FALSE(m.ExtractAttachments);
    EXPECT_FALSE(m.UseNowForDate);
    EXPECT_EQ(m.ContentType, "text/html");
}
