#pragma once
// What the lock handling asks of the lock-screen panel and of the widgets' data sources. Each
// owner fills in its part when it exists; an empty hook does nothing.

#include <functional>

namespace halvyn {

struct LockScreenHooks {
    std::function<void()> showPanel;
    std::function<void()> hidePanel;
    // Refreshes the calendar events the lock-screen widget shows.
    std::function<void()> refreshCalendarEvents;
    // Asks the weather source to refresh, and to drop a refresh it still has pending.
    std::function<void()> refreshWeather;
    std::function<void()> cancelWeatherRefresh;

    static void run(const std::function<void()>& hook) {
        if (hook) hook();
    }
};

}  // namespace halvyn
