#pragma once
// What the lock source drives in managers built after it: the panel over the locked screen, and
// the widgets' sources, which bring their content up to date while the screen is locked.

namespace halvyn {

class LockScreenPresenter {
public:
    virtual ~LockScreenPresenter() = default;
    virtual void show() = 0;
    virtual void hide() = 0;
};

class CalendarRefresh {
public:
    virtual ~CalendarRefresh() = default;
    virtual void refreshEvents() = 0;
};

class WeatherUpdates {
public:
    virtual ~WeatherUpdates() = default;
    virtual void startUpdating() = 0;
    virtual void stopUpdating() = 0;
};

}  // namespace halvyn
