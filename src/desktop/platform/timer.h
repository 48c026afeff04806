#pragma once

#include <QObject>
#include <QTimer>

// A timer switched on and off like a switch: enabling one that already runs
// changes nothing (the next tick comes when it would have come anyway).
class Timer final : public QObject
{
    Q_OBJECT
public:
    explicit Timer(int intervalMs, QObject *parent = nullptr);

    bool isEnabled() const { return m_timer.isActive(); }
    void setEnabled(bool enabled);
    int interval() const { return m_timer.interval(); }

signals:
    void tick();

private:
    QTimer m_timer;
};
