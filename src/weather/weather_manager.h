#pragma once
// Knows where the machine is and what the weather is there: one location fix on demand, the
// current conditions, the next sunrise or sunset and the chance of precipitation, cached in the
// settings so that a fetch is skipped while the machine stays near for an hour.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "lockscreen/lock_seams.h"
#include "platform/location.h"
#include "platform/weather_service.h"
#include "runtime/lifetime.h"
#include "runtime/properties.h"
#include "runtime/published.h"
#include "runtime/task.h"
#include "runtime/value.h"

namespace halvyn {

class Services;
class Defaults;

struct Weather {
    std::optional<int> temperature;
    std::optional<std::string> symbol;
    std::optional<std::string> condition;
    friend bool operator==(const Weather&, const Weather&) = default;
};

enum class SunType { sunrise, sunset };

struct Sun {
    SunType type = SunType::sunrise;
    WallTime time;
    friend bool operator==(const Sun&, const Sun&) = default;
};

Value toValue(const Weather& w);
Value toValue(const Sun& s);
// As its number, the way the location port reports it.
Value toValue(LocationAuthorization a);

// Why a location request failed.
struct LocationFailure {
    enum Kind { servicesDisabled, notAuthorized, timeout, superseded, service } kind;
    std::string message;  // the service's own error text, for `service`
    std::string description() const;
    bool isLocationError() const { return kind == servicesDisabled || kind == notAuthorized || kind == timeout; }
};
using LocationResult = std::variant<GeoLocation, LocationFailure>;

// What "cachedWeather" holds.
struct CachedWeather {
    Weather weather;
    std::optional<Sun> sun;
    std::optional<int> precipitationChance;
    std::optional<bool> isRaining;
    WallTime lastFetchDate;
    GeoLocation lastFetchLocation;
};

namespace weather {
// The symbol for a condition by day or by night; "questionmark" for any other condition.
const char* symbol(std::string_view condition, bool daylight);
bool isPrecipitation(std::string_view condition);
bool isKnownCondition(std::string_view condition);
// Straight-line distance on the Earth's surface, in metres (NaN when a coordinate is not finite).
double distance(GeoCoordinate a, GeoCoordinate b);
// The stored form: dates as seconds since 1 January 2001 UTC.
Value encode(const CachedWeather& c);
// Nothing when any field is missing or of the wrong kind.
std::optional<CachedWeather> decode(const Value& v);
// The sun event to show at `now` from the first day's sunrise and sunset.
std::optional<Sun> chooseSun(const std::optional<WeatherReport::Day>& day, WallTime now);
// The chance, in percent, of the hourly entry nearest to `now` (the earlier one on a tie).
std::optional<int> nearestChance(const std::vector<WeatherReport::Hour>& hours, WallTime now);
}  // namespace weather

class WeatherManager final : public WeatherUpdates {
public:
    WeatherManager(Services& ctx, Defaults& defaults);
    ~WeatherManager() override;
    WeatherManager(const WeatherManager&) = delete;
    WeatherManager& operator=(const WeatherManager&) = delete;

    Owned<bool, WeatherManager> hasWeather{false};
    Owned<std::optional<Weather>, WeatherManager> weather;
    Owned<std::optional<Sun>, WeatherManager> sun;
    Owned<std::optional<int>, WeatherManager> precipitationChance;
    Owned<bool, WeatherManager> isRaining{false};
    Owned<LocationAuthorization, WeatherManager> authorizationStatus{LocationAuthorization::notDetermined};

    std::optional<WallTime> lastFetchDate;
    std::optional<GeoLocation> lastFetchLocation;

    // The hourly loop, while the lock-screen weather widget is in use; only with authorization.
    void startUpdating() override;
    void stopUpdating() override;
    bool isUpdating() const { return task_.pending(); }

    // One fix; `done` comes on the main queue. A second request fails the first.
    void requestLocation(std::function<void(const LocationResult&)> done);
    // One update; `done` (if any) runs when it has finished, whatever the outcome.
    void fetchWeather(std::function<void()> done = {});

    const PropertySet& properties() const { return properties_; }

private:
    void locationsUpdated(const std::vector<GeoLocation>& locations);
    void locationFailed(const std::string& error);
    void complete(const LocationResult& result);
    void show(const CachedWeather& cached);
    void received(const WeatherReport& report, const GeoLocation& at);
    void loop();

    Services& ctx_;
    Defaults& defaults_;
    Lifetime lifetime_;
    std::function<void(const LocationResult&)> pending_;
    std::uint64_t requestSerial_ = 0;
    TaskHandle timeout_;
    TaskHandle task_;
    Subscription locationObserver_;
    PropertySet properties_;
};

}  // namespace halvyn
