// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Notifications.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QStringList>
#include <QVariantMap>

namespace {

const QString Service = QStringLiteral("org.freedesktop.Notifications");
const QString Path = QStringLiteral("/org/freedesktop/Notifications");
const QString Interface = QStringLiteral("org.freedesktop.Notifications");
// A service that never sends NotificationClosed must not grow the table.
constexpr std::size_t MaxRemembered = 32;

QString fromUtf8(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

} // namespace

TDesktopNotifier::TDesktopNotifier(QDBusConnection bus, QObject* parent) : QObject(parent), m_bus(std::move(bus))
{
    m_bus.connect(Service, Path, Interface, QStringLiteral("ActionInvoked"), this,
                  SLOT(actionInvoked(uint, QString)));
    m_bus.connect(Service, Path, Interface, QStringLiteral("NotificationClosed"), this,
                  SLOT(notificationClosed(uint, uint)));
}

bool TDesktopNotifier::Available()
{
    if (!m_bus.isConnected() || !m_bus.interface())
        return false;
    if (m_bus.interface()->isServiceRegistered(Service).value())
        return true;
    const QDBusMessage reply = m_bus.call(QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("ListActivatableNames")));
    return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()
        && reply.arguments().first().toStringList().contains(Service);
}

QString TDesktopNotifier::Summary(const TNewMailNote& note)
{
    return fromUtf8(note.Account.AccName) + QStringLiteral(": ") + QString::number(note.NewCount)
        + (note.NewCount == 1 ? QStringLiteral(" new message") : QStringLiteral(" new messages"));
}

QString TDesktopNotifier::Body(const TNewMailNote& note, bool markup)
{
    QStringList lines;
    for (const TMailHeadline& m : note.Newest) {
        const QString from = fromUtf8(m.From);
        const QString subject = m.Subject.empty() ? QStringLiteral("(no subject)") : fromUtf8(m.Subject);
        lines << (markup ? from.toHtmlEscaped() + QStringLiteral(": ") + subject.toHtmlEscaped()
                         : from + QStringLiteral(": ") + subject);
    }
    return lines.join(QLatin1Char('\n'));
}

void TDesktopNotifier::NotifyNewMail(const TNewMailNote& note)
{
    const QDBusPendingCall call = m_bus.asyncCall(
        QDBusMessage::createMethodCall(Service, Path, Interface, QStringLiteral("GetCapabilities")));
    auto* watcher = new QDBusPendingCallWatcher(call, this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, note](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusPendingReply<QStringList> caps = *w;
        // Without an answer the text goes plain: escaped text on a service
        // that renders none would show "&amp;".
        send(note, !caps.isError() && caps.value().contains(QStringLiteral("body-markup")));
    });
}

void TDesktopNotifier::send(const TNewMailNote& note, bool markup)
{
    uint replaces = 0;
    for (const auto& [id, shown] : m_shown)
        if (shown.Account == note.Account)
            replaces = id;
    QDBusMessage msg = QDBusMessage::createMethodCall(Service, Path, Interface, QStringLiteral("Notify"));
    QVariantMap hints;
    hints.insert(QStringLiteral("category"), QStringLiteral("email.arrived"));
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("org.tolmu.Tolmu"));
    msg << QStringLiteral("Tolmu") << replaces << QStringLiteral("mail-unread") << Summary(note)
        << Body(note, markup) << QStringList{QStringLiteral("default"), QStringLiteral("Open")} << hints
        << int32_t(-1);
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(msg), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, note, replaces](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        const QDBusPendingReply<uint> id = *w;
        if (id.isError())
            return;
        if (replaces != 0)
            m_shown.erase(replaces);
        if (m_shown.size() >= MaxRemembered)
            m_shown.erase(m_shown.begin());
        m_shown[id.value()] = note;
    });
}

void TDesktopNotifier::actionInvoked(uint id, const QString& action)
{
    const auto it = m_shown.find(id);
    if (it == m_shown.end() || action != QStringLiteral("default"))
        return;
    const TNewMailNote note = it->second;
    if (OnOpen)
        OnOpen(note);
}

void TDesktopNotifier::notificationClosed(uint id, uint) { m_shown.erase(id); }
