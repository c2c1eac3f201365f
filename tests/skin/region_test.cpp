// SPDX-License-Identifier: GPL-3.0-or-later
// Window outlines: BitmapToRegion against Qt's own mask route, and the
// shaping step of the skinned windows.
#include "skin/WinUtil.h"
#include "tests/skin/QtTestApp.h"

#include <QBitmap>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace {

const QRgb Opaque = qRgb(20, 40, 60);

QRegion qtRoute(const QImage& image)
{
    return QRegion(QBitmap::fromImage(image.createMaskFromColor(qRgb(255, 0, 255))));
}

QRegion ours(const QImage& image)
{
    const std::optional<QRegion> r = BitmapToRegion(&image, SkinMagenta, 0);
    EXPECT_TRUE(r.has_value());
    return r.value_or(QRegion());
}

QImage filled(int w, int h, QRgb c)
{
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(c);
    return img;
}

QImage randomImage(int w, int h, quint32 seed, int magentaPercent)
{
    QRandomGenerator rng(seed);
    QImage img = filled(w, h, Opaque);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (int(rng.bounded(100)) < magentaPercent)
                img.setPixel(x, y, SkinMagenta);
            else if (rng.bounded(4) == 0)
                img.setPixel(x, y, qRgb(255, 0, 254)); // near magenta is opaque
    return img;
}

} // namespace

TEST(BitmapToRegion, SameAsQtOnBundledBackgrounds)
{
    qtTestApp();
    for (const char* file : {"default/back.bmp", "default/msgback.bmp", "sunrise/back.bmp",
                             "sunrise/msgback.bmp"}) {
        SCOPED_TRACE(file);
        const QImage img = LoadSkinBitmap(QString(TOLMU_SOURCE_DIR "/assets/skins/") + file);
        ASSERT_FALSE(img.isNull());
        const QRegion r = ours(img);
        EXPECT_TRUE((r ^ qtRoute(img)).isEmpty());
        EXPECT_FALSE(r.isEmpty());
        // A real outline, not the whole rectangle.
        EXPECT_FALSE((r ^ QRegion(img.rect())).isEmpty());
    }
}

TEST(BitmapToRegion, SameAsQtOnRandomImages)
{
    qtTestApp();
    struct Case { int w, h, magenta; quint32 seed; };
    const Case cases[] = {{1, 1, 50, 1}, {7, 3, 50, 2}, {64, 64, 10, 3}, {64, 64, 90, 4},
                          {333, 47, 50, 5}, {300, 300, 50, 6} /* far over 2000 runs */};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << " seed " << c.seed);
        const QImage img = randomImage(c.w, c.h, c.seed, c.magenta);
        EXPECT_TRUE((ours(img) ^ qtRoute(img)).isEmpty());
    }
}

TEST(BitmapToRegion, DescribedCases)
{
    qtTestApp();
    // No magenta: the whole rectangle, one rectangle per row.
    QImage img = filled(40, 30, Opaque);
    QRegion r = ours(img);
    EXPECT_TRUE((r ^ QRegion(0, 0, 40, 30)).isEmpty());
    EXPECT_EQ(r.rectCount(), 30);

    // All magenta: an empty region, which is still a region.
    img = filled(40, 30, SkinMagenta);
    const std::optional<QRegion> none = BitmapToRegion(&img, SkinMagenta, 0);
    ASSERT_TRUE(none.has_value());
    EXPECT_TRUE(none->isEmpty());

    // Lone opaque pixel at a row's end.
    img.setPixel(39, 5, Opaque);
    r = ours(img);
    EXPECT_TRUE((r ^ QRegion(39, 5, 1, 1)).isEmpty());

    // Opaque, magenta, opaque: two rectangles on that row.
    img = filled(10, 1, Opaque);
    img.setPixel(4, 0, SkinMagenta);
    img.setPixel(5, 0, SkinMagenta);
    r = ours(img);
    EXPECT_EQ(r.rectCount(), 2);
    EXPECT_TRUE((r ^ (QRegion(0, 0, 4, 1) + QRegion(6, 0, 4, 1))).isEmpty());

    // No bitmap: no region at all.
    EXPECT_FALSE(BitmapToRegion(nullptr, SkinMagenta, 0).has_value());
    const QImage null;
    EXPECT_FALSE(BitmapToRegion(&null, SkinMagenta, 0).has_value());
}

TEST(BitmapToRegion, ManyRunsAreAllKept)
{
    qtTestApp();
    // A checkerboard: 5000 one-pixel runs, so the partial regions made at
    // each 2000th rectangle and at the end must all be united.
    QImage img = filled(100, 100, SkinMagenta);
    for (int y = 0; y < 100; ++y)
        for (int x = (y % 2); x < 100; x += 2)
            img.setPixel(x, y, Opaque);
    const QRegion r = ours(img);
    EXPECT_TRUE((r ^ qtRoute(img)).isEmpty());
    long area = 0;
    for (const QRect& rect : r)
        area += long(rect.width()) * rect.height();
    EXPECT_EQ(area, 5000);
}

TEST(BitmapToRegion, AnOutlineOfTooManyRectanglesIsCutOnCoarserCells)
{
    qtTestApp();
    // Patterns whose exact outline passes the bound: the window system and
    // the raster engine fail on millions of rectangles.
    struct Row {
        const char* name;
        int width, height;
        bool (*opaque)(int x, int y);
        int cellSize;
    } rows[] = {
        {"checkerboard", 500, 500, [](int x, int y) { return (x + y) % 2 == 0; }, 2},
        {"one-pixel stripes", 400, 600, [](int x, int) { return x % 2 == 0; }, 2},
        {"checkerboard of 2x2 blocks", 1000, 1000, [](int x, int y) { return (x / 2 + y / 2) % 2 == 0; }, 4},
        {"odd size", 501, 401, [](int x, int y) { return (x + y) % 2 == 1; }, 2},
        {"at the bound", 500, 400, [](int x, int) { return x % 2 == 0; }, 1}, // 250 runs in 400 rows
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        QImage img = filled(r.width, r.height, SkinMagenta);
        for (int y = 0; y < r.height; ++y)
            for (int x = 0; x < r.width; ++x)
                if (r.opaque(x, y))
                    img.setPixel(x, y, Opaque);
        int cellSize = 0;
        const std::optional<QRegion> region = BitmapToRegion(&img, SkinMagenta, 0, &cellSize);
        ASSERT_TRUE(region.has_value());
        EXPECT_EQ(cellSize, r.cellSize);
        EXPECT_LE(region->rectCount(), MaxOutlineRects);
        // Every opaque pixel stays inside, and nothing outside the bitmap.
        EXPECT_TRUE((qtRoute(img) - *region).isEmpty());
        EXPECT_TRUE((*region - QRegion(img.rect())).isEmpty());
    }
}

TEST(BitmapToRegion, ToleranceWidensTheTransparentColour)
{
    qtTestApp();
    struct Case { QRgb pixel; QRgb key; QRgb tolerance; bool transparent; };
    const Case cases[] = {
        {qRgb(255, 0, 255), SkinMagenta, 0, true},
        {qRgb(255, 0, 254), SkinMagenta, 0, false},
        {qRgb(255, 0, 255), qRgb(250, 0, 250), qRgb(5, 0, 5), true},
        {qRgb(249, 0, 250), qRgb(250, 0, 250), qRgb(5, 0, 5), false},
        {qRgb(255, 3, 255), qRgb(250, 0, 250), qRgb(5, 2, 5), false},
        {qRgb(255, 255, 255), qRgb(200, 200, 200), qRgb(100, 100, 100), true}, // capped at 255
        {qRgb(10, 20, 30), qRgb(10, 20, 30), 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.pixel << " key " << c.key);
        QImage img = filled(3, 1, Opaque);
        img.setPixel(1, 0, c.pixel);
        const std::optional<QRegion> r = BitmapToRegion(&img, c.key, c.tolerance);
        ASSERT_TRUE(r.has_value());
        EXPECT_EQ(!r->contains(QPoint(1, 0)), c.transparent);
    }
}

TEST(ShapeWindow, SizesAndCutsTheWindowToItsBackground)
{
    qtTestApp();
    const QString file = TOLMU_SOURCE_DIR "/assets/skins/default/back.bmp";
    QWidget window;
    const QImage bg = ShapeWindow(window, file);
    ASSERT_FALSE(bg.isNull());
    EXPECT_EQ(window.size(), bg.size());
    EXPECT_TRUE((window.mask() ^ qtRoute(bg)).isEmpty());

    // A second shaping with the same file changes nothing.
    const QRegion before = window.mask();
    ShapeWindow(window, file);
    EXPECT_EQ(window.mask(), before);

    // A file that is not there leaves the window as it was.
    QWidget other;
    other.resize(50, 40);
    EXPECT_TRUE(ShapeWindow(other, TOLMU_SOURCE_DIR "/assets/skins/default/nothere.bmp").isNull());
    EXPECT_EQ(other.size(), QSize(50, 40));
    EXPECT_TRUE(other.mask().isEmpty());
}

TEST(LoadSkinBitmap, FindsNamesWrittenInAnotherCase)
{
    qtTestApp();
    EXPECT_FALSE(LoadSkinBitmap(TOLMU_SOURCE_DIR "/assets/skins/default/BACK.BMP").isNull());
    EXPECT_THROW(LoadSkinBitmapOrThrow(TOLMU_SOURCE_DIR "/assets/skins/default/skin.ini"),
                 std::exception); // not a picture
    EXPECT_THROW(LoadSkinBitmapOrThrow(TOLMU_SOURCE_DIR "/assets/skins/default/none"),
                 std::exception);
}

TEST(ShapeWindow, AllMagentaBackgroundShowsNothing)
{
    qtTestApp();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString file = dir.filePath("empty.bmp");
    ASSERT_TRUE(filled(30, 20, SkinMagenta).save(file, "BMP"));
    QWidget window;
    ASSERT_FALSE(ShapeWindow(window, file).isNull());
    // Qt reads an empty mask as "no mask", which would show the magenta.
    EXPECT_FALSE(window.mask().isEmpty());
    EXPECT_TRUE(window.mask().intersected(window.rect()).isEmpty());
}

TEST(TShapedWindow, ShowsInTheOutlineOfItsBackground)
{
    qtTestApp();
    class Window : public TShapedWindow {
    public:
        int missing = 0;

    protected:
        void BackgroundMissing() override { ++missing; }
    };
    const QString file = TOLMU_SOURCE_DIR "/assets/skins/sunrise/back.bmp";
    const QImage bg = LoadSkinBitmap(file);
    Window window;
    window.SetBackgroundFile(file);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QCoreApplication::processEvents();
    EXPECT_EQ(window.size(), bg.size());
    EXPECT_TRUE((window.mask() ^ qtRoute(bg)).isEmpty());
    EXPECT_EQ(window.grab().toImage().convertToFormat(QImage::Format_RGB32).pixel(114, 60),
              bg.pixel(114, 60));
    EXPECT_EQ(window.missing, 0);

    // The file is read at every paint: a background gone from disk is noticed.
    window.SetBackgroundFile(TOLMU_SOURCE_DIR "/assets/skins/sunrise/gone.bmp");
    window.repaint();
    EXPECT_GE(window.missing, 1);
    EXPECT_EQ(window.size(), bg.size());
}
