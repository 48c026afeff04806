#include "watch/favouriteswatch.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

void FavouritesWatch::setRules(AlertRules rules)
{
    m_rules = rules;
}

QString FavouritesWatch::key(const ServerValues &server)
{
    // The three values as the favourites file holds them: a change in any
    // is another server.
    return server.address + QChar(0) + server.queryPort + QChar(0) + server.webPort;
}

QList<WatchedFavourite> FavouritesWatch::startRound(const QList<WatchedFavourite> &favourites)
{
    m_favourites = favourites;
    QHash<QString, Server> kept;
    QList<WatchedFavourite> toAsk;
    for (const WatchedFavourite &favourite : favourites) {
        const QString k = key(favourite.server);
        if (kept.contains(k))
            continue;
        Server server = m_servers.value(k);
        if (!server.asking) {
            server.asking = true;
            toAsk.append(favourite);
        }
        kept.insert(k, server);
    }
    m_servers = std::move(kept);
    return toAsk;
}

std::optional<LiveState> FavouritesWatch::parse(const QByteArray &json)
{
    const QJsonObject answer = QJsonDocument::fromJson(json).object();
    const QJsonObject server = answer.value(QLatin1String("server")).toObject();
    if (answer.value(QLatin1String("state")).toString() != QLatin1String("online") || server.isEmpty())
        return std::nullopt;
    LiveState state{.kind = LiveState::Kind::answered,
                    .serverName = server.value(QLatin1String("name")).toString(),
                    .map = server.value(QLatin1String("map")).toString()};
    for (const QJsonValue &player : answer.value(QLatin1String("players")).toArray())
        state.playerNames.append(player.toObject().value(QLatin1String("name")).toString());
    // numPlayers counts the humans, bots apart; a server that leaves it out
    // is counted by its list.
    const QJsonValue humans = server.value(QLatin1String("numPlayers"));
    state.players = humans.isDouble() ? humans.toInt() : int(state.playerNames.size());
    if (const QJsonValue most = server.value(QLatin1String("maxPlayers")); most.isDouble())
        state.maxPlayers = most.toInt();
    return state;
}

QList<LiveAlert> FavouritesWatch::answered(const ServerValues &serverValues, const std::optional<QByteArray> &json)
{
    const auto found = m_servers.find(key(serverValues));
    // An answer for a server that left the favourites meanwhile.
    if (found == m_servers.end())
        return {};
    Server &server = *found;
    server.asking = false;
    const std::optional<LiveState> state = json ? parse(*json) : std::nullopt;
    if (!state) {
        server.state = LiveState{.kind = LiveState::Kind::noAnswer};
        return {};
    }
    server.state = *state;

    const bool filled = state->players >= m_rules.minPlayers;
    const bool first = !server.known;
    const bool newlyFilled = filled && !server.filled;
    server.known = true;
    server.filled = filled;
    if (first || !m_rules.enabled || !newlyFilled)
        return {};

    WatchedFavourite favourite;
    for (const WatchedFavourite &f : m_favourites)
        if (key(f.server) == found.key()) {
            favourite = f;
            break;
        }
    return {{LiveAlert::Kind::filled, favourite, *state, {}}};
}

LiveState FavouritesWatch::state(const ServerValues &server) const
{
    return m_servers.value(key(server)).state;
}

QString FavouritesWatch::describe(const WatchedFavourite &favourite, const LiveState &state)
{
    QString name = favourite.name.trimmed();
    if (name.isEmpty())
        name = state.serverName.trimmed();
    if (name.isEmpty())
        name = favourite.server.address;
    switch (state.kind) {
    case LiveState::Kind::waiting:
        return name + QStringLiteral(" — asking…");
    case LiveState::Kind::noAnswer:
        return name + QStringLiteral(" — no answer");
    case LiveState::Kind::answered:
        break;
    }
    const QString most = state.maxPlayers ? QString::number(*state.maxPlayers) : QStringLiteral("?");
    QString text = name + QStringLiteral(" — %1/%2 players").arg(state.players).arg(most);
    if (!state.map.isEmpty())
        text += QStringLiteral(" — ") + state.map;
    return text;
}
