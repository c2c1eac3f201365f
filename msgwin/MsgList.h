// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The message window: a second skinned, shaped window over the mailbox of
// the account checked last. Its work (fetch, delete, reply, save) is core's
// TMessageBrowser; this class is its view and applies the skin.
#include "core/message/MessageBrowser.h"
#include "skin/ImgBtn.h"
#include "skin/TrMemo.h"
#include "skin/WinUtil.h"

#include <QMenu>
#include <QPoint>
#include <QPointer>
#include <QTimer>

#include <functional>

class TMsgList : public TShapedWindow, public TMessageView {
    Q_OBJECT
public:
    // mainTimer: the main window's check timer, held off while this window
    // shows.
    TMsgList(TMailWorker& worker, TPrompt& prompt, TDesktop& desktop, TCheckCycle& cycle, QTimer& mainTimer);

    TMessageBrowser& Browser() { return m_browser; }

    // Applies the skin (text area, font, buttons) and holds the check timer
    // off; runs whenever the window is shown.
    void FormShow();
    // Sizes and cuts the window to the skin's msgbkng picture.
    void FormActivate();
    // Gives the check timer back and closes the window.
    void CloseMsgClick();
    // Shows the window modally until it closes, however it is closed
    // (buttons, menu, Esc, the window manager); the timer is given back.
    void RunModal();
    // Enables "Read Mail" as the browser allows, every time the menu opens.
    void MnuMsgPopup();

    // TMessageView
    void ShowLines(const std::vector<std::string>& lines) override;
    void SetSaveEnabled(bool enabled) override;

    TTransparentMemo* Mess = nullptr;
    TImgBtn* PrevBtn = nullptr;
    TImgBtn* NextBtn = nullptr;
    TImgBtn* ReplyBtn = nullptr;
    TImgBtn* DeleteBtn = nullptr;
    TImgBtn* ExitBtn = nullptr;
    QMenu MnuMsg;
    QAction* Readmail = nullptr;
    QAction* Save = nullptr;
    QAction* CloseMsg = nullptr;
    bool SavedTimerEnabled = false;
    // The window that waits while this one runs modally (the main window);
    // none: the whole program waits.
    QPointer<QWidget> ModalOwner;

signals:
    void Closed();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void BackgroundMissing() override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The window's keys, wherever the focus is: Left / PageUp previous,
    // Right / PageDown next, Delete the bin (once per press, never on key
    // repeat), R reply, Esc close. False for any other key.
    bool messageKey(const QKeyEvent& event);
    // Runs a click unless a fetch, delete or login still runs; an error
    // shows in a message box and the window stays open.
    void guarded(const std::function<void()>& handler);
    void giveTimerBack();

    TPrompt& m_prompt;
    TMessageBrowser m_browser;
    QTimer& m_mainTimer;
    bool m_timerHeld = false;
};
