#pragma once

#include "core/queryaddress.h"

#include <QHash>
#include <QObject>

class LiveModel;
class Notifications;
struct LiveAlert;

// The desktop's notifications follow the live model's alerts. Activating
// one (or its stand-in, the tray's balloon) asks for the server it names.
class LiveNotices final : public QObject
{
    Q_OBJECT
public:
    LiveNotices(const LiveModel &model, Notifications &notifications, QObject *parent = nullptr);

    // The notification with that key was activated.
    void activate(int key);

signals:
    void serverChosen(const ServerValues &server);

private:
    void notify(const LiveAlert &alert);

    Notifications &m_notifications;
    QHash<int, ServerValues> m_notified; // by notification key
    int m_nextKey = 0;
};
