#pragma once

#include "core/ticker.h"

#include <QObject>
#include <QTimer>

// The windows' clock: a timer switched on and off like a switch.
class Timer final : public QObject, public Ticker
{
    Q_OBJECT
public:
    explicit Timer(int intervalMs, QObject *parent = nullptr);

    bool isEnabled() const override { return m_timer.isActive(); }
    void setEnabled(bool enabled) override;
    int interval() const { return m_timer.interval(); }

signals:
    void tick();

private:
    QTimer m_timer;
};
