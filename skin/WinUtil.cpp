#include "skin/WinUtil.h"

#include "base/Exception.h"
#include "skin/file/SkinFile.h"

#include <QDateTime>
#include <QEvent>
#include <QFileInfo>
#include <QImageReader>
#include <QMouseEvent>
#include <QPainter>
#include <QWindow>

#include <algorithm>
#include <array>
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
class RunCollector {
public:
    RunCollector() { m_rects.reserve(GrowBy); }

    void add(int x0, int y, int x1)
    {
        if (m_rects.size() == m_rects.capacity())
            m_rects.reserve(m_rects.capacity() + GrowBy);
        m_rects.emplace_back(x0, y, x1 - x0, 1);
        if (m_rects.size() == FlushEvery)
            flush();
    }

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
    bool m_first = true;
};

template <typename IsTransparent>
QRegion scanRuns(const QImage& img, IsTransparent isTransparent)
{
    RunCollector runs;
    const int w = img.width();
    const int h = img.height();
    for (int y = 0; y < h; ++y) {
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
    return runs.finish();
}

} // namespace

std::optional<QRegion> BitmapToRegion(const QImage* bitmap, QRgb transparentColour,
                                      QRgb tolerance)
{
    if (!bitmap || bitmap->isNull())
        return std::nullopt;
    // One 32-bit word per pixel, as the scan reads it.
    QImage img = *bitmap;
    if (img.format() != QImage::Format_RGB32 && img.format() != QImage::Format_ARGB32)
        img = img.convertToFormat(QImage::Format_RGB32);
    if (img.isNull())
        return std::nullopt;

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
            return scanRuns(img, [key](QRgb p) { return p == key; });
        }
        const QRgb key = transparentColour & 0xffffff;
        return scanRuns(img, [key](QRgb p) { return (p & 0xffffff) == key; });
    }
    return scanRuns(img, [&b](QRgb p) { return b.transparent(p); });
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

// A background and its outline, kept while the file on disk stays the same:
// every paint shapes the window again, but decoding the bitmap and building
// its region again for an unchanged file would only cost time.
struct Shape {
    QString path;
    QDateTime modified;
    qint64 size = -1;
    QImage background;
    std::optional<QRegion> region;
};

const Shape& loadShape(const QString& file)
{
    static std::array<Shape, 4> cache; // main and message window, and a preview each
    static std::size_t next = 0;
    const QFileInfo info(QString::fromStdString(FindFileIgnoringCase(file.toStdString())));
    const QDateTime modified = info.lastModified();
    for (const Shape& s : cache)
        if (s.path == file && !s.background.isNull() && s.modified == modified && s.size == info.size())
            return s;
    Shape& s = cache[next++ % cache.size()];
    s.path = file;
    s.modified = modified;
    s.size = info.size();
    s.background = LoadSkinBitmap(file);
    s.region = s.background.isNull() ? std::nullopt : BitmapToRegion(&s.background, SkinMagenta, 0);
    return s;
}

} // namespace

QImage ShapeWindow(QWidget& window, const QString& file)
{
    const Shape& shape = loadShape(file);
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

void TShapedWindow::paintEvent(QPaintEvent*)
{
    const QImage background = ShapeWindow(*this, m_backgroundFile);
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
