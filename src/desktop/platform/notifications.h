#pragma once

#include <QHash>
#include <QObject>
#include <QString>

// The desktop's notification service (org.freedesktop.Notifications on the
// session bus). Calls never wait on the bus: the answer comes back later.
class Notifications final : public QObject
{
    Q_OBJECT
public:
    explicit Notifications(QObject *parent = nullptr);

    // Shows a notification whose default action gives activated(key).
    // summary is plain text; body is plain text too, escaped here for the
    // services that read it as markup. Without a notification service,
    // unavailable() comes instead, with the same values.
    void show(const QString &summary, const QString &body, int key);

signals:
    void activated(int key);
    void unavailable(const QString &summary, const QString &body, int key);

private slots:
    void actionInvoked(uint id, const QString &action);
    void closed(uint id, uint reason);

private:
    QHash<uint, int> m_keys; // shown notifications by the service's id
};
