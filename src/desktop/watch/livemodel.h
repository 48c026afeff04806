#pragma once

#include "watch/favouriteswatch.h"
#include "watch/friendswatch.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

// What the watching knows now, for the views to observe: each favourite's
// live state, the friends online, and the alerts as they are given. The
// watch writes it; the tray, the favourites window and the notifications
// read it and follow its signals.
class LiveModel final : public QObject
{
    Q_OBJECT
public:
    struct Favourite
    {
        WatchedFavourite favourite;
        LiveState state;

        bool operator==(const Favourite &) const = default;
    };

    explicit LiveModel(QObject *parent = nullptr);
    Q_DISABLE_COPY_MOVE(LiveModel)

    // In slot order.
    const QList<Favourite> &favourites() const { return m_favourites; }
    const QList<FriendOnline> &friends() const { return m_friends; }

    // "Name — 5/16 players — DM-Deck" for each favourite, in slot order.
    QStringList favouriteLines() const;
    // The same by slot, empty for a slot not watched.
    QStringList favouriteLinesBySlot() const;
    // "Alice — Big Warfare" for each friend online.
    QStringList friendLines() const;

    // Each signals only a change.
    void setFavourites(QList<Favourite> favourites);
    void setFriends(QList<FriendOnline> friends);
    void alert(const LiveAlert &alert) { emit alerted(alert); }

signals:
    void favouritesChanged();
    void friendsChanged();
    void alerted(const LiveAlert &alert);

private:
    QList<Favourite> m_favourites;
    QList<FriendOnline> m_friends;
};
