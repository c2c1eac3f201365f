// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The main window: the skinned, shaped window on the desktop with its
// buttons, state pictures, menu and tray icon. The check cycle behind the
// buttons is core's TCheckCycle; this class is its view and runs its
// handlers inside one error guard each. Its view entries may be called on
// the interface thread only (RequireInterfaceThread).
#include "app/MailThread.h"
#include "app/QtPorts.h"
#include "config/Config.h"
#include "core/window/CheckCycle.h"
#include "dialup/RASManager.h"
#include "msgwin/MsgList.h"
#include "skin/ImgBtn.h"
#include "skin/SkinPicture.h"
#include "skin/StateView.h"
#include "skin/WinUtil.h"

#include <QMenu>
#include <QPoint>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

class TAwayWatch;

class TTolmu : public TShapedWindow, public TCycleView {
    Q_OBJECT
public:
    // prompt and desktop: the ports the window and its cycle use (Qt's own
    // unless a test gives doubles). worker: the mail worker (a thread of
    // its own unless a test runs jobs in place). accounts: the account
    // store the window loads, checks and lends its dialog; it outlives the
    // window.
    TTolmu(TPrompt& prompt, TDesktop& desktop, TMailWorker& worker, TAccountStore& accounts);
    ~TTolmu() override;

    // The start-up sequence: load settings, accounts and skin, place the
    // controls, start the cycle. Also reruns after the configuration dialog.
    void FormCreate();
    // Sizes the window to the skin's background and cuts it to its outline
    // (every paint does it again); a missing background ends the program.
    void FormActivate();
    void SetStayOnTop(bool onTop);
    void OnTopClick();
    void Exit1Click();
    void Config1Click();
    void MAILClick();
    // The exit steps: log out, rewrite Tolmu.ini, remove the tray icon.
    // Runs once, however the program ends.
    void FormClose();

    // A left double click on the status line: log in to the account of the
    // last check, show message 1 in the message window (modal), then check
    // again, which recounts and logs out. With Ctrl: the message window as
    // it was, without logging in.
    void STATBMPMouseDown(const QMouseEvent& event);
    // A new-mail notification was clicked: the newest message it told of
    // in the message window (its account becomes the one checked last);
    // refused like the double click while offline, while a job runs or
    // while the window is open.
    void NotificationClicked(const TNewMailNote& note);
    // The tray icon's clicks: the left button hides a shown window and
    // shows a hidden one; the right one opens the window's menu.
    void trayActivated(QSystemTrayIcon::ActivationReason reason);

    TCheckCycle& Cycle() { return m_cycle; }
    // The message window and the configuration dialog, made when first
    // needed.
    TMsgList& MsgList();
    TConfig& Config();
    QMenu& PopMnu() { return m_popMnu; }
    QSystemTrayIcon* TrayIcon() { return m_tray.get(); }
    // The tray icon's tooltip, kept also when there is no tray.
    const QString& TrayToolTip() const { return m_trayTip; }

    // The controls, named as the window's parts.
    TImgBtn* Connect = nullptr;
    TImgBtn* RefreshBtn = nullptr;
    TImgBtn* Disconnect = nullptr;
    TImgBtn* MAIL = nullptr;
    TSkinPicture* STATBMP = nullptr;
    TSkinPicture* NBMSGBMP = nullptr;
    TSkinPicture* FLAG = nullptr;
    TSkinPicture* Online = nullptr;
    QTimer Timer;
    QAction* OnTop = nullptr;
    QAction* CheckNow = nullptr; // "Check now", in the menu the tray opens too
    QPointer<QMenu> AccountsMenu;

    // TCycleView
    void ShowStatus(const std::string& text) override;
    void ShowCount(int32_t count) override;
    void ShowConnectionState(bool online, int32_t messageCount) override;
    void StopTimer() override;
    void SetOnlineHint(const std::string& text) override;
    void ShowMessageCount(const std::string& accName, int32_t count) override;
    void SetCountHint(const std::string& hint) override;
    void ShowFlag(bool gotMail) override;
    void SetTrayIcon(TTrayIcon icon) override;
    void SetTimer(bool enabled, int32_t intervalMs) override;
    void SetTrayTip(const std::string& tip) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void BackgroundMissing() override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // Runs a handler that Qt calls: an error shows its text in a message box
    // and the state stays as it was reached.
    void guarded(const std::function<void()>& handler);
    // The error box of the window's handlers and of the mail jobs' ends.
    void showError(const std::string& text);
    void RefreshBtnMouseDown(const QMouseEvent& event);
    void placeControls();
    void showTrayIcon(TTrayState state);
    bool modalOpen() const;
    // Logs in to account and shows message number (with a note: the one
    // MessageToOpen finds) in the message window; afterwards the account
    // is counted again, which logs out.
    void showMessage(const TPOPAcc& account, int32_t number, std::optional<TNewMailNote> note = std::nullopt);

    TPrompt& m_prompt;
    TDesktop& m_desktop;
    TMailWorker& m_worker;
    TAccountStore& m_accounts;
    TCheckCycle m_cycle;
    TRASManager RAS;
    TStateView m_stateView;
    QMenu m_popMnu;
    std::unique_ptr<QSystemTrayIcon> m_tray;
    std::unique_ptr<TConfig> m_config;
    bool m_closed = false;
    QString m_trayTip;
    std::unique_ptr<TMsgList> m_msgList;
    // Holds timer checks while the machine sleeps or the network is down.
    std::unique_ptr<TAwayWatch> m_away;
};
