// SPDX-License-Identifier: GPL-3.0-or-later
// The grammar of structured header values: media types and the parameters
// of Content-Type and Content-Disposition in the forms senders use.
#include "mail/MimeParams.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

TEST(HeaderParameter, Rfc2045Forms)
{
    struct Row {
        std::string value, name;
        std::optional<std::string> got;
    } rows[] = {
        {"multipart/mixed; boundary=\"x\"; charset=us-ascii", "boundary", "x"},
        {"multipart/mixed; Boundary=abc", "boundary", "abc"},
        {"multipart/mixed;boundary=abc ;x=y", "boundary", "abc"},
        {"multipart/mixed; charset=x; BOUNDARY = \"a b;c\"", "boundary", "a b;c"},
        {"multipart/mixed; b=\"q\\\"x\"", "b", "q\"x"},
        {"multipart/mixed; noequals; boundary=z", "boundary", "z"},
        {"multipart/mixed; xboundary=z", "boundary", std::nullopt},
        {"multipart/mixed", "boundary", std::nullopt},
        {"multipart/mixed; boundary=\"unterminated", "boundary", "unterminated"},
        {"attachment; filename*=utf-8''a%20b", "filename*", "utf-8''a%20b"},
    };
    for (const Row& r : rows)
        EXPECT_EQ(mime::HeaderParameter(r.value, r.name), r.got) << r.value;
}

TEST(ParameterText, Rfc2231AndWhatOlderMailersWrite)
{
    struct Row {
        std::string value;
        std::optional<std::string> got;
    } rows[] = {
        {"attachment; filename=\"a b.txt\"", "a b.txt"},
        {"attachment; FileName=plain.txt ; size=3", "plain.txt"},
        {"attachment; filename*=utf-8''%C3%A4%20b.txt", "\xC3\xA4 b.txt"},
        {"attachment; filename*=iso-8859-1'de'%E4.txt", "\xC3\xA4.txt"},
        {"attachment; filename*0=\"lo\"; filename*1=ng.txt", "long.txt"},
        {"attachment; filename*0*=utf-8''%C3%A4; filename*1=\".pdf\"", "\xC3\xA4.pdf"},
        {"attachment; filename*1=b; filename*2=c", std::nullopt}, // no part 0: no name
        {"attachment; filename*=a%2; filename=x", "a%2"}, // the extended form wins
        {"attachment; filename=\"C:\\TEMP\\a.png\"", "C:\\TEMP\\a.png"},
        {"attachment; filename=\"q\\\"x\\\\y\"", "q\"x\\y"},
        {"attachment; filename=\"=?utf-8?q?=C3=A4?=.txt\"", "\xC3\xA4.txt"},
        {"attachment", std::nullopt},
    };
    for (const Row& r : rows)
        EXPECT_EQ(mime::ParameterText(r.value, "filename"), r.got) << r.value;
    EXPECT_EQ(mime::Boundary("multipart/mixed; boundary*0=\"a\"; boundary*1=b"), "ab");
    EXPECT_EQ(mime::Boundary("multipart/mixed; boundary*=us-ascii''%41"), "A");
}

// A sender cannot make the reader join more than 1000 pieces: a name of
// exactly 1000 is joined whole, a 1001st piece is left out.
TEST(ParameterText, ContinuationsAreJoinedUpToTheirBound)
{
    for (const int pieces : {1000, 1001}) {
        std::string value = "attachment";
        for (int n = 0; n < pieces; ++n)
            value += "; filename*" + std::to_string(n) + "=" + (n < 1000 ? "a" : "z");
        EXPECT_EQ(mime::ParameterText(value, "filename"), std::string(1000, 'a')) << pieces;
    }
}

TEST(MediaTypes, WhatAPartIsTakenFor)
{
    struct Row {
        const char* value;
        const char* effective;
    } rows[] = {
        {"Text/HTML; charset=utf-8", "text/html"},
        {" text / plain ", "text/plain"},
        {"text", "text"},
        {"", "text/plain"},
        {"<HR>", "text/plain"},
        {"text/", "text/plain"},
        {"image/png (a comment)", "image/png"},
        {"multipart/mixed boundary=x", "multipart/mixed"},
    };
    for (const Row& r : rows)
        EXPECT_EQ(mime::EffectiveType(r.value), r.effective) << r.value;
    EXPECT_EQ(mime::MainType("Multipart/Alternative; boundary=b"), "multipart");
    EXPECT_TRUE(mime::IsToken("x-tolmu.1"));
    EXPECT_FALSE(mime::IsToken("a b"));
    EXPECT_FALSE(mime::IsToken("a/b"));
    EXPECT_FALSE(mime::IsToken(""));
}
