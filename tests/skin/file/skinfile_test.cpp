// SPDX-License-Identifier: GPL-3.0-or-later
// The skin definition reader: the pair rules, the reading order around a
// number-format error, the captures the substring match allows, and the
// case-insensitive file lookup.
#include "base/Exception.h"
#include "core/settings/Settings.h"
#include "skin/file/SkinFile.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

namespace {

TEST(TraiteInt, Rules)
{
    struct Case {
        const char* text;
        int32_t first, second; // expected, both preset to 5 and 6
    };
    const Case good[] = {
        {"none", 0, 0}, {"", 0, 0}, {"12", 12, 6}, {"10, 20", 10, 20}, {"-3,+4", -3, 4}, {" 7,8", 7, 8},
    };
    for (const Case& c : good) {
        int32_t a = 5, b = 6;
        TraiteInt(c.text, a, b);
        EXPECT_EQ(a, c.first) << c.text;
        EXPECT_EQ(b, c.second) << c.text;
    }
    // "None" is not the missing word; a blank after a number is an error.
    for (const char* bad : {"10 ,20", "1,2,3", "abc", "None", "1,", ",1", "12 "}) {
        int32_t a = 5, b = 6;
        EXPECT_THROW(TraiteInt(bad, a, b), Exception) << bad;
    }
    int32_t one = 0;
    TraiteInt("5,7", one, one);
    EXPECT_EQ(one, 7);
}

// A skin in a scratch directory, made current as the loader would.
class Skin : public testing::Test {
protected:
    void SetUp() override
    {
        CurrentSkinDir = m_dir.path();
        SkinSettings = TSkinSettings{};
    }
    void skinIni(const std::string& lines)
    {
        std::string crlf;
        for (char c : lines)
            crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
        writeFile(m_dir.path() + "skin.ini", crlf);
    }
    std::string in(const std::string& name) const { return m_dir.path() + name; }

    TempDir m_dir;
};

TEST_F(Skin, HeadersKeysAndCaptures)
{
    skinIni("[BACKGROUND]\nMAIN=bg.bmp\n"
            "[online]\nnotonlinebmp = off.bmp\nonlinebmp = on.bmp\nposition = 12\n"
            "[connect]\ncnxbtnnormal =\n"
            "[disconnect]\nposition = 3, 4\n"
            "[status]\nfontbmp = f.bmp\n"
            "[memo_msgwindow]\nmemo_x=5,7\nmaxchar = 0\nfontsize=9\nfontcolor=300, 128,0\n"
            ";prevbtnpos = 1,1\n ;nextbtnpos = 2,2\n");
    ReadSkin();
    const TSkinSettings& s = SkinSettings;
    EXPECT_EQ(s.background.main, in("bg.bmp"));
    EXPECT_EQ(s.background.msgbkng, "none");
    EXPECT_TRUE(NoMsgWindow);
    EXPECT_EQ(s.online.onlinebmp, in("off.bmp")) << "onlinebmp matches inside notonlinebmp";
    EXPECT_EQ(s.online.position.first, 12);
    EXPECT_EQ(s.online.position.second, 0);
    EXPECT_EQ(s.connect.cnxbtnnormal, m_dir.path()) << "an empty file value is the skin directory";
    EXPECT_EQ(s.connect.cnxbtnselect, in("none"));
    EXPECT_EQ(s.connect.position.first, 3) << "a section without position takes the next one's";
    EXPECT_EQ(s.status.size.first, 9) << "size matches the memo's fontsize line";
    EXPECT_EQ(s.status.size.second, 0);
    EXPECT_EQ(s.status.maxchar, 128);
    EXPECT_EQ(s.memo_msgwindow.memo_x, 7);
    EXPECT_EQ(s.memo_msgwindow.fontcolor, 44u + 256u * 128u);
    EXPECT_EQ(s.memo_msgwindow.fontname, "arial");
    EXPECT_EQ(s.memo_msgwindow.fontstyle, "none");
    EXPECT_EQ(s.memo_msgwindow.fontsize, 9);
    EXPECT_EQ(s.memo_msgwindow.prevbtnpos.first, 0) << "a comment line is no definition";
    EXPECT_EQ(s.memo_msgwindow.nextbtnpos.first, 2) << "a blank before ';' makes it a definition";
}

TEST_F(Skin, HalfPairKeepsThePreviousSkinsValue)
{
    skinIni("[background]\nmain = a.bmp\n[connect]\nposition = 3,4\n[status]\nmaxchar = 50\n");
    ReadSkin();
    EXPECT_EQ(SkinSettings.connect.position.second, 4);
    skinIni("[background]\nmain = a.bmp\n[connect]\nposition = 12\n");
    ReadSkin();
    EXPECT_EQ(SkinSettings.connect.position.first, 12);
    EXPECT_EQ(SkinSettings.connect.position.second, 4);
    EXPECT_EQ(SkinSettings.status.maxchar, 128);
}

TEST_F(Skin, NumberFormatErrorStopsTheReadingAtItsKey)
{
    struct Case {
        const char* name;
        std::string file;
        std::string message;
    };
    const Case cases[] = {
        {"pair", "[nbmsg]\nnbmsgbmp = n.bmp\nsize = 5,x\nposition = 1,1\n", "'x' is not a valid integer value"},
        {"colour of one number", "[nbmsg]\nnbmsgbmp = n.bmp\nsize = 5,6\nposition = 1,1\n[memo_msgwindow]\nfontcolor = 5\n", ""},
        {"empty fontsize", "[nbmsg]\nnbmsgbmp = n.bmp\nsize = 5,6\nposition = 1,1\n[memo_msgwindow]\nfontsize =\n", ""},
    };
    for (const Case& c : cases) {
        TSkinSettings& s = SkinSettings;
        s = TSkinSettings{};
        s.nbmsg.position = {77, 77};
        s.status.fontbmp = "old";
        s.memo_msgwindow.fontsize = 77;
        s.memo_msgwindow.closebtnpos = {77, 77};
        skinIni("[background]\nmain = a.bmp\n[connect]\nposition = 8,9\n" + c.file);
        try {
            ReadSkin();
            ADD_FAILURE() << c.name << ": no exception";
        } catch (const Exception& e) {
            if (!c.message.empty()) {
                EXPECT_EQ(e.Message(), c.message) << c.name;
            }
        }
        EXPECT_EQ(s.connect.position.first, 8) << c.name;
        EXPECT_EQ(s.nbmsg.nbmsgbmp, in("n.bmp")) << c.name;
        EXPECT_EQ(s.nbmsg.size.first, 5) << c.name;
        EXPECT_EQ(s.memo_msgwindow.closebtnpos.first, 77) << c.name;
        if (std::string(c.name) == "pair") {
            EXPECT_EQ(s.nbmsg.position.first, 77) << c.name;
            EXPECT_EQ(s.status.fontbmp, "old") << c.name;
        } else {
            EXPECT_EQ(s.status.fontbmp, in("none")) << c.name;
        }
    }
}

TEST_F(Skin, FatalSkinProblems)
{
    EXPECT_EXIT(ReadSkin(), testing::ExitedWithCode(1), "SKIN PATH not found !");
    skinIni("[background] \nmain = bg.bmp\n");
    EXPECT_EXIT(ReadSkin(), testing::ExitedWithCode(1),
                "Main Background not found in Skin.ini!\nsee section \\[Background\\] in Skin.ini, line : Main=");
}

TEST_F(Skin, FileNamesMatchIgnoringCase)
{
    writeFile(in("SKIN.INI"), "[background]\r\nmain = back.bmp\r\nmsgbkng = pics/msg.bmp\r\n"
                              "[online]\r\nonlinebmp = Gone.bmp\r\n");
    writeFile(in("Back.BMP"), "x");
    writeFile(in("Pics/MSG.bmp"), "x");
    ReadSkin();
    EXPECT_EQ(SkinSettings.background.main, in("Back.BMP"));
    EXPECT_EQ(SkinSettings.background.msgbkng, in("Pics/MSG.bmp"));
    EXPECT_EQ(SkinSettings.online.onlinebmp, in("Gone.bmp")) << "no match: the name as written";
    EXPECT_EQ(FindFileIgnoringCase(in("pics/")), in("Pics/"));

    // Skins made on Windows separate directories with backslashes.
    writeFile(in("SKIN.INI"), "[background]\r\nmain = pics\\Back.bmp\r\nmsgbkng = Pics\\msg.BMP\r\n");
    writeFile(in("Pics/Back.bmp"), "x");
    ReadSkin();
    EXPECT_EQ(SkinSettings.background.main, in("Pics/Back.bmp"));
    EXPECT_EQ(SkinSettings.background.msgbkng, in("Pics/MSG.bmp"));
    EXPECT_EQ(FindFileIgnoringCase(in("back.bmp/x")), in("back.bmp/x"));
}

TEST_F(Skin, SkinInfo)
{
    skinIni("[info]\nskin_name   =   Blue  \nSKIN_AUTHOR=Ann\nskin_mail = a@b\nskin_name = Second\n"
            "; skin_web = http://x\nskin_info\n");
    const TSkinInfo info = ReadSkinInfo(in("skin.ini"));
    EXPECT_EQ(info.name, "Second") << "a later line wins";
    EXPECT_EQ(info.author, "Ann");
    EXPECT_EQ(info.mail, "a@b");
    EXPECT_EQ(info.web, "http://x") << "no comment handling here";
    EXPECT_EQ(info.info, "skin_info");

    skinIni("skin_name = A skin_author = B\n");
    const TSkinInfo both = ReadSkinInfo(in("skin.ini"));
    EXPECT_EQ(both.name, "A skin_author = B");
    EXPECT_EQ(both.author, "A skin_author = B");

    skinIni("skin_name =   Blue  \n");
    EXPECT_EQ(ReadSkinInfo(in("skin.ini")).name, "Blue  ");
    EXPECT_THROW(ReadSkinInfo(in("missing/skin.ini")), Exception);
}

} // namespace
