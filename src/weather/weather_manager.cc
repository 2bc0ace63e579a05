#include "weather/weather_manager.h"

#include <cmath>
#include <numbers>

#include "platform/locale.h"
#include "platform/platform.h"
#include "platform/services.h"
#include "runtime/clock.h"
#include "settings/defaults.h"

namespace halvyn {

namespace {

// Seconds between 1970-01-01 and 2001-01-01, the reference date of the stored form.
constexpr double kReferenceOffset = 978307200.0;

double referenceSeconds(WallTime t) { return toSeconds(t.time_since_epoch()) - kReferenceOffset; }
WallTime fromReference(double s) { return WallTime(seconds(s + kReferenceOffset)); }

struct ConditionRow {
    std::string_view conditions[5];
    const char* day;
    const char* night;
};

const ConditionRow kSymbols[] = {
    {{"blizzard", "flurries", "heavySnow", "snow", "sunFlurries"}, "cloud.snow.fill", "cloud.snow.fill"},
    {{"blowingDust"}, "sun.dust.fill", "moon.dust.fill"},
    {{"blowingSnow"}, "wind.snow", "wind.snow"},
    {{"breezy", "windy"}, "wind", "wind"},
    {{"clear", "mostlyClear"}, "sun.max.fill", "moon.stars.fill"},
    {{"cloudy", "mostlyCloudy"}, "cloud.fill", "cloud.fill"},
    {{"drizzle"}, "cloud.drizzle.fill", "cloud.drizzle.fill"},
    {{"foggy"}, "cloud.fog.fill", "cloud.fog.fill"},
    {{"freezingDrizzle", "freezingRain", "sleet", "wintryMix"}, "cloud.sleet.fill", "cloud.sleet.fill"},
    {{"frigid"}, "thermometer.snowflake", "thermometer.snowflake"},
    {{"hail"}, "cloud.hail.fill", "cloud.hail.fill"},
    {{"haze"}, "sun.haze.fill", "moon.haze.fill"},
    {{"heavyRain"}, "cloud.heavyrain.fill", "cloud.heavyrain.fill"},
    {{"hot"}, "thermometer.sun.fill", "thermometer.sun.fill"},
    {{"hurricane"}, "hurricane", "hurricane"},
    {{"isolatedThunderstorms"}, "cloud.sun.bolt.fill", "cloud.moon.bolt.fill"},
    {{"partlyCloudy"}, "cloud.sun.fill", "cloud.moon.fill"},
    {{"rain"}, "cloud.rain.fill", "cloud.rain.fill"},
    {{"scatteredThunderstorms", "strongStorms", "thunderstorms"}, "cloud.bolt.rain.fill", "cloud.bolt.rain.fill"},
    {{"smoky"}, "smoke.fill", "smoke.fill"},
    {{"sunShowers"}, "cloud.sun.rain.fill", "cloud.sun.rain.fill"},
    {{"tropicalStorm"}, "tropicalstorm", "tropicalstorm"},
};

const ConditionRow* rowOf(std::string_view condition) {
    if (condition.empty()) return nullptr;
    for (auto& row : kSymbols)
        for (auto c : row.conditions)
            if (c == condition) return &row;
    return nullptr;
}

bool finite(GeoCoordinate c) { return std::isfinite(c.latitude) && std::isfinite(c.longitude); }

std::optional<int> wholeNumber(const Value* v) {
    if (!v || !v->isNumber()) return std::nullopt;
    const double d = v->asNumber();
    if (!std::isfinite(d) || std::floor(d) != d || std::fabs(d) > 2147483647.0) return std::nullopt;
    return static_cast<int>(d);
}

std::optional<double> finiteNumber(const Value* v) {
    if (!v || !v->isNumber() || !std::isfinite(v->asNumber())) return std::nullopt;
    return v->asNumber();
}

}  // namespace

namespace weather {

const char* symbol(std::string_view condition, bool daylight) {
    const ConditionRow* row = rowOf(condition);
    if (!row) return "questionmark";
    return daylight ? row->day : row->night;
}

bool isKnownCondition(std::string_view condition) { return rowOf(condition) || condition == "freezingDrizzle"; }

bool isPrecipitation(std::string_view c) {
    for (std::string_view p : {"blizzard", "drizzle", "flurries", "freezingRain", "heavyRain", "rain", "sleet", "snow",
                               "sunFlurries", "wintryMix"})
        if (p == c) return true;
    return false;
}

double distance(GeoCoordinate a, GeoCoordinate b) {
    if (!finite(a) || !finite(b)) return std::nan("");
    constexpr double kEarthRadius = 6371008.8;
    constexpr double rad = std::numbers::pi / 180.0;
    const double dLat = (b.latitude - a.latitude) * rad;
    const double dLon = (b.longitude - a.longitude) * rad;
    const double h = std::sin(dLat / 2) * std::sin(dLat / 2) +
                     std::cos(a.latitude * rad) * std::cos(b.latitude * rad) * std::sin(dLon / 2) * std::sin(dLon / 2);
    return 2 * kEarthRadius * std::asin(std::min(1.0, std::sqrt(h)));
}

Value encode(const CachedWeather& c) {
    Value w = Value::object();
    if (c.weather.temperature) w.set("temperature", Value(*c.weather.temperature));
    if (c.weather.symbol) w.set("symbol", Value(*c.weather.symbol));
    if (c.weather.condition) w.set("condition", Value(*c.weather.condition));
    Value out = Value::object();
    out.set("weather", std::move(w));
    if (c.sun)
        out.set("sun", Value(Value::Object{{"type", Value(c.sun->type == SunType::sunrise ? "sunrise" : "sunset")},
                                           {"time", Value(referenceSeconds(c.sun->time))}}));
    if (c.precipitationChance) out.set("precipitationChance", Value(*c.precipitationChance));
    if (c.isRaining) out.set("isRaining", Value(*c.isRaining));
    out.set("lastFetchDate", Value(referenceSeconds(c.lastFetchDate)));
    out.set("latitude", Value(c.lastFetchLocation.coordinate.latitude));
    out.set("longitude", Value(c.lastFetchLocation.coordinate.longitude));
    out.set("altitude", Value(c.lastFetchLocation.altitude));
    return out;
}

std::optional<CachedWeather> decode(const Value& v) {
    if (!v.isObject()) return std::nullopt;
    CachedWeather c;
    const Value* w = v.find("weather");
    if (!w || !w->isObject()) return std::nullopt;
    if (const Value* t = w->find("temperature"); t && !t->isNull()) {
        c.weather.temperature = wholeNumber(t);
        if (!c.weather.temperature) return std::nullopt;
    }
    if (const Value* s = w->find("symbol"); s && !s->isNull()) {
        if (!s->isString()) return std::nullopt;
        c.weather.symbol = s->asString();
    }
    if (const Value* s = w->find("condition"); s && !s->isNull()) {
        if (!s->isString() || !isKnownCondition(s->asString())) return std::nullopt;
        c.weather.condition = s->asString();
    }
    if (const Value* s = v.find("sun"); s && !s->isNull()) {
        const Value* type = s->find("type");
        const auto time = finiteNumber(s->find("time"));
        if (!type || !type->isString() || !time) return std::nullopt;
        if (type->asString() == "sunrise") c.sun = Sun{SunType::sunrise, fromReference(*time)};
        else if (type->asString() == "sunset") c.sun = Sun{SunType::sunset, fromReference(*time)};
        else return std::nullopt;
    }
    if (const Value* p = v.find("precipitationChance"); p && !p->isNull()) {
        c.precipitationChance = wholeNumber(p);
        if (!c.precipitationChance) return std::nullopt;
    }
    if (const Value* r = v.find("isRaining"); r && !r->isNull()) {
        if (!r->isBool()) return std::nullopt;
        c.isRaining = r->asBool();
    }
    const auto date = finiteNumber(v.find("lastFetchDate"));
    const auto lat = finiteNumber(v.find("latitude"));
    const auto lon = finiteNumber(v.find("longitude"));
    if (!date || !lat || !lon) return std::nullopt;
    c.lastFetchDate = fromReference(*date);
    // A stored altitude is not used: the location is rebuilt from the coordinate alone.
    c.lastFetchLocation = GeoLocation{{*lat, *lon}, 0};
    return c;
}

std::optional<Sun> chooseSun(const std::optional<WeatherReport::Day>& day, WallTime now) {
    if (!day || !day->sunrise || !day->sunset) return std::nullopt;
    if (now < *day->sunrise) return Sun{SunType::sunrise, *day->sunrise};
    if (now < *day->sunset) return Sun{SunType::sunset, *day->sunset};
    return Sun{SunType::sunrise, *day->sunrise};
}

std::optional<int> nearestChance(const std::vector<WeatherReport::Hour>& hours, WallTime now) {
    const WeatherReport::Hour* best = nullptr;
    Duration bestDistance{};
    for (auto& h : hours) {
        const Duration d = h.date > now ? h.date - now : now - h.date;
        if (!best || d < bestDistance || (d == bestDistance && h.date < best->date)) {
            best = &h;
            bestDistance = d;
        }
    }
    if (!best || !std::isfinite(best->precipitationChance)) return std::nullopt;
    return static_cast<int>(std::round(std::clamp(best->precipitationChance, 0.0, 1.0) * 100));
}

}  // namespace weather

std::string LocationFailure::description() const {
    switch (kind) {
        case servicesDisabled: return "Location services are disabled.";
        case notAuthorized: return "Location services are not authorized.";
        case timeout: return "Timed out waiting for location.";
        case superseded: return "The operation couldn\xE2\x80\x99t be completed. (LocationError error 1.)";
        case service: return message;
    }
    return message;
}

Value toValue(const Weather& w) {
    return Value(Value::Object{{"temperature", toValue(w.temperature)},
                               {"symbol", toValue(w.symbol)},
                               {"condition", toValue(w.condition)}});
}

Value toValue(const Sun& s) {
    return Value(Value::Object{{"type", Value(s.type == SunType::sunrise ? "sunrise" : "sunset")},
                               {"time", toValue(s.time)}});
}

Value toValue(LocationAuthorization a) { return Value(static_cast<int>(a)); }

WeatherManager::WeatherManager(Services& ctx, Defaults& defaults) : ctx_(ctx), defaults_(defaults) {
    properties_.add("hasWeather", hasWeather);
    properties_.add("weather", weather);
    properties_.add("sun", sun);
    properties_.add("precipitationChance", precipitationChance);
    properties_.add("isRaining", isRaining);
    properties_.add("authorizationStatus", authorizationStatus);

    if (Location* location = ctx.platform().location()) {
        authorizationStatus.set(location->authorizationStatus());
        const Lifetime::Token weak = lifetime_.token();
        LocationCallbacks callbacks;
        callbacks.didUpdateLocations = [this, weak](const std::vector<GeoLocation>& l) {
            if (weak) locationsUpdated(l);
        };
        callbacks.didFail = [this, weak](const std::string& e) {
            if (weak) locationFailed(e);
        };
        callbacks.didChangeAuthorization = [this, weak] {
            if (!weak) return;
            defaults_.set(keys::hasPromptedLocationPermission, true);
            if (Location* l = ctx_.platform().location())
                authorizationStatus.set(l->authorizationStatus());
        };
        locationObserver_ = location->observe(std::move(callbacks));
    }
}

WeatherManager::~WeatherManager() {
    timeout_.cancel();
    task_.cancel();
}

void WeatherManager::startUpdating() {
    if (task_.pending() || !allowsLocation(authorizationStatus.get())) return;
    loop();
}

void WeatherManager::stopUpdating() { task_.cancel(); }

void WeatherManager::loop() {
    const Lifetime::Token weak = lifetime_.token();
    fetchWeather();
    task_ = ctx_.main().postAfter(seconds(3600), [this, weak] {
        if (weak) loop();
    });
}

void WeatherManager::requestLocation(std::function<void(const LocationResult&)> done) {
    Location* location = ctx_.platform().location();
    if (!location || !location->servicesEnabled()) {
        done(LocationFailure{LocationFailure::servicesDisabled, {}});
        return;
    }
    if (!allowsLocation(authorizationStatus.get())) {
        done(LocationFailure{LocationFailure::notAuthorized, {}});
        return;
    }
    if (pending_) {
        auto earlier = std::move(pending_);
        pending_ = nullptr;
        earlier(LocationFailure{LocationFailure::superseded, {}});
    }
    pending_ = std::move(done);
    const std::uint64_t serial = ++requestSerial_;
    location->requestLocation();
    const Lifetime::Token weak = lifetime_.token();
    timeout_ = ctx_.main().postAfter(seconds(5), [this, weak, serial] {
        if (!weak || serial != requestSerial_ || !pending_) return;
        complete(LocationFailure{LocationFailure::timeout, {}});
    });
}

void WeatherManager::complete(const LocationResult& result) {
    auto done = std::move(pending_);
    pending_ = nullptr;
    timeout_.cancel();
    if (done) done(result);
}

void WeatherManager::locationsUpdated(const std::vector<GeoLocation>& locations) {
    if (!pending_ || locations.empty()) return;
    complete(locations.front());
}

void WeatherManager::locationFailed(const std::string& error) {
    if (!pending_) return;
    complete(LocationFailure{LocationFailure::service, error});
}

void WeatherManager::fetchWeather(std::function<void()> done) {
    const Lifetime::Token weak = lifetime_.token();
    auto finish = std::make_shared<std::function<void()>>(std::move(done));
    requestLocation([this, weak, finish](const LocationResult& result) {
        if (!weak) return;
        auto end = [finish] {
            if (*finish) (*finish)();
        };
        const Logger log = ctx_.logger("WeatherManager");
        if (auto* failure = std::get_if<LocationFailure>(&result)) {
            if (failure->isLocationError())
                log.error("Location fetch aborted: %{public}s", failure->description());
            else
                log.error("Error fetching weather: %{public}s", failure->description());
            return end();
        }
        const GeoLocation at = std::get<GeoLocation>(result);
        if (!finite(at.coordinate)) {
            log.error("Error fetching weather: %{public}s", std::string("The location has no valid coordinate."));
            return end();
        }
        const WallTime now = ctx_.clock().now();
        if (auto stored = defaults_.get(keys::cachedWeather)) {
            if (auto cached = weather::decode(*stored)) {
                const double age = toSeconds(now - cached->lastFetchDate);
                if (age < 3600 && weather::distance(cached->lastFetchLocation.coordinate, at.coordinate) < 8000) {
                    show(*cached);
                    return end();
                }
            }
        }
        WeatherService* service = ctx_.platform().weatherService();
        if (!service) {
            log.error("Error fetching weather: %{public}s", std::string("No weather service."));
            return end();
        }
        service->weather(at, [this, weak, at, end, log](std::optional<WeatherReport> report, const std::string& error) {
            if (!weak) return;
            if (!report)
                log.error("Error fetching weather: %{public}s", error);
            else
                received(*report, at);
            end();
        });
    });
}

void WeatherManager::show(const CachedWeather& c) {
    weather.set(c.weather);
    sun.set(c.sun);
    precipitationChance.set(c.precipitationChance);
    isRaining.set(c.isRaining.value_or(false));
    lastFetchDate = c.lastFetchDate;
    lastFetchLocation = c.lastFetchLocation;
    hasWeather.set(true);
}

void WeatherManager::received(const WeatherReport& report, const GeoLocation& at) {
    const WallTime now = ctx_.clock().now();
    isRaining.set(weather::isPrecipitation(report.condition));
    double temperature = report.temperatureCelsius;
    const Locale* locale = ctx_.platform().locale();
    if (locale && locale->measurementSystem() == MeasurementSystem::us) temperature = temperature * 9 / 5 + 32;
    Weather w;
    if (std::isfinite(temperature) && std::fabs(temperature) < 1e6) w.temperature = static_cast<int>(std::round(temperature));
    w.symbol = weather::symbol(report.condition, report.isDaylight);
    if (weather::isKnownCondition(report.condition)) w.condition = report.condition;
    weather.set(w);
    sun.set(weather::chooseSun(report.firstDay, now));
    precipitationChance.set(weather::nearestChance(report.hourly, now));
    lastFetchDate = now;
    lastFetchLocation = at;
    hasWeather.set(true);

    CachedWeather c{w, sun.get(), precipitationChance.get(), isRaining.get(), now, at};
    defaults_.set(keys::cachedWeather, JsonRecord(weather::encode(c)));
}

}  // namespace halvyn
