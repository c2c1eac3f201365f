// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A multi-line edit with no background of its own: its text stands straight
// on whatever its parent paints beneath it (the message window's skin).
#include <QColor>
#include <QPlainTextEdit>

class TTransparentMemo : public QPlainTextEdit {
    Q_OBJECT
public:
    // A frameless, borderless edit whose background is its parent's painting.
    explicit TTransparentMemo(QWidget* parent = nullptr);

    // Colour of the text (the selection keeps the palette's highlight).
    void SetFontColor(const QColor& colour);
    QColor FontColor() const;

    // Collapses any selection to the caret, then has the parent repaint its
    // background under the memo and the memo draw its text over it again, so
    // nothing of an earlier text stays visible. Runs after every click, key,
    // scroll and new text; callers may run it after changes of their own.
    void Refresh();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    void repaintUnder();
    void refreshLater();
};
