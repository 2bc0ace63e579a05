#include "platform/sim/sim_calendar.h"

#include <algorithm>

#include "platform/sim/effect_log.h"
#include "runtime/main_queue.h"

namespace halvyn {

void SimCalendarStore::requestFullAccess(std::function<void(bool, std::optional<std::string>)> done) {
    main_.post([this, done = std::move(done)] {
        if (authorization == 0) authorization = grantsAccess ? kCalendarFullAccess : 2;
        done(authorization == kCalendarFullAccess, std::nullopt);
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

void SimTravelTime::expectedTravelTime(GeoCoordinate destination, TravelMode mode,
                                       std::function<void(std::optional<double>, const std::string&)> done) {
    requests.push_back({destination, mode});
    main_.post([answer = seconds, error = error, done = std::move(done)] { done(answer, answer ? "" : error); });
}

bool SimUrlOpener::openURL(const std::string& url) {
    if (effects_) effects_->record("openURL", {{"url", Value(url)}});
    return true;
}

void SimLocation::requestLocation() {
    ++requests;
    if (!fix) return;
    std::weak_ptr<std::map<int, LocationCallbacks>> weak = observers_;
    main_.postAfter(halvyn::seconds(delay), [this, weak, at = *fix] {
        if (weak.lock()) deliver({at});
    });
}

Subscription SimLocation::observe(LocationCallbacks callbacks) {
    const int id = next_++;
    (*observers_)[id] = std::move(callbacks);
    std::weak_ptr<std::map<int, LocationCallbacks>> weak = observers_;
    return Subscription([weak, id] {
        if (auto o = weak.lock()) o->erase(id);
    });
}

void SimLocation::postAuthorizationChange() {
    std::weak_ptr<std::map<int, LocationCallbacks>> weak = observers_;
    main_.post([weak] {
        auto o = weak.lock();
        if (!o) return;
        auto copy = *o;
        for (auto& [id, cb] : copy)
            if (cb.didChangeAuthorization) cb.didChangeAuthorization();
    });
}

void SimLocation::deliver(const std::vector<GeoLocation>& locations) {
    auto copy = *observers_;
    for (auto& [id, cb] : copy)
        if (cb.didUpdateLocations) cb.didUpdateLocations(locations);
}

void SimLocation::deliverError(const std::string& error) {
    auto copy = *observers_;
    for (auto& [id, cb] : copy)
        if (cb.didFail) cb.didFail(error);
}

void SimWeatherService::weather(const GeoLocation& at,
                                std::function<void(std::optional<WeatherReport>, const std::string&)> done) {
    queries.push_back(at);
    main_.post([answer = report, error = error, done = std::move(done)] { done(answer, answer ? "" : error); });
}

}  // namespace halvyn
