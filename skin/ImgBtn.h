// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// An image button that paints straight on its parent: a normal picture, a
// picture under the mouse, an optional frame, caption and checked state.
#include <QColor>
#include <QImage>
#include <QString>
#include <QWidget>

#include <functional>

class QContextMenuEvent;
class QKeyEvent;
class QMouseEvent;

class TImgBtn : public QWidget {
    Q_OBJECT
public:
    // Mouse enter/leave notification; receives the button that sent it.
    using TOnMouseEvent = std::function<void(TImgBtn& sender)>;
    // Standard mouse-down event: the button and the press (button, keys, place).
    using TMouseDownEvent = std::function<void(TImgBtn& sender, const QMouseEvent& event)>;
    using TNotifyEvent = std::function<void(TImgBtn& sender)>;

    // A 20 x 20 button with no pictures, autosized, frameless, unchecked.
    explicit TImgBtn(QWidget* parent = nullptr);

    // Copies the picture shown while the mouse is over the button; repaints.
    void SetPicOn(const QImage& picture);
    // Copies the picture shown otherwise; without one the button paints
    // nothing and keeps its size. Repaints.
    void SetPicOff(const QImage& picture);
    // The pictures as last set (null when none).
    const QImage& PicOn() const { return m_picOn; }
    const QImage& PicOff() const { return m_picOff; }

    // Whether the hovered button is filled with FrameColor inside a 3D border
    // (sunken while pressed); the picture then moves 1 pixel right and down.
    void SetFrame(bool frame);
    bool Frame() const { return m_frame; } // as last set
    // Whether the button takes the size of the shown picture (plus frame and
    // caption room) whenever it is painted or its look changes.
    void SetAutosize(bool autosize);
    bool Autosize() const { return m_autosize; }
    // Whether Checked colours the caption's background with CheckColor.
    void SetCheckButton(bool checkButton);
    bool CheckButton() const { return m_checkButton; }
    // Sets the checked state; repaints only when it changes.
    void SetChecked(bool checked);
    bool Checked() const { return m_checked; }
    // Caption background while checked (default: the palette's highlight).
    void SetCheckColor(const QColor& colour);
    QColor CheckColor() const { return m_checkColor; }
    // Fill of the hovered frame (default: the palette's button face).
    void SetFrameColor(const QColor& colour);
    QColor FrameColor() const { return m_frameColor; }
    // Text drawn centred near the bottom, in the button's font.
    void SetCaption(const QString& caption);
    QString Caption() const { return m_caption; }

    // Whether the mouse is over the button, and whether the left button was
    // pressed on it and not yet released or taken away.
    bool Hovered() const { return m_hovered; }
    bool Pressed() const { return m_pressed; }

    TOnMouseEvent OnMouseEnter;   // after the mouse enters
    TOnMouseEvent OnMouseLeave;   // after the mouse leaves (also while held)
    TNotifyEvent OnClick;         // left button released over the button
    TMouseDownEvent OnMouseDown;  // any button pressed on the button

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    // A right click on a button is the button's (its OnMouseDown), never
    // its window's: the window's own menu must not open on top of it.
    void contextMenuEvent(QContextMenuEvent* event) override;
    // Space, Enter or Return click a button that has the keyboard focus
    // (only buttons given a focus policy take it).
    void keyPressEvent(QKeyEvent* event) override;

private:
    const QImage& shownPicture() const;
    void applyAutosize();
    void mouseEntered();
    void mouseLeft();

    QImage m_picOn;
    QImage m_picOff;
    bool m_frame = false;
    bool m_autosize = true;
    bool m_checkButton = false;
    bool m_checked = false;
    QColor m_checkColor;
    QColor m_frameColor;
    QString m_caption;
    bool m_hovered = false;
    bool m_pressed = false;
    bool m_releaseEndsDoubleClick = false;
};
