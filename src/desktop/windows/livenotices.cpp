#include "windows/livenotices.h"

#include "platform/notifications.h"
#include "watch/livemodel.h"

namespace {

// Enough names to recognise; a full server's list would not fit a notification.
constexpr int NamesShown = 12;
// Notifications that can still be activated.
constexpr int NotifiedKept = 100;

QString favouriteName(const LiveAlert &alert)
{
    const QString own = alert.favourite.name.trimmed();
    if (!own.isEmpty())
        return own;
    const QString server = alert.state.serverName.trimmed();
    return server.isEmpty() ? alert.favourite.server.address : server;
}

}

LiveNotices::LiveNotices(const LiveModel &model, Notifications &notifications, QObject *parent)
    : QObject(parent)
    , m_notifications(notifications)
{
    connect(&model, &LiveModel::alerted, this, &LiveNotices::notify);
    connect(&m_notifications, &Notifications::activated, this, &LiveNotices::activate);
}

void LiveNotices::activate(int key)
{
    if (m_notified.contains(key))
        emit serverChosen(m_notified.value(key));
}

namespace {

// Summary and body of an alert's notification, as plain text.
std::pair<QString, QString> texts(const LiveAlert &alert)
{
    if (alert.kind == LiveAlert::Kind::friendOnline)
        return {QStringLiteral("%1 is playing on %2").arg(alert.found.player, alert.found.place()),
                alert.found.server.address + QLatin1Char(':') + alert.found.server.queryPort};
    const QString summary =
        QStringLiteral("%1 has %2 players").arg(favouriteName(alert)).arg(alert.state.players);
    QString body = FavouritesWatch::describe(alert.favourite, alert.state);
    if (!alert.state.playerNames.isEmpty()) {
        body += QStringLiteral("\nPlayers: ") + alert.state.playerNames.mid(0, NamesShown).join(QStringLiteral(", "));
        if (alert.state.playerNames.size() > NamesShown)
            body += QStringLiteral(" …");
    }
    return {summary, body};
}

}

void LiveNotices::notify(const LiveAlert &alert)
{
    const auto [summary, body] = texts(alert);
    const int key = m_nextKey++;
    m_notified.insert(key, alert.server());
    m_notified.remove(key - NotifiedKept);
    m_notifications.show(summary, body, key);
}
