// SPDX-License-Identifier: GPL-3.0-or-later
// Bitmap text by pixels, the state pictures, and the bundled skins through
// the skin reader.
#include "skin/BitmapText.h"
#include "skin/SkinPicture.h"
#include "skin/StateView.h"
#include "skin/WinUtil.h"
#include "skin/file/SkinFile.h"
#include "tests/skin/QtTestApp.h"

#include <QDir>
#include <QFile>
#include <QIcon>
#include <QPainter>
#include <QTemporaryDir>

#include <cstdio>
#include <functional>

#include <gtest/gtest.h>

namespace {

// A font whose every cell is one solid colour telling its column and row.
QRgb cellColour(int column, int row) { return qRgb(column * 9 + 1, row * 100 + 50, 7); }

QImage gridFont(int cellW, int cellH, int columns, int rows)
{
    QImage font(columns * cellW, rows * cellH, QImage::Format_RGB32);
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < columns; ++c)
            for (int y = 0; y < cellH; ++y)
                for (int x = 0; x < cellW; ++x)
                    font.setPixel(c * cellW + x, r * cellH + y, cellColour(c, r));
    return font;
}

// What each cell of a rendered text holds: a cell colour or magenta.
void expectCells(const QImage& img, int cellW, const std::vector<QRgb>& cells)
{
    for (std::size_t i = 0; i < cells.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "cell " << i);
        const int x = 1 + int(i) * cellW;
        EXPECT_EQ(img.pixel(x, 0), cells[i]);
        EXPECT_EQ(img.pixel(x + cellW - 1, img.height() - 1), cells[i]);
    }
    for (int y = 0; y < img.height(); ++y)
        EXPECT_EQ(img.pixel(0, y), SkinMagenta) << "column 0 is never drawn on";
}

const QRgb M = SkinMagenta;

} // namespace

TEST(RenderBitmapText, LayoutsByPixels)
{
    qtTestApp();
    const QImage status = gridFont(8, 10, 26, 2);
    const QImage digits = gridFont(8, 10, 10, 1);
    auto r0 = [](char c) { return cellColour(c - 'A', 0); };
    auto r1 = [](char c) { return cellColour(c - 40, 1); };
    struct Case {
        const char* text;
        TBitmapFontLayout layout;
        int maxChar;
        int width;
        std::vector<QRgb> cells;
    };
    const Case cases[] = {
        {"Connected", TBitmapFontLayout::Status, 128, 73,
         {r0('C'), r0('O'), r0('N'), r0('N'), r0('E'), r0('C'), r0('T'), r0('E'), r0('D')}},
        {"home-3 messages", TBitmapFontLayout::Status, 128, 121,
         {r0('H'), r0('O'), r0('M'), r0('E'), r1('-'), r1('3'), M, r0('M'), r0('E'), r0('S'),
          r0('S'), r0('A'), r0('G'), r0('E'), r0('S')}},
        // Skipped characters do not advance: their cells end up at the end.
        {"a_b~z", TBitmapFontLayout::Status, 128, 41, {r0('A'), r0('B'), r0('Z'), M, M}},
        // Letters the font lacks show as their plain letters.
        {"\xc3\xa9t\xc3\xa9 \xc3\x85s \xc3\x9f\xc3\x98", TBitmapFontLayout::Status, 128, 81,
         {r0('E'), r0('T'), r0('E'), M, r0('A'), r0('S'), M, r0('S'), r0('S'), r0('O')}},
        {"Disconnected", TBitmapFontLayout::Status, 5, 41,
         {r0('D'), r0('I'), r0('S'), r0('C'), r0('O')}},
        {"(@)", TBitmapFontLayout::Status, 128, 25, {r1('('), r1('@'), r1(')')}},
        {"3 05", TBitmapFontLayout::Digits, 128, 33,
         {cellColour(3, 0), M, cellColour(0, 0), cellColour(5, 0)}},
        // Letters and "-" fall outside the digit strip: nothing shows there.
        {"-A", TBitmapFontLayout::Digits, 128, 17, {M, M}},
        {"anything", TBitmapFontLayout::Status, -3, 1, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const QImage& font = c.layout == TBitmapFontLayout::Status ? status : digits;
        const QImage img = RenderBitmapText(QString::fromUtf8(c.text), 8, 10, font, c.layout, c.maxChar);
        ASSERT_EQ(img.size(), QSize(c.width, 10));
        expectCells(img, 8, c.cells);
    }
}

TEST(RenderBitmapText, OddSizesNeitherCrashNorAllocateWildly)
{
    qtTestApp();
    const QImage font = gridFont(8, 10, 26, 2);
    // A font smaller than its grid: the missing part of a cell stays magenta.
    const QImage small = font.copy(0, 0, 8 * 26, 15);
    QImage img = RenderBitmapText("A(", 8, 10, small, TBitmapFontLayout::Status, 128);
    EXPECT_EQ(img.pixel(9, 0), cellColour(1 - 1 + 0, 1)); // "(" row 1 top part exists
    EXPECT_EQ(img.pixel(9, 9), M);
    // Missing size key: nothing visible.
    EXPECT_TRUE(RenderBitmapText("ABC", 0, 0, font, TBitmapFontLayout::Status, 128).isNull());
    EXPECT_TRUE(RenderBitmapText("ABC", -5, 10, font, TBitmapFontLayout::Status, 128).isNull());
    // A mistyped cell size is refused instead of asking for gigabytes.
    EXPECT_THROW(RenderBitmapText("ABC", 2000000000, 10, font, TBitmapFontLayout::Status, 128),
                 std::exception);
    EXPECT_THROW(RenderBitmapText("ABC", 8, 100000, font, TBitmapFontLayout::Status, 128),
                 std::exception);
    // Each side within its bound, the area not: refused with the cell size named.
    try {
        RenderBitmapText("Checking", 3640, 32767, font, TBitmapFontLayout::Status, 128);
        ADD_FAILURE() << "a picture of gigabytes was drawn";
    } catch (const std::exception& e) {
        EXPECT_STREQ(e.what(), "Bitmap text too large: cell size 3640 x 32767");
    }
    // A tall status line of normal width still draws.
    EXPECT_EQ(RenderBitmapText("AB", 8, 30000, font, TBitmapFontLayout::Status, 128).height(), 30000);
}

class StatePictures : public testing::Test {
protected:
    void SetUp() override
    {
        qtTestApp();
        CurrentSkinDir = TOLMU_SOURCE_DIR "/assets/skins/default/";
        ReadSkin();
        skin = SkinSettings;
        for (TSkinPicture** p : {&view.STATBMP, &view.NBMSGBMP, &view.Online, &view.FLAG})
            *p = new TSkinPicture(&window);
        view.SetTrayIcon = [this](TTrayState s) { tray.push_back(s); };
    }

    QApplication& app = qtTestApp(); // before any widget
    TSkinSettings skin;
    QWidget window;
    TStateView view;
    std::vector<TTrayState> tray;
};

TEST_F(StatePictures, OfflineShowsZero)
{
    const bool online = false;
    view.NBMSGBMP->setToolTip("NB Messages");
    ShowConnectionState(skin, view, online, 7);
    const int cw = skin.status.size.first;
    EXPECT_EQ(view.STATBMP->size(), QSize(12 * cw + 1, skin.status.size.second));
    EXPECT_EQ(view.STATBMP->toolTip(), "Disconnected");
    EXPECT_EQ(view.NBMSGBMP->width(), skin.nbmsg.size.first + 1) << "shows 0, not 7";
    EXPECT_EQ(view.NBMSGBMP->toolTip(), "NB Messages") << "the count never gets a hint";
    EXPECT_EQ(view.Online->toolTip(), "Disconnected");
    EXPECT_EQ(tray, std::vector<TTrayState>{TTrayState::Offline});
    EXPECT_EQ(view.Online->Picture().size(), LoadSkinBitmap(QString::fromStdString(skin.online.notonlinebmp)).size());
    EXPECT_FALSE(view.FLAG->Picture().isNull());
}

TEST_F(StatePictures, OnlineShowsConnectedAndTheCount)
{
    const bool online = true;
    ShowConnectionState(skin, view, online, 12);
    EXPECT_EQ(view.STATBMP->toolTip(), "Connected");
    EXPECT_EQ(view.NBMSGBMP->width(), 2 * skin.nbmsg.size.first + 1);
    EXPECT_EQ(view.Online->toolTip(), "Connected");
    EXPECT_EQ(tray, std::vector<TTrayState>{TTrayState::Online});
}

// A nested event loop inside drawing would run a queued job's end in the
// middle of a state change (and paint a half-drawn window): none runs.
TEST_F(StatePictures, DrawingRunsNoQueuedCall)
{
    bool ran = false;
    QMetaObject::invokeMethod(&window, [&ran] { ran = true; }, Qt::QueuedConnection);
    for (const bool online : {false, true})
        ShowConnectionState(skin, view, online, 3);
    EXPECT_FALSE(ran);
    QCoreApplication::processEvents();
    EXPECT_TRUE(ran);
}

TEST_F(StatePictures, MessageCountText)
{
    EXPECT_EQ(MessageCountText("home", 1), "home-1 message");
    EXPECT_EQ(MessageCountText("home", 2), "home-2 messages");
    ShowMessageCount(skin, *view.STATBMP, "home", 3);
    EXPECT_EQ(view.STATBMP->toolTip(), "home-3 messages");
    EXPECT_EQ(view.STATBMP->width(), 15 * skin.status.size.first + 1);
}

TEST_F(StatePictures, MissingFontThrowsAfterTheHintChanged)
{
    ShowMessageCount(skin, *view.STATBMP, "home", 3);
    ASSERT_FALSE(view.STATBMP->Picture().isNull());
    EXPECT_THROW(DrawBitmapText(*view.STATBMP, "Checking", 8, 10, skin.status.fontbmp + ".gone",
                                TBitmapFontLayout::Status, 128),
                 std::exception);
    EXPECT_EQ(view.STATBMP->toolTip(), "Checking");
    EXPECT_TRUE(view.STATBMP->Picture().isNull());
}

TEST(BitmapTextOnWindow, BackgroundShowsThroughTheMagenta)
{
    qtTestApp();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString fontFile = dir.filePath("font.bmp");
    ASSERT_TRUE(gridFont(8, 10, 26, 2).save(fontFile, "BMP"));

    // A parent that paints a window bitmap of one colour.
    class Ground : public QWidget {
    protected:
        void paintEvent(QPaintEvent*) override { QPainter(this).fillRect(rect(), QColor(0, 0, 200)); }
    } ground;
    ground.resize(120, 30);
    TSkinPicture picture(&ground);
    picture.move(5, 5);
    DrawBitmapText(picture, "A B", 8, 10, fontFile.toStdString(), TBitmapFontLayout::Status, 128);
    const QImage shot = ground.grab().toImage();
    EXPECT_EQ(shot.pixel(5, 5), qRgb(0, 0, 200)) << "column 0 of the text";
    EXPECT_EQ(shot.pixel(6, 5), cellColour(0, 0)) << "the A";
    EXPECT_EQ(shot.pixel(14, 5), qRgb(0, 0, 200)) << "the blank";
    EXPECT_EQ(shot.pixel(22, 14), cellColour(1, 0)) << "the B";
}

TEST(BundledSkins, LoadThroughTheSkinReaderWithEveryPicture)
{
    qtTestApp();
    for (const char* name : {"default", "sunrise"}) {
        SCOPED_TRACE(name);
        CurrentSkinDir = std::string(TOLMU_SOURCE_DIR "/assets/skins/") + name + "/";
        SkinSettings = TSkinSettings();
        ReadSkin();
        const TSkinSettings& s = SkinSettings;
        EXPECT_FALSE(NoMsgWindow);
        const std::string files[] = {
            s.background.main, s.background.msgbkng, s.connect.cnxbtnnormal,
            s.connect.cnxbtnselect, s.disconnect.disbtnnormal, s.disconnect.disbtnselect,
            s.online.onlinebmp, s.online.notonlinebmp, s.mailclient.runmailnormal,
            s.mailclient.runmailselect, s.readmsg.readbtnnormal, s.readmsg.readbtnselect,
            s.youhavemail.gotmail, s.youhavemail.nomail, s.nbmsg.nbmsgbmp, s.status.fontbmp,
            s.memo_msgwindow.prevbtnnormal, s.memo_msgwindow.prevbtnselect,
            s.memo_msgwindow.nextbtnnormal, s.memo_msgwindow.nextbtnselect,
            s.memo_msgwindow.replybtnnormal, s.memo_msgwindow.replybtnselect,
            s.memo_msgwindow.deletebtnnormal, s.memo_msgwindow.deletebtnselect,
            s.memo_msgwindow.closebtnnormal, s.memo_msgwindow.closebtnselect};
        for (const std::string& f : files)
            EXPECT_FALSE(LoadSkinBitmap(QString::fromStdString(f)).isNull()) << f;
        EXPECT_NE(s.online.onlinebmp, s.online.notonlinebmp);
        // The fonts hold their whole grids.
        const QImage letters = LoadSkinBitmap(QString::fromStdString(s.status.fontbmp));
        EXPECT_GE(letters.width(), 26 * s.status.size.first);
        EXPECT_GE(letters.height(), 2 * s.status.size.second);
        const QImage digits = LoadSkinBitmap(QString::fromStdString(s.nbmsg.nbmsgbmp));
        EXPECT_GE(digits.width(), 10 * s.nbmsg.size.first);
        EXPECT_GE(digits.height(), s.nbmsg.size.second);
        // "Connected" fits the status room the skin gives it.
        EXPECT_GE(s.status.maxchar, 15);
        const TSkinInfo info = ReadSkinInfo(CurrentSkinDir + "skin.ini");
        EXPECT_FALSE(info.name.empty());
        EXPECT_FALSE(info.author.empty());
        EXPECT_FALSE(info.info.empty());
    }
}

TEST_F(StatePictures, UnloadableStatePicturesEndTheProgramWithTheirMessage)
{
    testing::FLAGS_gtest_death_test_style = "threadsafe";
    const struct {
        const char* name;
        std::function<void(TSkinSettings&)> breakIt;
        bool online;
        const char* message;
        bool closes;
    } cases[] = {
        {"nomail", [](TSkinSettings& s) { s.youhavemail.nomail += ".gone"; }, false,
         "Invalid file for section \\[youhavemail\\]\nOnline= ... in Skin.ini", true},
        {"onlinebmp", [](TSkinSettings& s) { s.online.onlinebmp += ".gone"; }, true,
         "Invalid file for section \\[Online\\]\nOnline= ... in Skin.ini", true},
        {"notonlinebmp", [](TSkinSettings& s) { s.online.notonlinebmp += ".gone"; }, false,
         "Invalid file for section \\[Online\\]\nNotOnline= ... in Skin.ini", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TSkinSettings broken = skin;
        c.breakIt(broken);
        view.CloseConnection = [] { std::fputs("connection closed\n", stderr); };
        bool online = c.online;
        const std::string pattern = std::string(c.closes ? "connection closed\n" : "") + c.message;
        EXPECT_EXIT(ShowConnectionState(broken, view, online, 1), testing::ExitedWithCode(1),
                    pattern);
    }
}

// An icon theme in dir named name, holding a 32 px status icon for each of
// icons.
static void writeIconTheme(const QString& dir, const QString& name, const QStringList& icons)
{
    const QString root = dir + "/" + name;
    QDir().mkpath(root + "/32x32/status");
    QFile index(root + "/index.theme");
    ASSERT_TRUE(index.open(QIODevice::WriteOnly));
    index.write("[Icon Theme]\nName=" + name.toUtf8() + "\nDirectories=32x32/status\n\n"
                "[32x32/status]\nSize=32\nContext=Status\nType=Fixed\n");
    for (const QString& icon : icons) {
        QImage picture(32, 32, QImage::Format_ARGB32);
        picture.fill(Qt::darkGreen);
        ASSERT_TRUE(picture.save(root + "/32x32/status/" + icon + ".png"));
    }
}

TEST(TrayIconFor, ThemeIconsThenSkinIconsThenBuiltInOnes)
{
    qtTestApp();
    QTemporaryDir themes;
    writeIconTheme(themes.path(), "empty", {});
    writeIconTheme(themes.path(), "mailonly", {"mail-unread"});
    writeIconTheme(themes.path(), "full", {"network-offline", "mail-read", "mail-unread"});
    QIcon::setThemeSearchPaths({themes.path()});
    const std::string bundled = TOLMU_SOURCE_DIR "/assets/skins/default/";
    const std::string bare = TOLMU_SOURCE_DIR "/assets/skins/no-such-skin/";
    const auto skinPicture = [&](const char* file) {
        return QImage(QString::fromStdString(bundled + file)).convertToFormat(QImage::Format_ARGB32);
    };
    // source: the theme icon's name, "skin" (the skin's file) or "built-in".
    struct Row {
        const char* theme;
        std::string skinDir;
        TTrayState state;
        const char* source;
        const char* skinFile;
    };
    const Row rows[] = {
        {"empty", bundled, TTrayState::Offline, "skin", "tray_offline.png"},
        {"empty", bundled, TTrayState::Online, "skin", "tray_online.png"},
        {"empty", bundled, TTrayState::NewMail, "skin", "tray_mail.png"},
        {"empty", bare, TTrayState::NewMail, "built-in", nullptr},
        {"mailonly", bundled, TTrayState::NewMail, "mail-unread", nullptr},
        {"mailonly", bundled, TTrayState::Online, "skin", "tray_online.png"},
        {"mailonly", bare, TTrayState::Offline, "built-in", nullptr},
        {"full", bare, TTrayState::Offline, "network-offline", nullptr},
        {"full", bundled, TTrayState::Online, "mail-read", nullptr},
        {"full", bundled, TTrayState::NewMail, "mail-unread", nullptr},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(std::string(r.theme) + " " + r.skinDir + " " + r.source);
        QIcon::setThemeName(QString::fromLatin1(r.theme));
        const QIcon icon = TrayIconFor(r.state, r.skinDir);
        ASSERT_FALSE(icon.isNull());
        const std::string source = r.source;
        if (source == "skin" || source == "built-in") {
            EXPECT_EQ(icon.name(), "");
            EXPECT_EQ(icon.availableSizes().value(0), QSize(32, 32));
        } else {
            EXPECT_EQ(icon.name().toStdString(), source);
        }
        if (r.skinFile)
            EXPECT_EQ(icon.pixmap(32, 32).toImage().convertToFormat(QImage::Format_ARGB32), skinPicture(r.skinFile));
    }
    // Without theme icons the three states look different.
    QIcon::setThemeName(QStringLiteral("empty"));
    const auto image = [&](TTrayState s, const std::string& dir) { return TrayIconFor(s, dir).pixmap(32, 32).toImage(); };
    for (const std::string& dir : {bundled, bare}) {
        EXPECT_NE(image(TTrayState::Offline, dir), image(TTrayState::Online, dir));
        EXPECT_NE(image(TTrayState::Online, dir), image(TTrayState::NewMail, dir));
    }
}
