#pragma once
// The simulated calendar store, travel-time estimates, location, weather, locale and URL opening:
// plain state a scenario or a test sets. Answers that the real services give later come on a
// later turn of the main queue.

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/calendar_store.h"
#include "platform/locale.h"
#include "platform/location.h"
#include "platform/travel_time.h"
#include "platform/url_opener.h"
#include "platform/weather_service.h"

namespace halvyn {

class EffectLog;
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
    CalendarAuthorization authorization = 0;
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

class SimTravelTime final : public TravelTime {
public:
    explicit SimTravelTime(MainQueue& main) : main_(main) {}
    void expectedTravelTime(GeoCoordinate destination, TravelMode mode,
                            std::function<void(std::optional<double>, const std::string&)> done) override;

    // Simulation controls: the answer (seconds), or the error when absent.
    std::optional<double> seconds;
    std::string error = "Directions not available";
    struct Request {
        GeoCoordinate destination;
        TravelMode mode;
    };
    std::vector<Request> requests;

private:
    MainQueue& main_;
};

class SimUrlOpener final : public UrlOpener {
public:
    explicit SimUrlOpener(EffectLog* effects) : effects_(effects) {}
    bool openURL(const std::string& url) override;

private:
    EffectLog* effects_;
};

class SimLocation final : public Location {
public:
    explicit SimLocation(MainQueue& main) : main_(main) {}
    bool servicesEnabled() const override { return enabled; }
    LocationAuthorization authorizationStatus() const override { return authorization; }
    void requestLocation() override;
    Subscription observe(LocationCallbacks callbacks) override;
    // An undetermined authorization becomes `answer` (the system's answer to such a request on
    // the desktop is "authorized"); the observers hear of every request.
    void requestWhenInUseAuthorization() override {
        if (authorization == LocationAuthorization::notDetermined) authorization = answer;
        postAuthorizationChange();
    }
    LocationAuthorization answer = LocationAuthorization::authorizedAlways;

    // Simulation controls.
    bool enabled = true;
    LocationAuthorization authorization = LocationAuthorization::notDetermined;
    std::optional<GeoLocation> fix;  // none: requests are never answered
    double delay = 0;                // seconds until a fix arrives
    std::size_t requests = 0;
    // Tells the observers that the authorization changed (on the main queue).
    void postAuthorizationChange();
    // Delivers locations (or an error) to the observers now.
    void deliver(const std::vector<GeoLocation>& locations);
    void deliverError(const std::string& error);

private:
    MainQueue& main_;
    std::shared_ptr<std::map<int, LocationCallbacks>> observers_ = std::make_shared<std::map<int, LocationCallbacks>>();
    int next_ = 0;
};

class SimWeatherService final : public WeatherService {
public:
    explicit SimWeatherService(MainQueue& main) : main_(main) {}
    void weather(const GeoLocation& at, std::function<void(std::optional<WeatherReport>, const std::string&)> done) override;

    // Simulation controls: the answer, or the error when absent.
    std::optional<WeatherReport> report;
    std::string error = "Weather not available";
    std::vector<GeoLocation> queries;

private:
    MainQueue& main_;
};

class SimLocale final : public Locale {
public:
    std::optional<std::string> region() const override { return regionCode; }
    MeasurementSystem measurementSystem() const override { return measurement; }
    int utcOffsetSeconds(WallTime) const override { return offsetMinutes * 60; }

    std::optional<std::string> regionCode = "US";
    MeasurementSystem measurement = MeasurementSystem::us;
    int offsetMinutes = 0;
};

}  // namespace halvyn
