// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Window outlines from skin bitmaps, and drawing with one colour left out.
#include <QDateTime>
#include <QImage>
#include <QRegion>
#include <QRgb>
#include <QString>
#include <QWidget>

#include <optional>

class QPainter;

// The one transparent colour of every skin bitmap.
inline constexpr QRgb SkinMagenta = 0xffff00ff;

// The most rectangles a window outline holds. The X server takes a shape of
// a few million rectangles in one request and Qt's raster engine clips with
// some hundred thousand, both slowly; a skin needs a few thousand at most.
inline constexpr int MaxOutlineRects = 100000;

// Region of every pixel of bitmap that is not transparent: one rectangle per
// opaque horizontal run, rows from the top. A pixel is transparent when each
// of its red, green and blue lies within [transparentColour, transparentColour
// + tolerance] for that channel (capped at 255). Rectangles are turned into
// partial regions 2000 at a time and united, so no single region request
// carries more. An outline that would take more than MaxOutlineRects
// rectangles (a dithered or checkered mask) is made on square cells of 2, 4,
// 8 ... pixels instead, the first size that fits, a cell taken whole when
// any of its pixels is opaque; cellSize, when given, receives the cell size
// used (1: the exact outline). Returns nullopt when bitmap is null (no
// region: the caller's window stays a plain rectangle); an all-transparent
// bitmap gives an empty region. Throws nothing.
std::optional<QRegion> BitmapToRegion(const QImage* bitmap, QRgb transparentColour,
                                      QRgb tolerance, int* cellSize = nullptr);

// Draws bitmap with its top-left corner at (x, y) on canvas, leaving out every
// pixel of exactly maskColour (alpha ignored); all others are copied opaquely.
// A null bitmap draws nothing.
void DrawTransparentBitmap(QPainter& canvas, const QImage& bitmap, int x, int y,
                           QRgb maskColour);

// Loads a skin bitmap. Skins made on other systems often differ in letter case
// between skin.ini and the disk, so a name that does not exist as written is
// looked up case-insensitively in its directory. Returns a null image when the
// file cannot be found or read.
QImage LoadSkinBitmap(const QString& path);

// As LoadSkinBitmap, but throws Exception with a file-error text naming the
// path when the file is missing or not a readable picture.
QImage LoadSkinBitmapOrThrow(const QString& path);

// A window's background and its outline, kept while the file on disk stays
// the same: every paint shapes the window again, but decoding an unchanged
// bitmap and building its outline again would only cost time.
struct TWindowShape {
    QString path;
    QDateTime modified;
    qint64 size = -1;
    QImage background;
    std::optional<QRegion> region;
};

// The window-shaping step of both skinned windows: loads the background from
// file, sizes window to it and cuts window to its non-magenta outline (a
// background with no opaque pixel hides the whole window). kept, when given,
// is the window's last shape, used again while file is unchanged on disk.
// Returns the loaded background, which the caller draws at (0, 0) in its
// paint; returns a null image, leaving window untouched, when the file
// cannot be loaded.
QImage ShapeWindow(QWidget& window, const QString& file, TWindowShape* kept = nullptr);

// Makes window modal to owner's window alone: that window and those it
// stands on wait while window is open, and the program's other windows (the
// tray icon's among them) keep taking clicks. Without an owner the whole
// program waits. Call before every modal show: a dialog's exec() forgets its
// modality when it ends.
void MakeModalTo(QWidget& window, QWidget* owner);

// Windows and their boxes are changed on the interface thread only: a job
// of the mail worker that reached one from its own thread would draw while
// the interface thread draws too, and fail some time later somewhere else.
// Ends the program at once (qFatal) naming what, when called on any other
// thread. Costs one thread lookup, so every entry of a window may call it.
void RequireInterfaceThread(const char* what);

// A borderless window that takes the outline of its background bitmap and
// shows it. The bitmap is reloaded and the outline rebuilt at every
// activation and every paint, so a skin change on disk shows at once. It is
// dragged by its own surface with the left button alone (a held modifier
// key or another button does not move it).
class TShapedWindow : public QWidget {
    Q_OBJECT
public:
    explicit TShapedWindow(QWidget* parent = nullptr);

    // Sets the background bitmap's file and repaints with it.
    void SetBackgroundFile(const QString& file);
    // The background's file as last set.
    QString BackgroundFile() const { return m_backgroundFile; }
    // ShapeWindow with the background's file and this window's kept shape.
    QImage Reshape();

protected:
    // Called from a paint whose background cannot be loaded; the default does
    // nothing (the window keeps its last size and outline and paints nothing).
    virtual void BackgroundMissing() {}

    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    QString m_backgroundFile;
    TWindowShape m_shape;
    QPoint DragOrigin; // screen point of the cursor at the last drag step
};
