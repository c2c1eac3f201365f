// SPDX-License-Identifier: GPL-3.0-or-later
#include "msgwin/MsgList.h"

#include "core/settings/Settings.h"
#include "skin/file/SkinFile.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QEventLoop>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScreen>

namespace {

const char* const ButtonMissing = "Bitmap not found for [Memo_msgWindow] in skin.ini";
const char* const BackgroundMissingText =
    "Message window background not found !\rCheck [Background] msgbkng in SKIN.INI";

TImgBtn* button(QWidget* parent, const char* hint)
{
    auto* b = new TImgBtn(parent);
    b->setToolTip(QString::fromLatin1(hint));
    return b;
}

void skinButton(TImgBtn& b, const std::string& off, const std::string& on, TIntPair at)
{
    b.SetPicOff(LoadSkinBitmapOrThrow(QString::fromStdString(off)));
    b.SetPicOn(LoadSkinBitmapOrThrow(QString::fromStdString(on)));
    b.move(at.first, at.second);
}

} // namespace

TMsgList::TMsgList(TMailWorker& worker, TPrompt& prompt, TDesktop& desktop, TCheckCycle& cycle, QTimer& mainTimer)
    : m_prompt(prompt), m_browser(*this, worker, prompt, desktop, cycle), m_mainTimer(mainTimer)
{
    setWindowTitle(QStringLiteral("Tolmu"));
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    resize(214, 220);
    Mess = new TTransparentMemo(this);
    Mess->setGeometry(30, 15, 133, 73);
    Mess->setReadOnly(true);
    PrevBtn = button(this, "previous message");
    NextBtn = button(this, "next message");
    ReplyBtn = button(this, "reply to sender");
    DeleteBtn = button(this, "delete message");
    ExitBtn = button(this, "close window");
    PrevBtn->OnClick = [this](TImgBtn&) { guarded([this] { m_browser.PrevClick(); }); };
    NextBtn->OnClick = [this](TImgBtn&) { guarded([this] { m_browser.NextClick(); }); };
    ReplyBtn->OnClick = [this](TImgBtn&) { guarded([this] { m_browser.ReplyClick(); }); };
    DeleteBtn->OnClick = [this](TImgBtn&) { guarded([this] { m_browser.DeleteClick(); }); };
    ExitBtn->OnClick = [this](TImgBtn&) { CloseMsgClick(); };

    Readmail = MnuMsg.addAction(QStringLiteral("Read Mail"), this, [this] { guarded([this] { m_browser.ReadMailClick(); }); });
    MnuMsg.addSeparator();
    Save = MnuMsg.addAction(QStringLiteral("Save attachments"), this, [this] { guarded([this] { m_browser.SaveClick(); }); });
    Save->setEnabled(false);
    MnuMsg.addSeparator();
    CloseMsg = MnuMsg.addAction(QStringLiteral("Close window"), this, [this] { CloseMsgClick(); });
    // The text area takes the focus and would page its own lines.
    Mess->installEventFilter(this);
}

void TMsgList::guarded(const std::function<void()>& handler)
{
    if (m_browser.Busy())
        return;
    try {
        handler();
    } catch (const std::exception& e) {
        m_prompt.Message(e.what(), TPrompt::Icon::Error);
    }
}

void TMsgList::FormShow()
{
    SetBackgroundFile(QString::fromStdString(SkinSettings.background.msgbkng));
    const auto& m = SkinSettings.memo_msgwindow;
    Mess->setGeometry(m.memo_x, m.memo_y, m.memo_width, m.memo_height);
    const uint32_t c = m.fontcolor; // red in the low byte
    Mess->SetFontColor(QColor(c & 0xff, (c >> 8) & 0xff, (c >> 16) & 0xff));
    QFont font(QString::fromStdString(m.fontname));
    font.setPointSize(m.fontsize > 0 ? m.fontsize : 7);
    const QString style = QString::fromStdString(m.fontstyle).toLower();
    font.setBold(style.contains(QStringLiteral("bold")));
    font.setItalic(style.contains(QStringLiteral("italic")));
    Mess->setFont(font);

    SavedTimerEnabled = m_mainTimer.isActive();
    m_mainTimer.stop();
    m_timerHeld = true;
    try {
        skinButton(*PrevBtn, m.prevbtnnormal, m.prevbtnselect, m.prevbtnpos);
        skinButton(*NextBtn, m.nextbtnnormal, m.nextbtnselect, m.nextbtnpos);
        skinButton(*ReplyBtn, m.replybtnnormal, m.replybtnselect, m.replybtnpos);
        skinButton(*DeleteBtn, m.deletebtnnormal, m.deletebtnselect, m.deletebtnpos);
        skinButton(*ExitBtn, m.closebtnnormal, m.closebtnselect, m.closebtnpos);
    } catch (const std::exception&) {
        m_prompt.Message(ButtonMissing, TPrompt::Icon::Error);
        giveTimerBack();
    }
}

void TMsgList::FormActivate()
{
    if (Reshape().isNull())
        BackgroundMissing();
    update();
}

void TMsgList::BackgroundMissing()
{
    // Not from inside the paint: close, then say why; the main window goes on.
    QTimer::singleShot(0, this, [this] {
        if (!isVisible())
            return;
        CloseMsgClick();
        m_prompt.Message(BackgroundMissingText, TPrompt::Icon::Error);
    });
}

void TMsgList::giveTimerBack()
{
    if (!m_timerHeld)
        return;
    m_timerHeld = false;
    if (SavedTimerEnabled)
        m_mainTimer.start();
    else
        m_mainTimer.stop();
}

void TMsgList::CloseMsgClick()
{
    giveTimerBack();
    close();
}

void TMsgList::RunModal()
{
    MakeModalTo(*this, ModalOwner);
    // Shaped first, so the window is centred at its skin's size.
    SetBackgroundFile(QString::fromStdString(SkinSettings.background.msgbkng));
    FormActivate();
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    show();
    QEventLoop loop;
    const auto done = connect(this, &TMsgList::Closed, &loop, &QEventLoop::quit);
    if (isVisible())
        loop.exec();
    disconnect(done);
    giveTimerBack();
    setWindowModality(Qt::NonModal);
}

void TMsgList::MnuMsgPopup() { Readmail->setEnabled(m_browser.ReadMailEnabled()); }

void TMsgList::ShowLines(const std::vector<std::string>& lines)
{
    RequireInterfaceThread("The message window");
    QStringList text;
    for (const std::string& line : lines)
        text << QString::fromStdString(line);
    Mess->setPlainText(text.join(QLatin1Char('\n')));
    Mess->moveCursor(QTextCursor::Start);
    Mess->Refresh();
}

void TMsgList::SetSaveEnabled(bool enabled)
{
    RequireInterfaceThread("The message window");
    Save->setEnabled(enabled);
}

void TMsgList::showEvent(QShowEvent* event)
{
    FormShow();
    TShapedWindow::showEvent(event);
}

void TMsgList::hideEvent(QHideEvent* event)
{
    TShapedWindow::hideEvent(event);
    emit Closed();
}

void TMsgList::contextMenuEvent(QContextMenuEvent* event)
{
    MnuMsgPopup();
    MnuMsg.popup(event->globalPos());
}

bool TMsgList::messageKey(const QKeyEvent& e)
{
    const Qt::KeyboardModifiers mods = e.modifiers() & ~Qt::KeypadModifier;
    if (mods != Qt::NoModifier && !(e.key() == Qt::Key_R && mods == Qt::ShiftModifier))
        return false;
    switch (e.key()) {
    case Qt::Key_Escape:
        CloseMsgClick();
        return true;
    case Qt::Key_Left:
    case Qt::Key_PageUp:
        guarded([this] { m_browser.PrevClick(); });
        return true;
    case Qt::Key_Right:
    case Qt::Key_PageDown:
        guarded([this] { m_browser.NextClick(); });
        return true;
    case Qt::Key_Delete:
        // A held key repeats; a message is deleted only by a press of its own.
        if (!e.isAutoRepeat())
            guarded([this] { m_browser.DeleteClick(); });
        return true;
    case Qt::Key_R:
        if (!e.isAutoRepeat())
            guarded([this] { m_browser.ReplyClick(); });
        return true;
    default:
        return false;
    }
}

void TMsgList::keyPressEvent(QKeyEvent* event)
{
    if (messageKey(*event))
        return;
    TShapedWindow::keyPressEvent(event);
}

bool TMsgList::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == Mess && event->type() == QEvent::KeyPress && messageKey(*static_cast<QKeyEvent*>(event)))
        return true;
    return TShapedWindow::eventFilter(watched, event);
}
