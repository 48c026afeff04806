#pragma once

// The click-enables-timer pattern shared by every query and every save: a
// click only enables a timer; each tick advances a bar by one step, and the
// tick that finds the bar above the threshold performs the action, then stops
// the timer, then empties the bar. The bar's value is the whole state.
namespace ProgressSequence {

inline constexpr float Threshold = 90.0f;
inline constexpr float Step = 10.0f;
inline constexpr float ResetValue = 0.0f;

// Bar: float value() const; void setValue(float).
// Timer: void setEnabled(bool).
// The action runs while the bar still reads its full value and the timer is
// still enabled; both change only after it has returned.
template<class Bar, class Timer, class Action>
void tick(Bar &bar, Timer &timer, Action &&action)
{
    const float value = bar.value();
    if (value <= Threshold) {
        bar.setValue(value + Step);
        return;
    }
    action();
    timer.setEnabled(false);
    bar.setValue(ResetValue);
}

}
