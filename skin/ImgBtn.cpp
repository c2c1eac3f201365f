// SPDX-License-Identifier: GPL-3.0-or-later
#include "skin/ImgBtn.h"

#include "skin/WinUtil.h"

#include <QContextMenuEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>

TImgBtn::TImgBtn(QWidget* parent)
    : QWidget(parent), m_checkColor(palette().color(QPalette::Highlight)),
      m_frameColor(palette().color(QPalette::Button))
{
    resize(20, 20);
    // Qt only tells a pressed widget about leaving once the button is up;
    // moves tell us earlier, so a held button can still go back to normal.
    setMouseTracking(true);
}

void TImgBtn::SetPicOn(const QImage& picture)
{
    m_picOn = picture.copy();
    applyAutosize();
    update();
}

void TImgBtn::SetPicOff(const QImage& picture)
{
    m_picOff = picture.copy();
    applyAutosize();
    update();
}

void TImgBtn::SetFrame(bool frame)
{
    m_frame = frame;
    applyAutosize();
    update();
}

void TImgBtn::SetAutosize(bool autosize)
{
    m_autosize = autosize;
    applyAutosize();
    update();
}

void TImgBtn::SetCheckButton(bool checkButton)
{
    m_checkButton = checkButton;
    update();
}

void TImgBtn::SetChecked(bool checked)
{
    if (checked == m_checked)
        return;
    m_checked = checked;
    update();
}

void TImgBtn::SetCheckColor(const QColor& colour)
{
    m_checkColor = colour;
    update();
}

void TImgBtn::SetFrameColor(const QColor& colour)
{
    m_frameColor = colour;
    update();
}

void TImgBtn::SetCaption(const QString& caption)
{
    m_caption = caption;
    applyAutosize();
    update();
}

const QImage& TImgBtn::shownPicture() const
{
    return m_hovered && !m_picOn.isNull() ? m_picOn : m_picOff;
}

void TImgBtn::applyAutosize()
{
    if (!m_autosize || m_picOff.isNull())
        return;
    const QImage& pic = shownPicture();
    int extraW = m_frame ? 2 : 0;
    int extraH = m_frame ? 2 : 0;
    if (!m_caption.isEmpty()) {
        const QFontMetrics fm(font());
        extraW += fm.horizontalAdvance(m_caption) + 20;
        extraH += fm.height() + 20;
    }
    resize(pic.width() + extraW, pic.height() + extraH);
}

void TImgBtn::paintEvent(QPaintEvent*)
{
    if (m_picOff.isNull())
        return;
    applyAutosize();
    const QImage& pic = shownPicture();
    QPainter painter(this);
    const int w = width();
    const int h = height();

    if (m_frame && m_hovered) {
        painter.fillRect(rect(), m_frameColor);
        QColor topLeft = palette().color(QPalette::Light);
        QColor bottomRight = palette().color(QPalette::Dark);
        if (m_pressed)
            std::swap(topLeft, bottomRight);
        painter.setPen(topLeft);
        painter.drawLine(0, 0, w - 1, 0);
        painter.drawLine(0, 0, 0, h - 1);
        painter.setPen(bottomRight);
        painter.drawLine(0, h - 1, w - 1, h - 1);
        painter.drawLine(w - 1, 0, w - 1, h - 1);
    }

    int x = (w - pic.width()) / 2 + (m_frame ? 1 : 0);
    int y = 0;
    if (m_frame)
        y = m_caption.isEmpty() ? 1 : 8;
    else if (!m_autosize)
        y = (h - pic.height()) / 2; // not used by any skin: centre the picture
    DrawTransparentBitmap(painter, pic, x, y, SkinMagenta);

    if (!m_caption.isEmpty()) {
        const QFontMetrics fm(font());
        const int tw = fm.horizontalAdvance(m_caption);
        const QRect box((w - tw) / 2, h - fm.height() - 5, tw, fm.height());
        if (m_checkButton && m_checked)
            painter.fillRect(box, m_checkColor);
        painter.setPen(palette().color(QPalette::ButtonText));
        painter.drawText(box, Qt::AlignLeft | Qt::AlignTop, m_caption);
    }

    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = rect().adjusted(2, 2, -2, -2);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &painter, this);
    }
}

void TImgBtn::mouseEntered()
{
    if (m_hovered)
        return;
    m_hovered = true;
    applyAutosize();
    update();
    if (OnMouseEnter)
        OnMouseEnter(*this);
}

void TImgBtn::mouseLeft()
{
    if (!m_hovered)
        return;
    m_hovered = false;
    m_pressed = false;
    applyAutosize();
    update();
    if (OnMouseLeave)
        OnMouseLeave(*this);
}

void TImgBtn::enterEvent(QEnterEvent*)
{
    mouseEntered();
}

void TImgBtn::leaveEvent(QEvent*)
{
    mouseLeft();
}

void TImgBtn::mouseMoveEvent(QMouseEvent* event)
{
    if (rect().contains(event->position().toPoint()))
        mouseEntered();
    else
        mouseLeft();
}

void TImgBtn::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        m_pressed = true;
        update();
    }
    if (OnMouseDown)
        OnMouseDown(*this, *event);
}

// The second press of a double click reaches OnMouseDown (as a double
// click) but does not press the button again, so a double click clicks once:
// Connect logs in once, Delete deletes once.
void TImgBtn::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        m_releaseEndsDoubleClick = true;
    if (OnMouseDown)
        OnMouseDown(*this, *event);
}

void TImgBtn::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    m_pressed = false;
    update();
    if (m_releaseEndsDoubleClick) {
        m_releaseEndsDoubleClick = false;
        return;
    }
    if (rect().contains(event->position().toPoint()) && OnClick)
        OnClick(*this);
}

void TImgBtn::contextMenuEvent(QContextMenuEvent* event) { event->accept(); }

void TImgBtn::keyPressEvent(QKeyEvent* event)
{
    const int key = event->key();
    if ((event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier && (key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter)) {
        if (OnClick)
            OnClick(*this);
        return;
    }
    QWidget::keyPressEvent(event);
}
