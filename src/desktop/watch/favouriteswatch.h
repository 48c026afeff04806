#pragma once

#include "core/queryaddress.h"
#include "watch/friendswatch.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// One favourite as the watch sees it: its slot (0 to 5), its name, and the
// three values that name its server.
struct WatchedFavourite
{
    int slot = 0;
    QString name;
    ServerValues server;

    bool operator==(const WatchedFavourite &) const = default;
};

// What the service last said of a favourite's server.
struct LiveState
{
    enum class Kind { waiting, answered, noAnswer };
    Kind kind = Kind::waiting;
    QString serverName;
    QString map;
    int players = 0; // human players
    std::optional<int> maxPlayers;
    QStringList playerNames;

    bool operator==(const LiveState &) const = default;
};

// Something the player asked to be told of: a favourite that filled up, or
// a friend who is playing somewhere.
struct LiveAlert
{
    enum class Kind { filled, friendOnline };
    Kind kind = Kind::filled;
    WatchedFavourite favourite; // filled
    LiveState state;            // filled
    FriendOnline found;         // friendOnline

    // The server the alert is about.
    ServerValues server() const { return kind == Kind::filled ? favourite.server : found.server; }
};

struct AlertRules
{
    bool enabled = true;
    int minPlayers = 2;
};

// The favourites' rules, without network or clock: the favourites to ask in
// each round come out, the service's JSON answers go in, and live states and
// alerts come out. A server is asked once at a time. The first answer of a
// server only sets what is already true; an alert is given when its
// condition becomes true, and again only after it has been false. A server
// that does not answer leaves its conditions as they were, so a lost answer
// does not repeat an alert.
class FavouritesWatch final
{
public:
    void setRules(AlertRules rules);

    // Starts a round over the favourites as they are now and returns those
    // to ask: one for each server not already asked. A favourite whose server
    // changed starts afresh; a favourite that is gone is forgotten.
    QList<WatchedFavourite> startRound(const QList<WatchedFavourite> &favourites);

    // The service's answer for a server asked in this round: the JSON body,
    // or nothing when the request failed. Returns the alerts it gives.
    QList<LiveAlert> answered(const ServerValues &server, const std::optional<QByteArray> &json);

    const QList<WatchedFavourite> &favourites() const { return m_favourites; }
    LiveState state(const ServerValues &server) const;

    // "Name — 5/16 players — DM-Deck", "Name — no answer", "Name — asking…";
    // the name is the favourite's, else the server's, else its address.
    static QString describe(const WatchedFavourite &favourite, const LiveState &state);
    // The state read from the service's JSON; nothing when it is not an
    // answer from a server that is online.
    static std::optional<LiveState> parse(const QByteArray &json);

private:
    struct Server
    {
        LiveState state;
        bool asking = false;
        bool known = false;   // has answered once: its conditions are set
        bool filled = false;  // at least minPlayers human players
    };
    static QString key(const ServerValues &server);

    AlertRules m_rules;
    QList<WatchedFavourite> m_favourites;
    QHash<QString, Server> m_servers;
};
