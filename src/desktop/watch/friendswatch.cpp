#include "watch/friendswatch.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace {

// One session of a player: a server, by the values that name it to the
// service (a web port learnt later is the same server).
bool sameServer(const FriendOnline &a, const FriendOnline &b)
{
    return a.server.address == b.server.address && a.server.queryPort == b.server.queryPort;
}

QString portText(const QJsonValue &port)
{
    return QString::number(port.toInteger(0));
}

}

QString FriendOnline::place() const
{
    const QString name = serverName.trimmed();
    return name.isEmpty() ? server.address + QLatin1Char(':') + server.queryPort : name;
}

void FriendsWatch::setNames(const QStringList &names)
{
    QHash<QString, Watched> kept;
    m_order.clear();
    for (const QString &name : names) {
        const QString folded = name.toCaseFolded();
        if (kept.contains(folded))
            continue;
        m_order.append(folded);
        kept.insert(folded, m_names.value(folded, Watched{.name = name}));
    }
    m_names = std::move(kept);
}

QStringList FriendsWatch::startRound()
{
    QStringList toAsk;
    for (const QString &folded : std::as_const(m_order)) {
        Watched &watched = m_names[folded];
        if (watched.asking)
            continue;
        watched.asking = true;
        toAsk.append(watched.name);
    }
    return toAsk;
}

std::optional<QList<FriendOnline>> FriendsWatch::parse(const QString &name, const QByteArray &json)
{
    const QJsonObject answer = QJsonDocument::fromJson(json).object();
    const QJsonValue matches = answer.value(QLatin1String("matches"));
    if (!matches.isArray())
        return std::nullopt;
    const QString folded = name.toCaseFolded();
    QList<FriendOnline> online;
    for (const QJsonValue &value : matches.toArray()) {
        const QJsonObject match = value.toObject();
        const QString player = match.value(QLatin1String("name")).toString();
        // The search finds parts of names; only the whole name is the friend.
        if (player.toCaseFolded() != folded || !match.value(QLatin1String("online")).toBool())
            continue;
        const QJsonObject server = match.value(QLatin1String("server")).toObject();
        const FriendOnline found{player, server.value(QLatin1String("name")).toString(),
                                 {server.value(QLatin1String("address")).toString(),
                                  portText(server.value(QLatin1String("queryPort"))),
                                  portText(server.value(QLatin1String("webPort")))}};
        if (found.server.address.isEmpty())
            continue;
        if (std::none_of(online.begin(), online.end(), [&](const FriendOnline &f) { return sameServer(f, found); }))
            online.append(found);
    }
    return online;
}

QList<FriendOnline> FriendsWatch::answered(const QString &name, const std::optional<QByteArray> &json)
{
    const auto found = m_names.find(name.toCaseFolded());
    // An answer for a name no longer watched.
    if (found == m_names.end())
        return {};
    Watched &watched = *found;
    watched.asking = false;
    const std::optional<QList<FriendOnline>> now = json ? parse(name, *json) : std::nullopt;
    if (!now)
        return {};
    QList<FriendOnline> arrived;
    for (const FriendOnline &online : *now) {
        const bool before = std::any_of(watched.online.begin(), watched.online.end(),
                                        [&](const FriendOnline &f) { return sameServer(f, online); });
        if (!before)
            arrived.append(online);
    }
    const bool first = !watched.known;
    watched.known = true;
    watched.online = *now;
    return first ? QList<FriendOnline>() : arrived;
}

QList<FriendOnline> FriendsWatch::online() const
{
    QList<FriendOnline> all;
    for (const QString &folded : m_order)
        all += m_names.value(folded).online;
    return all;
}
