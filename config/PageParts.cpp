// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/PageParts.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace configpage {

QLabel* label(QWidget* parent, const QString& text, int x, int y, QWidget* buddy)
{
    auto* l = new QLabel(text, parent);
    l->move(x, y);
    if (buddy)
        l->setBuddy(buddy);
    return l;
}

QLineEdit* edit(QWidget* parent, int x, int y, int w)
{
    auto* e = new QLineEdit(parent);
    e->setGeometry(x, y, w, 21);
    return e;
}

QFont boldArial()
{
    QFont f(QStringLiteral("Arial"));
    f.setBold(true);
    return f;
}

QImage pagePicture(int page)
{
    QImage img(32, 24, QImage::Format_RGB32);
    img.fill(QColor(255, 0, 255));
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QColor(40, 40, 60));
    switch (page) {
    case 0: // options: three sliders
        for (int i = 0; i < 3; ++i) {
            p.drawLine(4, 5 + 7 * i, 27, 5 + 7 * i);
            p.fillRect(8 + 7 * i, 3 + 7 * i, 4, 5, QColor(60, 110, 200));
        }
        break;
    case 1: // accounts: an envelope
        p.fillRect(3, 4, 26, 17, QColor(250, 250, 235));
        p.drawRect(3, 4, 25, 16);
        p.drawLine(3, 4, 16, 14);
        p.drawLine(28, 4, 16, 14);
        break;
    case 2: // skin: a window with a round badge
        p.fillRect(2, 3, 28, 18, QColor(30, 40, 70));
        p.setBrush(QColor(240, 180, 40));
        p.drawEllipse(6, 7, 10, 10);
        break;
    default: // credits: a star
    {
        QPainterPath star;
        for (int i = 0; i < 10; ++i) {
            const double r = i % 2 ? 4.5 : 10.5;
            const double a = 3.14159265 / 5 * i - 3.14159265 / 2;
            const QPointF pt(16 + r * std::cos(a), 12 + r * std::sin(a));
            i ? star.lineTo(pt) : star.moveTo(pt);
        }
        star.closeSubpath();
        p.fillPath(star, QColor(240, 190, 30));
        p.drawPath(star);
    }
    }
    return img;
}

} // namespace configpage
