#pragma once

#include "core/ticker.h"

#include <QtGlobal>

#include <functional>

// The click-enables-timer pattern shared by every query and every save: a
// click only starts the clock; each tick advances the bar by one step, and
// the tick that finds the bar above the threshold performs the action, then
// stops the clock, then empties the bar.
class ProgressSequence final
{
    Q_DISABLE_COPY_MOVE(ProgressSequence)
public:
    static constexpr float Threshold = 90.0f;
    static constexpr float Step = 10.0f;
    static constexpr float ResetValue = 0.0f;

    enum class State { Idle, Running };

    // showValue: shows the value on the bar, which reads it back unchanged.
    ProgressSequence(Ticker &clock, std::function<void()> action, std::function<void(float)> showValue);

    State state() const { return m_clock.isEnabled() ? State::Running : State::Idle; }
    float value() const { return m_value; }

    // A click: a sequence already running goes on from where it is.
    void start() { m_clock.setEnabled(true); }
    // The bar keeps its value.
    void stop() { m_clock.setEnabled(false); }
    // The action runs while the bar still reads its full value and the clock
    // still runs; both change only after it has returned.
    void tick();

private:
    void setValue(float value);

    Ticker &m_clock;
    const std::function<void()> m_action;
    const std::function<void(float)> m_showValue;
    float m_value = ResetValue;
};
