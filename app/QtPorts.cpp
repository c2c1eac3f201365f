// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/QtPorts.h"

#include "app/MailHandler.h"
#include "skin/WinUtil.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QLibrary>
#include <QPointer>
#include <QProcess>
#include <QThreadPool>
#include <QUrl>

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>

namespace {

QString boxText(const std::string& text)
{
    // Message texts break their lines with CR.
    QString s = QString::fromStdString(text);
    s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    s.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    // A plain-text box breaks lines between words only: a long path or
    // file name would make it wider than the screen. A zero-width space
    // every so many characters of a long word lets it break there.
    constexpr int MaxUnbroken = 40;
    QString out;
    out.reserve(s.size() + s.size() / MaxUnbroken);
    int run = 0;
    for (const QChar c : s) {
        run = c.isSpace() ? 0 : run + 1;
        if (run > MaxUnbroken && !c.isLowSurrogate()) {
            out += QChar(0x200B);
            run = 1;
        }
        out += c;
    }
    return out;
}

// "desc (*.x) | *.x" -> "desc (*.x)".
QString dialogFilter(const std::string& filter)
{
    const QString f = QString::fromStdString(filter);
    const int bar = f.indexOf(QLatin1Char('|'));
    return (bar < 0 ? f : f.left(bar)).trimmed();
}

} // namespace

void TQtPrompt::ownModality(QWidget& box) const
{
    QWidget* over = QApplication::activeModalWidget();
    if (!over)
        over = m_parent ? m_parent : m_owner.data();
    MakeModalTo(box, over);
}

void TQtPrompt::Message(const std::string& text, Icon icon)
{
    RequireInterfaceThread("A message box");
    const QMessageBox::Icon qtIcon = icon == Icon::Error     ? QMessageBox::Critical
                                     : icon == Icon::Warning ? QMessageBox::Warning
                                     : icon == Icon::Question ? QMessageBox::Question
                                                              : QMessageBox::Information;
    QMessageBox box(qtIcon, QApplication::applicationName(), boxText(text), QMessageBox::Ok, m_parent);
    ownModality(box);
    ++m_showing;
    box.exec();
    --m_showing;
}

TPrompt::Answer TQtPrompt::Ask(const std::string& text)
{
    RequireInterfaceThread("A message box");
    QMessageBox box(QMessageBox::Question, QApplication::applicationName(), boxText(text),
                    QMessageBox::Yes | QMessageBox::No, m_parent);
    ownModality(box);
    ++m_showing;
    const int answer = box.exec();
    --m_showing;
    return answer == QMessageBox::Yes ? Answer::Yes : Answer::No;
}

TPrompt::Answer TQtPrompt::Choose(const std::string& text, const std::string& first, const std::string& second)
{
    RequireInterfaceThread("A message box");
    QMessageBox box(QMessageBox::Question, QApplication::applicationName(), boxText(text), QMessageBox::NoButton,
                    m_parent);
    QPushButton* one = box.addButton(QString::fromStdString(first), QMessageBox::AcceptRole);
    QPushButton* two = box.addButton(QString::fromStdString(second), QMessageBox::RejectRole);
    // Escape and the title bar's close button choose nothing.
    box.setEscapeButton(static_cast<QAbstractButton*>(nullptr));
    box.setDefaultButton(one);
    ownModality(box);
    ++m_showing;
    box.exec();
    --m_showing;
    if (box.clickedButton() == one)
        return Answer::Yes;
    if (box.clickedButton() == two)
        return Answer::No;
    return Answer::Cancel;
}

std::optional<std::string> TQtPrompt::OpenFile(const std::string& title, const std::string& filter,
                                               const std::string& startDir)
{
    RequireInterfaceThread("A file dialog");
    const QString path = QFileDialog::getOpenFileName(m_parent, QString::fromStdString(title),
                                                      QString::fromStdString(startDir), dialogFilter(filter));
    if (path.isEmpty())
        return std::nullopt;
    return path.toStdString();
}

std::optional<std::string> TQtPrompt::SaveFile(const std::string& title, const std::string& proposedName,
                                               const std::string& filter)
{
    RequireInterfaceThread("A file dialog");
    const QString path = QFileDialog::getSaveFileName(m_parent, QString::fromStdString(title),
                                                      QString::fromStdString(proposedName), dialogFilter(filter));
    if (path.isEmpty())
        return std::nullopt;
    return path.toStdString();
}

std::optional<std::string> TQtPrompt::PickFolder(const std::string& title, const std::string& startDir)
{
    RequireInterfaceThread("A file dialog");
    const QString start = startDir.empty() ? QDir::homePath() : QString::fromStdString(startDir);
    const QString path = QFileDialog::getExistingDirectory(m_parent, QString::fromStdString(title), start);
    if (path.isEmpty())
        return std::nullopt;
    return path.toStdString();
}

TQtDesktop::TQtDesktop(std::string moduleDir) : m_moduleDir(std::move(moduleDir)) {}
TQtDesktop::~TQtDesktop() = default;

bool TQtDesktop::OpenUrl(const std::string& url)
{
    return QDesktopServices::openUrl(QUrl(QString::fromStdString(url)));
}

bool TQtDesktop::StartProgram(const std::string& program, const std::string& parameters)
{
    if (program.empty())
        return false;
    return QProcess::startDetached(QString::fromStdString(program),
                                   QProcess::splitCommand(QString::fromStdString(parameters)));
}

void TQtDesktop::StartMailProgram(std::function<void(const std::string& problem)> done)
{
    // Reading desktop entries and starting a process: never on the window's
    // thread. The answer comes back through the application's queue, where
    // the context is looked at only on the interface thread.
    QPointer<QObject> context(m_context.get());
    QThreadPool::globalInstance()->start([context, done = std::move(done)] {
        const std::string problem = LaunchMailHandler();
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [context, done, problem] {
                if (context && done)
                    done(problem);
            },
            Qt::QueuedConnection);
    });
}

void TQtDesktop::PlaySound(const std::string& file)
{
    const QString path = QString::fromStdString(file);
    if (!m_loadTried) {
        m_loadTried = true;
        // Beside the program in a build tree, in lib/tolmu of an install.
        const QString dir = QCoreApplication::applicationDirPath();
        QStringList candidates{dir + QStringLiteral("/tolmu_sound"),
                               dir + QStringLiteral("/../" TOLMU_SOUND_MODULE_DIR "/tolmu_sound")};
        if (!m_moduleDir.empty())
            candidates = {QString::fromStdString(m_moduleDir) + QStringLiteral("/tolmu_sound")};
        using NewPlayerFunction = QObject* (*)();
        for (const QString& candidate : candidates) {
            QLibrary module(candidate);
            if (!module.load())
                continue;
            const auto newPlayer = reinterpret_cast<NewPlayerFunction>(module.resolve("tolmuNewSoundPlayer"));
            m_play = reinterpret_cast<PlayFunction>(module.resolve("tolmuPlaySound"));
            if (newPlayer && m_play) {
                m_player.reset(newPlayer());
                break;
            }
            m_play = nullptr;
        }
    }
    if (!QFile::exists(path) || !m_player) {
        QApplication::beep(); // the system's default sound, as for a file that cannot be played
        return;
    }
    m_play(m_player.get(), path.toUtf8().constData());
}

QPoint FramePosition(QWidget& window)
{
    // The offscreen platform may offer an X11 interface without a connection.
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* const connection = x11 ? x11->connection() : nullptr;
    if (!connection || QGuiApplication::platformName() != QLatin1String("xcb") || !window.isVisible())
        return window.pos();
    const auto reply = [](auto* r) { return std::unique_ptr<std::remove_pointer_t<decltype(r)>, decltype(&std::free)>(r, &std::free); };
    // Up to the child of the root window: the frame.
    auto frame = static_cast<xcb_window_t>(window.winId());
    xcb_window_t root = XCB_WINDOW_NONE;
    for (int depth = 0; depth < 16; ++depth) {
        const auto tree = reply(xcb_query_tree_reply(connection, xcb_query_tree(connection, frame), nullptr));
        if (!tree)
            return window.pos();
        root = tree->root;
        if (tree->parent == tree->root || tree->parent == XCB_WINDOW_NONE)
            break;
        frame = tree->parent;
    }
    const auto at = reply(xcb_translate_coordinates_reply(
        connection, xcb_translate_coordinates(connection, frame, root, 0, 0), nullptr));
    return at ? QPoint(at->dst_x, at->dst_y) : window.pos();
}
