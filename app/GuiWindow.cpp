// SPDX-License-Identifier: GPL-3.0-or-later
// tolmu without a mode: the main window on the desktop, with the mail worker
// behind it, until "Exit" or the end of the desktop session.
#include "app/Cli.h"
#include "app/MailThread.h"
#include "app/MainWindow.h"
#include "app/Notifications.h"
#include "app/QtPorts.h"
#include "app/SingleInstance.h"
#include "base/QuitSignals.h"
#include "base/Report.h"
#include "core/settings/ConfigDir.h"

#include <QApplication>
#include <QSessionManager>
#include <QSocketNotifier>
#include <QTimer>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <unistd.h>

namespace {

// True when Qt has somewhere to show a window. A shaped, self-placed,
// stay-on-top window needs X11: under Wayland it runs through XWayland.
bool chooseDisplay()
{
    const bool wayland = std::getenv("WAYLAND_DISPLAY") != nullptr;
    const bool x11 = std::getenv("DISPLAY") != nullptr;
    const bool platformSet = std::getenv("QT_QPA_PLATFORM") != nullptr;
    if (wayland && x11 && !platformSet)
        qputenv("QT_QPA_PLATFORM", "xcb");
    return wayland || x11 || platformSet;
}

// The event loop watches the signal pipe and quits from there, also out of
// a message box's own loop; the window's exit steps then run as for Exit.
std::unique_ptr<QSocketNotifier> watchQuitSignals()
{
    const int fd = CatchQuitSignals();
    if (fd < 0)
        return nullptr;
    auto notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, [fd] {
        char bytes[16];
        while (::read(fd, bytes, sizeof bytes) > 0) {
        }
        QCoreApplication::quit();
    });
    return notifier;
}

} // namespace

int RunWindow(const Args& args)
{
    const Args rest = TakeConfigDirOption(args);
    if (!rest.empty()) {
        std::fprintf(stderr, "tolmu: unknown argument '%s' (see tolmu --help)\n", rest.front().c_str());
        return 2;
    }
    if (!chooseDisplay()) {
        std::fputs("tolmu: no display to show the window on (DISPLAY is not set); "
                   "try 'tolmu --check' to check the accounts without one\n",
                   stderr);
        return 2;
    }
    // A second window on the same settings would check the same mailboxes
    // twice: the running one comes to the front instead.
    TSingleInstance instance(TSingleInstance::RuntimeDirFromEnvironment(), ConfigDir());
    if (instance.Taken()) {
        if (instance.AskToRaise(5000))
            return 0;
        std::fprintf(stderr, "tolmu: a Tolmu window already runs for the settings in %s but does not answer\n",
                     ConfigDir().c_str());
        return 1;
    }
    int argc = 1;
    char name[] = "tolmu";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    // Also the window class, which the desktop entry's StartupWMClass names.
    QApplication::setApplicationName(QStringLiteral("Tolmu"));
    // Hiding the window through the tray icon never ends the program.
    QApplication::setQuitOnLastWindowClosed(false);
    std::setlocale(LC_TIME, "");
    // Watched before anything can block: a start-up box must not keep a
    // signal waiting until it is closed.
    const std::unique_ptr<QSocketNotifier> signalWatch = watchQuitSignals();

    TQtPrompt prompt;
    TQtDesktop desktop;
    // Before the worker: its jobs may still use the store's accounts.
    TAccountStore accounts(ConfigDir());
    TQtMailWorker worker;
    report::SetFatalSink([&prompt](const std::string& text) { prompt.Message(text, TPrompt::Icon::Error); });
    TDesktopNotifier notifier; // outlives the window, whose cycle tells it of new mail
    TTolmu window(prompt, desktop, worker, accounts);
    prompt.SetOwner(&window);
    notifier.OnOpen = [&window](const TNewMailNote& note) { window.NotificationClicked(note); };
    window.Cycle().Notifier = &notifier;
    // The end of the desktop session runs the normal exit steps; before the
    // start-up there is nothing to save, and the settings not read yet must
    // not be written over the user's.
    bool started = false;
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &window, [&](QSessionManager&) {
        if (started)
            window.FormClose();
    });
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &window, [&] {
        if (started)
            window.FormClose();
    });
    // The start-up runs inside the event loop, so that a quit signal ends
    // the loop of a box it shows together with the main one. Its loading
    // either succeeds or ends the program.
    QTimer::singleShot(0, &window, [&] {
        started = true;
        try {
            window.FormCreate();
            window.FormActivate();
        } catch (const std::exception& e) {
            // As a fatal error is: someone who started it from a terminal sees why.
            std::fprintf(stderr, "%s\n", report::ConsoleText(e.what()).c_str());
            prompt.Message(e.what(), TPrompt::Icon::Error);
        }
        if (CaughtQuitSignal() != 0) {
            QCoreApplication::quit();
            return;
        }
        window.show();
        instance.Listen([&window] {
            // An open dialog or message box stays on top of its window.
            QWidget* front = QApplication::activeModalWidget();
            if (!front) {
                window.show();
                front = &window;
            }
            front->raise();
            front->activateWindow();
        });
    });
    const int status = app.exec();
    report::SetFatalSink(nullptr);
    return status;
}
