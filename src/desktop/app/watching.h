#pragma once

#include "core/queryaddress.h"
#include "platform/notifications.h"
#include "watch/livewatch.h"

#include <QHash>
#include <QObject>
#include <QPointer>

#include <memory>

class AlertsDialog;
class MainWindow;
class Program;
class Tray;

// Shows what the watch learns: the tray's menu and tooltip, the favourites
// window's option buttons and the desktop's notifications; and takes the
// player from them to the main window querying that favourite.
class Watching final : public QObject
{
    Q_OBJECT
public:
    Watching(Program &program, QString favouritesPath, QString settingsPath);
    ~Watching() override;
    Q_DISABLE_COPY_MOVE(Watching)

    // Null where the desktop has no tray.
    Tray *tray() const { return m_tray.get(); }
    const LiveWatch &watch() const { return m_watch; }

    AlertsDialog *showAlerts();
    // The main window comes up and queries the server.
    void query(const ServerValues &server);

private:
    // Saves the settings chosen in the dialog and watches by them.
    void keep(const LiveSettings &settings);
    void showStates();
    void addAlertsKey(MainWindow *main);
    void notify(const LiveAlert &alert);

    Program &m_program;
    const QString m_settingsPath;
    LiveSettings m_settings;
    LiveWatch m_watch;
    Notifications m_notifications;
    std::unique_ptr<Tray> m_tray;
    QPointer<AlertsDialog> m_alerts;
    QHash<int, ServerValues> m_notified; // by notification key
    int m_nextKey = 0;
};
