// SPDX-License-Identifier: GPL-3.0-or-later
// Entry-name rules and the pid-file and command-line readers: the text a
// hang-up decision rests on.
#include "dialup/RasText.h"

#include <gtest/gtest.h>

using namespace dialup;

TEST(RasText, EntryAndPeerFileNames)
{
    struct Row {
        std::string name;
        bool usable, peerFile;
    } rows[] = {
        {"provider", true, true},
        {"My ISP", true, true},
        {std::string(256, 'x'), true, true},
        {std::string(257, 'x'), false, false},
        {"", false, false},
        {".", false, false},
        {"..", false, false},
        {"../etc/passwd", false, false},
        {"a/b", false, false},
        {"tab\there", false, false},
        {"line\nbreak", false, false},
        {"del\x7f", false, false},
        {"\xc3\xa9t\xc3\xa9", true, true}, // UTF-8 bytes are not control characters
        {".hidden", true, false},
        {"provider~", true, false},
        {"provider.bak", true, false},
        {"provider.dpkg-old", true, false},
        {"provider.dpkg-dist", true, false},
        {"bakery", true, true},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(IsUsableEntryName(r.name), r.usable) << r.name;
        EXPECT_EQ(IsPeerFileName(r.name), r.peerFile) << r.name;
    }
}

TEST(RasText, PidFile)
{
    struct Row {
        std::string text;
        std::optional<pid_t> pid;
    } rows[] = {
        {"1234\n", 1234},
        {"1234", 1234},
        {"1234\nppp0\n", 1234}, // pppd's linkname file: pid, then the interface
        {"1234  \r\n", 1234},
        {"4194304\n", 4194304},
        {"4194305\n", std::nullopt},
        {"99999999999999999999999\n", std::nullopt},
        {"0\n", std::nullopt},  // kill(0) would signal our own group
        {"-1\n", std::nullopt}, // kill(-1) would signal everything we may
        {" 1234\n", std::nullopt},
        {"12ab\n", std::nullopt},
        {"+12\n", std::nullopt},
        {"", std::nullopt},
        {"\n", std::nullopt},
        {std::string("12\0" "34", 5), std::nullopt},
    };
    for (const Row& r : rows)
        EXPECT_EQ(ParsePidFile(r.text), r.pid) << r.text;
}

TEST(RasText, PppdCallCommandLines)
{
    using namespace std::string_literals;
    struct Row {
        std::string image;
        std::optional<std::string> entry;
    } rows[] = {
        {"pppd\0call\0provider\0"s, "provider"},
        {"/usr/sbin/pppd\0call\0provider\0debug\0"s, "provider"},
        {"pppd\0call\0provider"s, "provider"}, // cut read: no final NUL
        {"pppd\0call\0\0"s, std::nullopt},
        {"pppd\0call\0"s, std::nullopt},
        {"pppd\0file\0/etc/ppp/peers/provider\0"s, std::nullopt},
        {"pppd\0nodetach\0call\0provider\0"s, std::nullopt},
        {"xpppd\0call\0provider\0"s, std::nullopt},
        {"/bin/pppd2\0call\0provider\0"s, std::nullopt},
        {"sh\0-c\0pppd call provider\0"s, std::nullopt},
        {"pppd call provider"s, std::nullopt}, // one argument with blanks
        {"pppd\0call\0../../tmp/x\0"s, std::nullopt},
        {"pppd\0call\0"s + std::string(257, 'p') + "\0"s, std::nullopt},
        {""s, std::nullopt},
    };
    for (const Row& r : rows)
        EXPECT_EQ(PppdCallEntry(SplitCmdline(r.image)), r.entry) << r.image;
}
