#pragma once

#include "core/queryaddress.h"
#include "platform/notifications.h"
#include "watch/livesettings.h"
#include "watch/livewatch.h"

#include <QObject>
#include <QPointer>

#include <memory>

class AlertsDialog;
class LiveNotices;
class LiveTray;
class Tray;

// Watches the favourites with the settings in their file, and lets the
// tray, the notifications and the Alerts dialog follow the live model; it
// knows no window of the program: a server to look at is asked for with
// queryRequested().
class Watching final : public QObject
{
    Q_OBJECT
public:
    Watching(const QString &favoritesQueryHost, QString favouritesPath, QString settingsPath);
    ~Watching() override;
    Q_DISABLE_COPY_MOVE(Watching)

    // Null where the desktop has no tray.
    Tray *tray() const { return m_tray.get(); }
    const LiveModel &model() const { return m_watch.model(); }

    // Asks the service again at once rather than at the next refresh time.
    void refresh() { m_watch.refresh(); }

    AlertsDialog *showAlerts();
    // Without a tray, the Alerts dialog is one key away in that window.
    void addAlertsKey(QWidget *window);

signals:
    // The main window should come up and query the server.
    void queryRequested(const ServerValues &server);
    // The main window should come up.
    void showRequested();

private:
    // Saves the settings chosen in the dialog and watches by them.
    void keep(const LiveSettings &settings);

    const QString m_settingsPath;
    LiveSettings m_settings;
    LiveWatch m_watch;
    Notifications m_notifications;
    std::unique_ptr<Tray> m_tray;
    std::unique_ptr<LiveTray> m_liveTray;
    std::unique_ptr<LiveNotices> m_notices;
    QPointer<AlertsDialog> m_alerts;
};
