// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A picture control of a skinned window: shows one image on its parent's
// surface with the image's bottom-left pixel colour left out, so the window's
// background shows through (the state pictures and the two text pictures).
#include <QImage>
#include <QWidget>

class TSkinPicture : public QWidget {
    Q_OBJECT
public:
    // An empty picture control, 0 x 0 until an image is set.
    explicit TSkinPicture(QWidget* parent = nullptr);

    // Shows picture (copied); with AutoSize the control takes its size.
    void SetPicture(const QImage& picture);
    // Removes the image; the control keeps its size and shows nothing.
    void ClearPicture();
    // The image shown (null when none).
    const QImage& Picture() const { return m_picture; }

    // Whether the control takes the size of every picture set (default on).
    void SetAutoSize(bool autoSize) { m_autoSize = autoSize; }
    bool AutoSize() const { return m_autoSize; }

    // Whether pixels of the bottom-left pixel's colour are left out (default
    // on); when off the image is drawn opaquely.
    void SetTransparent(bool transparent);
    bool Transparent() const { return m_transparent; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage m_picture;
    bool m_autoSize = true;
    bool m_transparent = true;
};
