#include "watch/livemodel.h"

#include "favourites/favouritesfile.h"

LiveModel::LiveModel(QObject *parent)
    : QObject(parent)
{
}

QStringList LiveModel::favouriteLines() const
{
    QStringList lines;
    for (const Favourite &entry : m_favourites)
        lines.append(FavouritesWatch::describe(entry.favourite, entry.state));
    return lines;
}

QStringList LiveModel::favouriteLinesBySlot() const
{
    QStringList lines(FavouritesFile::SlotCount);
    for (const Favourite &entry : m_favourites)
        if (entry.favourite.slot >= 0 && entry.favourite.slot < FavouritesFile::SlotCount)
            lines[entry.favourite.slot] = FavouritesWatch::describe(entry.favourite, entry.state);
    return lines;
}

QStringList LiveModel::friendLines() const
{
    QStringList lines;
    for (const FriendOnline &online : m_friends)
        lines.append(online.player + QStringLiteral(" — ") + online.place());
    return lines;
}

void LiveModel::setFavourites(QList<Favourite> favourites)
{
    if (favourites == m_favourites)
        return;
    m_favourites = std::move(favourites);
    emit favouritesChanged();
}

void LiveModel::setFriends(QList<FriendOnline> friends)
{
    if (friends == m_friends)
        return;
    m_friends = std::move(friends);
    emit friendsChanged();
}
