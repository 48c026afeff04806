#pragma once

#include "watch/favouriteswatch.h"
#include "watch/livemodel.h"
#include "watch/livesettings.h"

#include <QObject>
#include <QTimer>
#include <QUrl>

#include <functional>

class QNetworkAccessManager;

// Watches the favourites through the favourites host's JSON status, and
// the watched names through its player search, one round every refresh
// time, without ever waiting on the network: the rules are FavouritesWatch's
// and FriendsWatch's, this only moves the requests and the answers, and
// writes what they give into the model. Names are searched for only while
// alerts are on.
class LiveWatch final : public QObject
{
    Q_OBJECT
public:
    // The favourites as they are now, read afresh at every round.
    using FavouritesSource = std::function<QList<WatchedFavourite>()>;
    // Far beyond any status answer; a larger one counts as no answer.
    static constexpr qint64 MaxAnswerBytes = 4 * 1024 * 1024;

    LiveWatch(QString favoritesQueryHost, FavouritesSource favourites, QObject *parent = nullptr);
    ~LiveWatch() override;
    Q_DISABLE_COPY_MOVE(LiveWatch)

    // Takes effect at once, with a round; the first call starts watching.
    void setSettings(const LiveSettings &settings);
    // A round now, and the next a refresh time later. A server or name still
    // being asked is not asked again.
    void refresh();

    const LiveModel &model() const { return m_model; }

    // The favourites among the 24 values of the favourites file: those whose
    // address is not blank.
    static QList<WatchedFavourite> favouritesFrom(const QStringList &values24);
    // The address the favourites window queries, asking for JSON.
    static QUrl statusAddress(const QString &favoritesQueryHost, const ServerValues &server);
    // The player search of the same host, asking for JSON.
    static QUrl searchAddress(const QString &favoritesQueryHost, const QString &name);

private:
    void round();
    // Asks the host; `answered` gets the body, or nothing when the request failed.
    void get(const QUrl &address, std::function<void(const std::optional<QByteArray> &)> answered);
    void showStates();

    const QString m_host;
    const FavouritesSource m_favourites;
    FavouritesWatch m_watch;
    FriendsWatch m_friends;
    LiveModel m_model;
    QTimer m_timer;
    int m_transferTimeoutMs = 0;
    // Made when there is something to ask.
    QNetworkAccessManager *m_network = nullptr;
};
