// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// New-mail notifications on the desktop: org.freedesktop.Notifications on the
// session bus. Everything is sent asynchronously, so a slow or missing
// notification service never holds up the window; its failures are ignored.
#include "core/mailbox/NewMailNote.h"

#include <QDBusConnection>
#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <map>

class TDesktopNotifier : public QObject, public TNotifier {
    Q_OBJECT
public:
    // bus: the session bus unless a test gives a private one.
    explicit TDesktopNotifier(QDBusConnection bus = QDBusConnection::sessionBus(), QObject* parent = nullptr);

    // True when a notification service owns its name on the bus, or the bus
    // can start one on demand.
    bool Available() override;
    // Asks the service what it renders, then shows the note (replacing the
    // account's previous one still on screen).
    void NotifyNewMail(const TNewMailNote& note) override;

    // A notification was clicked (its default action): the note it showed.
    std::function<void(const TNewMailNote& note)> OnOpen;

    // "Home: 3 new messages".
    static QString Summary(const TNewMailNote& note);
    // One line per message, "sender: subject"; with markup, &, < and > are
    // escaped so a subject cannot bold, link or hide the text.
    static QString Body(const TNewMailNote& note, bool markup);

private slots:
    void actionInvoked(uint id, const QString& action);
    void notificationClosed(uint id, uint reason);

private:
    void send(const TNewMailNote& note, bool markup);

    QDBusConnection m_bus;
    // Notification id -> what it told; the account without its secret.
    std::map<uint, TNewMailNote> m_shown;
};
