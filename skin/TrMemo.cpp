// SPDX-License-Identifier: GPL-3.0-or-later
#include "skin/TrMemo.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPalette>
#include <QScrollBar>
#include <QTimer>

TTransparentMemo::TTransparentMemo(QWidget* parent) : QPlainTextEdit(parent)
{
    setFrameShape(QFrame::NoFrame);
    setAutoFillBackground(false);
    viewport()->setAutoFillBackground(false);
    QPalette pal = palette();
    pal.setColor(QPalette::Base, Qt::transparent);
    setPalette(pal);
    // New text reaches the screen only after the ground under it is redrawn.
    connect(this, &QPlainTextEdit::textChanged, this, &TTransparentMemo::refreshLater);
}

void TTransparentMemo::SetFontColor(const QColor& colour)
{
    QPalette pal = palette();
    pal.setColor(QPalette::Text, colour);
    setPalette(pal);
}

QColor TTransparentMemo::FontColor() const
{
    return palette().color(QPalette::Text);
}

void TTransparentMemo::repaintUnder()
{
    if (QWidget* parent = parentWidget())
        parent->update(QRect(mapToParent(QPoint(0, 0)), size()));
    update();
    viewport()->update();
}

void TTransparentMemo::Refresh()
{
    if (!parentWidget())
        return;
    QTextCursor cursor = textCursor();
    if (cursor.hasSelection()) {
        cursor.clearSelection();
        setTextCursor(cursor);
    }
    repaintUnder();
}

void TTransparentMemo::refreshLater()
{
    QTimer::singleShot(0, this, &TTransparentMemo::Refresh);
}

void TTransparentMemo::keyPressEvent(QKeyEvent* event)
{
    Refresh();
    QPlainTextEdit::keyPressEvent(event);
    refreshLater();
}

void TTransparentMemo::mousePressEvent(QMouseEvent* event)
{
    Refresh();
    QPlainTextEdit::mousePressEvent(event);
    refreshLater();
}

void TTransparentMemo::mouseReleaseEvent(QMouseEvent* event)
{
    Refresh();
    QPlainTextEdit::mouseReleaseEvent(event);
    refreshLater();
}

void TTransparentMemo::scrollContentsBy(int dx, int dy)
{
    QPlainTextEdit::scrollContentsBy(dx, dy);
    // Scrolling moves pixels; with no background of our own the moved
    // pixels would carry the old text over the skin.
    refreshLater();
}
