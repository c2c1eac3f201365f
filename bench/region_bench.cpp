// SPDX-License-Identifier: GPL-3.0-or-later
// Times BitmapToRegion against Qt's route (colour mask, bitmap, region) on a
// full-screen skin-like bitmap: a rounded outline with magenta outside, a
// round badge sticking out, magenta holes and anti-aliasing-like noise near
// the edges. Prints the median of several runs of each, in milliseconds.
// Usage: bench_region [RUNS]
#include "skin/WinUtil.h"

#include <QApplication>
#include <QBitmap>
#include <QElapsedTimer>
#include <QPainter>
#include <QPainterPath>
#include <QRandomGenerator>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

QImage skinLike()
{
    QImage img(1920, 1080, QImage::Format_RGB32);
    img.fill(SkinMagenta);
    QPainter p(&img);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(200, 120, 1680, 900), 120, 120);
    shape.addEllipse(QRectF(20, 20, 500, 500));
    QLinearGradient g(0, 0, 0, 1080);
    g.setColorAt(0, QColor(40, 50, 70));
    g.setColorAt(1, QColor(20, 25, 40));
    p.fillPath(shape, g);
    // Holes: a grid of magenta circles, as a skin with cut-out buttons.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 0, 255));
    for (int y = 300; y < 950; y += 90)
        for (int x = 600; x < 1800; x += 90)
            p.drawEllipse(QPointF(x, y), 30, 30);
    p.end();
    // Ragged, noisy edges.
    QRandomGenerator rng(42);
    for (int i = 0; i < 200000; ++i) {
        const int x = int(rng.bounded(1920));
        const int y = int(rng.bounded(1080));
        img.setPixel(x, y, rng.bounded(2) ? SkinMagenta : qRgb(30, 40, 60));
    }
    return img;
}

template <typename F>
double medianMs(int runs, F f)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        f();
        times.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
    const QImage img = skinLike();

    QRegion ours, qt;
    const double oursMs = medianMs(runs, [&] { ours = *BitmapToRegion(&img, SkinMagenta, 0); });
    const double qtMs = medianMs(runs, [&] {
        qt = QRegion(QBitmap::fromImage(img.createMaskFromColor(qRgb(255, 0, 255))));
    });
    const bool same = (ours ^ qt).isEmpty();
    std::printf("bitmap 1920x1080, %d runs, median\n", runs);
    std::printf("BitmapToRegion : %8.2f ms  (%d rectangles)\n", oursMs, ours.rectCount());
    std::printf("Qt mask route  : %8.2f ms  (%d rectangles)\n", qtMs, qt.rectCount());
    std::printf("same region    : %s\n", same ? "yes" : "NO");
    return same ? 0 : 1;
}
