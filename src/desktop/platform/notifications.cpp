#include "platform/notifications.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QGuiApplication>

namespace {

const QString Service = QStringLiteral("org.freedesktop.Notifications");
const QString Path = QStringLiteral("/org/freedesktop/Notifications");
const QString Interface = QStringLiteral("org.freedesktop.Notifications");

}

Notifications::Notifications(QObject *parent)
    : QObject(parent)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.connect(Service, Path, Interface, QStringLiteral("ActionInvoked"), this,
                SLOT(actionInvoked(uint, QString)));
    bus.connect(Service, Path, Interface, QStringLiteral("NotificationClosed"), this, SLOT(closed(uint, uint)));
}

void Notifications::show(const QString &summary, const QString &body, int key)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        emit unavailable(summary, body, key);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(Service, Path, Interface, QStringLiteral("Notify"));
    const QString application = QGuiApplication::desktopFileName();
    call << QGuiApplication::applicationDisplayName() << uint(0) << application << summary << body.toHtmlEscaped()
         << QStringList{QStringLiteral("default"), QStringLiteral("Show")}
         << QVariantMap{{QStringLiteral("desktop-entry"), application}} << int(-1);
    // A service started on demand may take a while; the program goes on.
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, summary, body, key] {
        watcher->deleteLater();
        const QDBusPendingReply<uint> reply = *watcher;
        if (reply.isError())
            emit unavailable(summary, body, key);
        else
            m_keys.insert(reply.value(), key);
    });
}

void Notifications::actionInvoked(uint id, const QString &action)
{
    if (action == QLatin1String("default") && m_keys.contains(id))
        emit activated(m_keys.value(id));
}

void Notifications::closed(uint id, uint reason)
{
    Q_UNUSED(reason);
    m_keys.remove(id);
}
