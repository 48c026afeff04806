#include "core/progresssequence.h"

#include <utility>

ProgressSequence::ProgressSequence(Ticker &clock, std::function<void()> action, std::function<void(float)> showValue)
    : m_clock(clock)
    , m_action(std::move(action))
    , m_showValue(std::move(showValue))
{
}

void ProgressSequence::tick()
{
    if (m_value <= Threshold) {
        setValue(m_value + Step);
        return;
    }
    m_action();
    m_clock.setEnabled(false);
    setValue(ResetValue);
}

void ProgressSequence::setValue(float value)
{
    m_value = value;
    m_showValue(value);
}
