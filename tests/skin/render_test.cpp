// SPDX-License-Identifier: GPL-3.0-or-later
// tolmu --render-skin: a PNG of the main window, or of the message window,
// in its outline.
#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

TEST(RenderSkin, WritesTheMainWindowInItsOutline)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    struct Row {
        const char* skin;
        const char* background;
        const char* option;
    } rows[] = {{"default", "back.bmp", ""}, {"sunrise", "back.bmp", ""},
                {"default", "msgback.bmp", " --message-window"}, {"sunrise", "msgback.bmp", " --message-window"}};
    for (const Row& r : rows) {
        SCOPED_TRACE(std::string(r.skin) + r.option);
        const std::string out = dir.filePath(QString(r.skin) + r.option + ".png").toStdString();
        const std::string skin = std::string(TOLMU_SOURCE_DIR "/assets/skins/") + r.skin;
        const std::string cmd = "env -u DISPLAY -u WAYLAND_DISPLAY '" TOLMU_BINARY_DIR
                                "/tolmu' --render-skin '" + skin + "' '" + out + "'" + r.option + " 2>/dev/null";
        ASSERT_EQ(std::system(cmd.c_str()), 0);
        const QImage shot(QString::fromStdString(out));
        const QImage back(QString::fromStdString(skin + "/" + r.background));
        ASSERT_FALSE(shot.isNull());
        EXPECT_EQ(shot.size(), back.size());
        int outside = 0;
        for (int y = 0; y < back.height(); ++y)
            for (int x = 0; x < back.width(); ++x) {
                const bool magenta = (back.pixel(x, y) & 0xffffff) == 0xff00ff;
                EXPECT_EQ(qAlpha(shot.pixel(x, y)), magenta ? 0 : 255) << x << "," << y;
                outside += magenta;
                if (HasFailure())
                    return;
            }
        EXPECT_GT(outside, 0);
    }
    // A directory that is not a skin fails with the reader's message.
    const std::string bad = "'" TOLMU_BINARY_DIR "/tolmu' --render-skin '"
                            + dir.path().toStdString() + "/none' '" + dir.path().toStdString()
                            + "/x.png' >/dev/null 2>&1";
    EXPECT_NE(std::system(bad.c_str()), 0);
}

TEST(RenderSkin, ACheckerboardOutlineIsDrawnOnCoarserCells)
{
    // A 1-bit checkerboard background: 1.1 million one-pixel runs, more than
    // the raster engine can clip with.
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString skin = dir.filePath("checkers");
    ASSERT_TRUE(QDir().mkpath(skin));
    const QDir bundled(TOLMU_SOURCE_DIR "/assets/skins/default");
    for (const QString& name : bundled.entryList(QDir::Files))
        ASSERT_TRUE(QFile::copy(bundled.filePath(name), skin + "/" + name));
    const int side = 1500;
    QImage checkers(side, side, QImage::Format_Mono);
    checkers.setColor(0, qRgb(255, 0, 255));
    checkers.setColor(1, qRgb(20, 30, 40));
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x)
            checkers.setPixel(x, y, (x + y) % 2);
    QFile::remove(skin + "/back.bmp");
    ASSERT_TRUE(checkers.save(skin + "/back.bmp", "BMP"));

    const std::string out = dir.filePath("checkers.png").toStdString();
    const std::string err = dir.filePath("err").toStdString();
    const std::string cmd = "env -u DISPLAY -u WAYLAND_DISPLAY '" TOLMU_BINARY_DIR "/tolmu' --render-skin '" +
                            skin.toStdString() + "' '" + out + "' 2>'" + err + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    QFile errFile(QString::fromStdString(err));
    ASSERT_TRUE(errFile.open(QIODevice::ReadOnly));
    EXPECT_TRUE(errFile.readAll().contains("cut on cells of 2 pixels"));
    const QImage shot(QString::fromStdString(out));
    ASSERT_EQ(shot.size(), QSize(side, side));
    for (int y = 0; y < side; y += 7) {
        for (int x = 0; x < side; x += 3) {
            if ((x + y) % 2 == 1) {
                ASSERT_EQ(qAlpha(shot.pixel(x, y)), 255) << x << "," << y;
            }
        }
    }
}
