// SPDX-License-Identifier: GPL-3.0-or-later
#include "skin/SkinPicture.h"

#include "skin/WinUtil.h"

#include <QPainter>

TSkinPicture::TSkinPicture(QWidget* parent) : QWidget(parent)
{
    resize(0, 0);
}

void TSkinPicture::SetPicture(const QImage& picture)
{
    m_picture = picture.copy();
    if (m_autoSize)
        resize(m_picture.size());
    update();
}

void TSkinPicture::ClearPicture()
{
    m_picture = QImage();
    update();
}

void TSkinPicture::SetTransparent(bool transparent)
{
    m_transparent = transparent;
    update();
}

void TSkinPicture::paintEvent(QPaintEvent*)
{
    if (m_picture.isNull())
        return;
    QPainter painter(this);
    if (m_transparent)
        DrawTransparentBitmap(painter, m_picture, 0, 0, m_picture.pixel(0, m_picture.height() - 1));
    else
        painter.drawImage(0, 0, m_picture);
}
