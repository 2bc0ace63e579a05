#pragma once
// The simulated calendar store: plain state a scenario or a test sets; answers come on a later
// turn of the main queue.

#include <optional>
#include <string>
#include <vector>

#include "platform/calendar_store.h"

namespace halvyn {

class MainQueue;

class SimCalendarStore final : public CalendarStore {
public:
    explicit SimCalendarStore(MainQueue& main) : main_(main) {}

    CalendarAuthorization authorizationStatus() const override { return authorization; }
    void requestFullAccess(std::function<void(bool, std::optional<std::string>)> done) override;
    std::vector<CalendarInfo> calendars() const override { return calendarList; }
    // Reads the events when asked and answers on a later turn (after `answerDelay` seconds).
    void fetch(CalendarQuery query, std::function<void(CalendarAnswer)> done) override;
    Subscription observeChanges(std::function<void()> changed) override { return changed_.connect(std::move(changed)); }

    // Simulation controls.
    CalendarAuthorization authorization = CalendarAuthorization::notDetermined;
    bool grantsAccess = true;  // the user's answer to a request
    std::vector<CalendarInfo> calendarList;
    std::vector<CalendarEvent> eventList;
    // Posts the store's change notification.
    void postChange() { changed_.emit(); }
    // How many event queries were made (a test's measure of work).
    std::size_t queries = 0;
    double answerDelay = 0;

private:
    MainQueue& main_;
    Signal<> changed_;
};

}  // namespace halvyn
