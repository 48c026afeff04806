#pragma once

#include "core/queryaddress.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// A watched name playing somewhere, as the service's player search has it.
struct FriendOnline
{
    QString player; // as the server spells it
    QString serverName;
    ServerValues server;

    // The server's name, else its address and query port.
    QString place() const;
    bool operator==(const FriendOnline &) const = default;
};

// The friend rules, without network or clock: the names to search for in
// each round come out, the service's player-search JSON goes in, and the
// friends newly online come out. A name is searched for once at a time.
// A match is the watched name itself, whole and in any case, online. The
// first answer for a name only sets what is already true; a friend on a
// server is told of when they arrive there, and again only after they have
// left it. A search that gets no answer leaves everything as it was.
class FriendsWatch final
{
public:
    // The names to look for. A name no longer watched is forgotten; a new
    // one starts with a baseline.
    void setNames(const QStringList &names);

    // The names to search for now: those not still being searched for.
    QStringList startRound();

    // The service's answer to the search for `name`: the JSON body, or
    // nothing when the request failed. Returns those newly online.
    QList<FriendOnline> answered(const QString &name, const std::optional<QByteArray> &json);

    // Every watched name online now, in the order of the names.
    QList<FriendOnline> online() const;

    // The matches in the JSON that are `name` and online; nothing when it is
    // no search answer.
    static std::optional<QList<FriendOnline>> parse(const QString &name, const QByteArray &json);

private:
    struct Watched
    {
        QString name;
        bool asking = false;
        bool known = false; // has been answered once: its baseline is set
        QList<FriendOnline> online;
    };

    QStringList m_order; // case-folded names, as given
    QHash<QString, Watched> m_names; // by case-folded name
};
