// tolmu --render-skin: a PNG of the main window, or of the message window,
// in its outline.
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
