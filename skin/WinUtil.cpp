// SPDX-License-Identifier: GPL-3.0-or-later
#include "skin/WinUtil.h"

#include "base/Exception.h"
#include "skin/file/SkinFile.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QEvent>
#include <QFileInfo>
#include <QImageReader>
#include <QMouseEvent>
#include <QPainter>
#include <QThread>
#include <QWindow>

#include <algorithm>
#include <vector>

namespace {

// Rectangles handed to one region request; bounds the size of each request.
constexpr int FlushEvery = 2000;
// The rectangle buffer grows by this many at a time.
constexpr int GrowBy = 100;

struct ChannelBounds {
    int lowR, lowG, lowB, highR, highG, highB;

    bool transparent(QRgb p) const
    {
        const int r = qRed(p), g = qGreen(p), b = qBlue(p);
        return r >= lowR && r <= highR && g >= lowG && g <= highG && b >= lowB && b <= highB;
    }
};

// Collects runs and turns them into regions FlushEvery rectangles at a time.
// Gives up (full() turns true) past MaxOutlineRects rectangles.
class RunCollector {
public:
    RunCollector() { m_rects.reserve(GrowBy); }

    void add(int x0, int y, int x1, int height = 1)
    {
        if (++m_count > MaxOutlineRects)
            return;
        if (m_rects.size() == m_rects.capacity())
            m_rects.reserve(m_rects.capacity() + GrowBy);
        m_rects.emplace_back(x0, y, x1 - x0, height);
        if (m_rects.size() == FlushEvery)
            flush();
    }

    bool full() const { return m_count > MaxOutlineRects; }

    QRegion finish()
    {
        flush();
        return m_result;
    }

private:
    void flush()
    {
        QRegion part;
        // Runs come row by row, left to right, never touching: exactly the
        // sorted, non-overlapping band layout that setRects takes as is.
        if (!m_rects.empty())
            part.setRects(m_rects.data(), int(m_rects.size()));
        if (m_first) {
            m_result = part;
            m_first = false;
        } else if (!part.isEmpty()) {
            // In place: the parts come in order, so Qt appends instead of
            // merging, and the result is not copied for every part.
            m_result += part;
        }
        m_rects.clear();
    }

    std::vector<QRect> m_rects;
    QRegion m_result;
    long m_count = 0;
    bool m_first = true;
};

// The exact outline, or nothing once it passes MaxOutlineRects.
template <typename IsTransparent>
std::optional<QRegion> scanRuns(const QImage& img, IsTransparent isTransparent)
{
    RunCollector runs;
    const int w = img.width();
    const int h = img.height();
    for (int y = 0; y < h && !runs.full(); ++y) {
        const QRgb* row = reinterpret_cast<const QRgb*>(img.constScanLine(y));
        int x = 0;
        while (x < w) {
            const int x0 = x;
            while (x < w && !isTransparent(row[x]))
                ++x;
            if (x > x0)
                runs.add(x0, y, x);
            ++x;
        }
    }
    if (runs.full())
        return std::nullopt;
    return runs.finish();
}

// Which cells of a grid over the bitmap hold an opaque pixel: cell (x, y)
// covers the pixels [x * size, (x + 1) * size) by [y * size, ...).
struct CellGrid {
    int size = 1;
    int columns = 0, rows = 0;
    std::vector<unsigned char> opaque; // row by row

    // The grid of cells twice as wide and high.
    CellGrid coarser() const
    {
        CellGrid g;
        g.size = size * 2;
        g.columns = (columns + 1) / 2;
        g.rows = (rows + 1) / 2;
        g.opaque.assign(std::size_t(g.columns) * std::size_t(g.rows), 0);
        for (int y = 0; y < rows; ++y)
            for (int x = 0; x < columns; ++x)
                if (opaque[std::size_t(y) * std::size_t(columns) + std::size_t(x)])
                    g.opaque[std::size_t(y / 2) * std::size_t(g.columns) + std::size_t(x / 2)] = 1;
        return g;
    }

    // The cells' outline in pixels (cut to width x height), or nothing once
    // it passes MaxOutlineRects.
    std::optional<QRegion> outline(int width, int height) const
    {
        RunCollector runs;
        for (int y = 0; y < rows && !runs.full(); ++y) {
            const unsigned char* row = opaque.data() + std::size_t(y) * std::size_t(columns);
            const int top = y * size;
            const int cellHeight = std::min(size, height - top);
            int x = 0;
            while (x < columns) {
                const int x0 = x;
                while (x < columns && row[x])
                    ++x;
                if (x > x0)
                    runs.add(x0 * size, top, std::min(x * size, width), cellHeight);
                ++x;
            }
        }
        if (runs.full())
            return std::nullopt;
        return runs.finish();
    }
};

// An outline of at most MaxOutlineRects rectangles on cells of 2, 4, 8 ...
// pixels, each cell whole when any of its pixels is opaque: the window keeps
// its rough shape, and every opaque pixel stays inside it.
template <typename IsTransparent>
QRegion coarseRuns(const QImage& img, IsTransparent isTransparent, int& cellSize)
{
    CellGrid grid;
    grid.columns = img.width();
    grid.rows = img.height();
    grid.opaque.resize(std::size_t(grid.columns) * std::size_t(grid.rows));
    for (int y = 0; y < grid.rows; ++y) {
        const QRgb* row = reinterpret_cast<const QRgb*>(img.constScanLine(y));
        for (int x = 0; x < grid.columns; ++x)
            grid.opaque[std::size_t(y) * std::size_t(grid.columns) + std::size_t(x)] = !isTransparent(row[x]);
    }
    // Each halving of the grid at least halves the rows of cells, so this
    // ends: a grid of one row holds at most half its width in runs.
    for (;;) {
        grid = grid.coarser();
        if (std::optional<QRegion> r = grid.outline(img.width(), img.height())) {
            cellSize = grid.size;
            return *r;
        }
    }
}

template <typename IsTransparent>
QRegion boundedRuns(const QImage& img, IsTransparent isTransparent, int& cellSize)
{
    if (std::optional<QRegion> exact = scanRuns(img, isTransparent)) {
        cellSize = 1;
        return *exact;
    }
    return coarseRuns(img, isTransparent, cellSize);
}

} // namespace

std::optional<QRegion> BitmapToRegion(const QImage* bitmap, QRgb transparentColour,
                                      QRgb tolerance, int* cellSize)
{
    if (!bitmap || bitmap->isNull())
        return std::nullopt;
    // One 32-bit word per pixel, as the scan reads it.
    QImage img = *bitmap;
    if (img.format() != QImage::Format_RGB32 && img.format() != QImage::Format_ARGB32)
        img = img.convertToFormat(QImage::Format_RGB32);
    if (img.isNull())
        return std::nullopt;

    int cell = 1;
    int& size = cellSize ? *cellSize : cell;
    const ChannelBounds b{qRed(transparentColour),
                          qGreen(transparentColour),
                          qBlue(transparentColour),
                          std::min(255, qRed(transparentColour) + qRed(tolerance)),
                          std::min(255, qGreen(transparentColour) + qGreen(tolerance)),
                          std::min(255, qBlue(transparentColour) + qBlue(tolerance))};
    if ((tolerance & 0xffffff) == 0) {
        // RGB32 pixels always carry alpha 255, so whole words compare.
        if (img.format() == QImage::Format_RGB32) {
            const QRgb key = transparentColour | 0xff000000;
            return boundedRuns(img, [key](QRgb p) { return p == key; }, size);
        }
        const QRgb key = transparentColour & 0xffffff;
        return boundedRuns(img, [key](QRgb p) { return (p & 0xffffff) == key; }, size);
    }
    return boundedRuns(img, [&b](QRgb p) { return b.transparent(p); }, size);
}

void DrawTransparentBitmap(QPainter& canvas, const QImage& bitmap, int x, int y,
                           QRgb maskColour)
{
    if (bitmap.isNull())
        return;
    QImage copy = bitmap.convertToFormat(QImage::Format_ARGB32);
    const QRgb key = maskColour & 0xffffff;
    for (int row = 0; row < copy.height(); ++row) {
        QRgb* p = reinterpret_cast<QRgb*>(copy.scanLine(row));
        for (int col = 0; col < copy.width(); ++col)
            p[col] = (p[col] & 0xffffff) == key ? 0 : (p[col] | 0xff000000);
    }
    canvas.drawImage(x, y, copy);
}

QImage LoadSkinBitmap(const QString& path)
{
    if (path.isEmpty())
        return {};
    const QString found = QString::fromStdString(FindFileIgnoringCase(path.toStdString()));
    if (!QFileInfo(found).isFile())
        return {};
    return QImageReader(found).read();
}

QImage LoadSkinBitmapOrThrow(const QString& path)
{
    const QString found = QString::fromStdString(FindFileIgnoringCase(path.toStdString()));
    if (!QFileInfo(found).isFile())
        throw Exception("Cannot open file \"" + path.toStdString()
                        + "\". No such file or directory");
    // Read directly: the name is already found, LoadSkinBitmap would look again.
    const QImage img = QImageReader(found).read();
    if (img.isNull())
        throw Exception("Bitmap image is not valid: \"" + path.toStdString() + "\"");
    return img;
}

namespace {

// The background of file and its outline, taken from kept while the file on
// disk is unchanged.
void loadShape(const QString& file, TWindowShape& kept)
{
    const QFileInfo info(QString::fromStdString(FindFileIgnoringCase(file.toStdString())));
    const QDateTime modified = info.lastModified();
    if (kept.path == file && !kept.background.isNull() && kept.modified == modified && kept.size == info.size())
        return;
    kept.path = file;
    kept.modified = modified;
    kept.size = info.size();
    kept.background = LoadSkinBitmap(file);
    kept.region = kept.background.isNull() ? std::nullopt : BitmapToRegion(&kept.background, SkinMagenta, 0);
}

} // namespace

QImage ShapeWindow(QWidget& window, const QString& file, TWindowShape* kept)
{
    TWindowShape fresh;
    TWindowShape& shape = kept ? *kept : fresh;
    loadShape(file, shape);
    const QImage& background = shape.background;
    if (background.isNull())
        return background;
    window.resize(background.size());
    const std::optional<QRegion>& region = shape.region;
    if (!region)
        window.clearMask();
    else if (region->isEmpty())
        // An empty mask means "no mask" to Qt; a region wholly outside the
        // window keeps an all-magenta background invisible instead.
        window.setMask(QRegion(-1, -1, 1, 1));
    else
        window.setMask(*region); // unchanged masks are ignored, so repaints do not loop
    return background;
}

void RequireInterfaceThread(const char* what)
{
    const QCoreApplication* app = QCoreApplication::instance();
    if (app && QThread::currentThread() != app->thread())
        qFatal("%s used outside the interface thread", what);
}

void MakeModalTo(QWidget& window, QWidget* owner)
{
    if (!owner) {
        window.setWindowModality(Qt::ApplicationModal);
        return;
    }
    QWidget* const top = owner->window();
    window.setWindowModality(Qt::WindowModal);
    window.winId(); // the native windows exist from here on
    top->winId();
    window.windowHandle()->setTransientParent(top->windowHandle());
}

TShapedWindow::TShapedWindow(QWidget* parent) : QWidget(parent)
{
    setWindowFlag(Qt::FramelessWindowHint);
}

void TShapedWindow::SetBackgroundFile(const QString& file)
{
    m_backgroundFile = file;
    update();
}

QImage TShapedWindow::Reshape()
{
    return ShapeWindow(*this, m_backgroundFile, &m_shape);
}

void TShapedWindow::paintEvent(QPaintEvent*)
{
    const QImage background = Reshape();
    if (background.isNull()) {
        BackgroundMissing();
        return;
    }
    QPainter painter(this);
    painter.drawImage(0, 0, background);
}

void TShapedWindow::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        update();
    QWidget::changeEvent(event);
}

void TShapedWindow::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && event->buttons() == Qt::LeftButton &&
        event->modifiers() == Qt::NoModifier)
        DragOrigin = event->globalPosition().toPoint();
}

void TShapedWindow::mouseMoveEvent(QMouseEvent* event)
{
    if (event->buttons() != Qt::LeftButton || event->modifiers() != Qt::NoModifier)
        return;
    const QPoint p = event->globalPosition().toPoint();
    move(x() + (p.x() - DragOrigin.x()), y() + (p.y() - DragOrigin.y()));
    DragOrigin = p;
}
