#include "platform/sim/sim_calendar.h"

#include <algorithm>

#include "runtime/main_queue.h"

namespace halvyn {

void SimCalendarStore::requestFullAccess(std::function<void(bool, std::optional<std::string>)> done) {
    main_.post([this, done = std::move(done)] {
        if (authorization == CalendarAuthorization::notDetermined)
            authorization = grantsAccess ? CalendarAuthorization::fullAccess : CalendarAuthorization::denied;
        done(authorization == CalendarAuthorization::fullAccess, std::nullopt);
    });
}

void SimCalendarStore::fetch(CalendarQuery query, std::function<void(CalendarAnswer)> done) {
    ++queries;
    CalendarAnswer answer;
    for (auto& e : eventList) {
        if (std::find(query.calendarIds.begin(), query.calendarIds.end(), e.calendarId) != query.calendarIds.end() &&
            e.start < query.to && e.end > query.from)
            answer.events.push_back(e);
        if (std::find(query.eventIds.begin(), query.eventIds.end(), e.id) != query.eventIds.end())
            answer.found.push_back(e);
    }
    auto deliver = [answer = std::move(answer), done = std::move(done)]() mutable { done(std::move(answer)); };
    if (answerDelay > 0) main_.postAfter(halvyn::seconds(answerDelay), std::move(deliver));
    else main_.post(std::move(deliver));
}

}  // namespace halvyn
