#include "watch/livewatch.h"

#include "favourites/favouritesfile.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

#include <algorithm>

LiveWatch::LiveWatch(QString favoritesQueryHost, FavouritesSource favourites, QObject *parent)
    : QObject(parent)
    , m_host(std::move(favoritesQueryHost))
    , m_favourites(std::move(favourites))
{
    // Coarse: a round a few hundred milliseconds late matters to nobody, and
    // the system may group the wake-ups.
    m_timer.setTimerType(Qt::VeryCoarseTimer);
    connect(&m_timer, &QTimer::timeout, this, &LiveWatch::round);
}

LiveWatch::~LiveWatch()
{
    // Requests still out end without being heard of.
    if (m_network)
        for (QNetworkReply *reply : m_network->findChildren<QNetworkReply *>())
            reply->disconnect(this);
}

void LiveWatch::setSettings(const LiveSettings &settings)
{
    m_watch.setRules({settings.alertsEnabled, settings.minPlayers});
    m_friends.setNames(settings.alertsEnabled ? settings.names : QStringList());
    m_model.setFriends(m_friends.online());
    // An answer later than the next round would only be in its way.
    m_transferTimeoutMs = std::min(settings.refreshSeconds, 30) * 1000;
    m_timer.setInterval(settings.refreshSeconds * 1000);
    // A name just added is looked for at once.
    refresh();
}

void LiveWatch::refresh()
{
    m_timer.start();
    round();
}

void LiveWatch::showStates()
{
    QList<LiveModel::Favourite> favourites;
    for (const WatchedFavourite &favourite : m_watch.favourites())
        favourites.append({favourite, m_watch.state(favourite.server)});
    m_model.setFavourites(std::move(favourites));
}

QList<WatchedFavourite> LiveWatch::favouritesFrom(const QStringList &values24)
{
    QList<WatchedFavourite> list;
    for (int slot = 0; slot < FavouritesFile::SlotCount; ++slot) {
        const int first = slot * FavouritesFile::KeysPerSlot;
        const ServerValues server{values24.value(first + 1), values24.value(first + 2), values24.value(first + 3)};
        if (!server.address.trimmed().isEmpty())
            list.append({slot, values24.value(first), server});
    }
    return list;
}

QUrl LiveWatch::searchAddress(const QString &favoritesQueryHost, const QString &name)
{
    // Encoded whole: a name may hold "&", "+" or "#".
    QUrl address(QStringLiteral("http://") + favoritesQueryHost + QStringLiteral("/players"), QUrl::TolerantMode);
    address.setQuery(QStringLiteral("name=") + QString::fromLatin1(QUrl::toPercentEncoding(name))
                     + QStringLiteral("&format=json"));
    return address;
}

QUrl LiveWatch::statusAddress(const QString &favoritesQueryHost, const ServerValues &server)
{
    return QUrl(QueryAddress::compose(QueryAddress::favoritesQueryBase(favoritesQueryHost), server)
                    + QStringLiteral("&format=json"),
                QUrl::TolerantMode);
}

void LiveWatch::round()
{
    for (const WatchedFavourite &favourite : m_watch.startRound(m_favourites())) {
        get(statusAddress(m_host, favourite.server), [this, server = favourite.server](const auto &body) {
            const QList<LiveAlert> alerts = m_watch.answered(server, body);
            // The model is up to date before anyone is told.
            showStates();
            for (const LiveAlert &alert : alerts)
                m_model.alert(alert);
        });
    }
    for (const QString &name : m_friends.startRound()) {
        get(searchAddress(m_host, name), [this, name](const auto &body) {
            const QList<FriendOnline> arrived = m_friends.answered(name, body);
            m_model.setFriends(m_friends.online());
            for (const FriendOnline &found : arrived)
                m_model.alert({.kind = LiveAlert::Kind::friendOnline, .found = found});
        });
    }
    showStates();
}

void LiveWatch::get(const QUrl &address, std::function<void(const std::optional<QByteArray> &)> answered)
{
    if (!m_network)
        m_network = new QNetworkAccessManager(this);
    QNetworkRequest request(address);
    request.setTransferTimeout(m_transferTimeoutMs);
    QNetworkReply *reply = m_network->get(request);
    // Stopped as soon as it is too long, rather than held whole first.
    connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64) {
        if (received > MaxAnswerBytes)
            reply->abort();
    });
    connect(reply, &QNetworkReply::finished, this, [reply, answered = std::move(answered)] {
        reply->deleteLater();
        std::optional<QByteArray> body;
        if (reply->error() == QNetworkReply::NoError) {
            body = reply->read(MaxAnswerBytes + 1);
            if (body->size() > MaxAnswerBytes)
                body.reset();
        }
        answered(body);
    });
}
