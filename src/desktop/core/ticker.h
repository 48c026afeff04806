#pragma once

// The clock a controller runs on: switched on, it calls the controller back
// at its interval until switched off. Windows give the controllers a real
// timer; tests give them one they tick by hand.
class Ticker
{
public:
    virtual ~Ticker() = default;
    virtual bool isEnabled() const = 0;
    // Enabling a ticker that already runs changes nothing: the next tick
    // comes when it would have come anyway.
    virtual void setEnabled(bool enabled) = 0;
};
