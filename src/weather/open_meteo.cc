#include "weather/open_meteo.h"

#include <nlohmann/json.hpp>

#include <charconv>
#include <cmath>

#include "platform/http.h"

namespace halvyn {

namespace {

using nlohmann::json;

// Unix seconds the service may send; beyond that a number is no date.
constexpr double kMaxUnixSeconds = 1e11;

std::optional<double> number(const json& object, const char* key) {
    if (!object.is_object()) return std::nullopt;
    auto it = object.find(key);
    if (it == object.end() || !it->is_number()) return std::nullopt;
    const double v = it->get<double>();
    if (!std::isfinite(v)) return std::nullopt;
    return v;
}

std::optional<WallTime> date(const json& v) {
    if (!v.is_number()) return std::nullopt;
    const double s = v.get<double>();
    if (!std::isfinite(s) || std::fabs(s) > kMaxUnixSeconds) return std::nullopt;
    return WallTime(seconds(s));
}

const json& member(const json& object, const char* key) {
    static const json none;
    if (!object.is_object()) return none;
    auto it = object.find(key);
    return it == object.end() ? none : *it;
}

std::string coordinate(double v) {
    char buffer[32];
    // Independent of the process's number format: the service wants a decimal point.
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::fixed, 4);
    return ec == std::errc() ? std::string(buffer, end) : std::string("0");
}

}  // namespace

namespace openmeteo {

std::string_view condition(int code) {
    switch (code) {
        case 0: return "clear";
        case 1: return "mostlyClear";
        case 2: return "partlyCloudy";
        case 3: return "cloudy";
        case 45:
        case 48: return "foggy";
        case 51:
        case 53:
        case 55: return "drizzle";
        case 56:
        case 57: return "freezingDrizzle";
        case 61:
        case 63: return "rain";
        case 65: return "heavyRain";
        case 66:
        case 67: return "freezingRain";
        case 71:
        case 77: return "flurries";
        case 73: return "snow";
        case 75: return "heavySnow";
        case 80: return "sunShowers";
        case 81: return "rain";
        case 82: return "heavyRain";
        case 85: return "sunFlurries";
        case 86: return "snow";
        case 95: return "thunderstorms";
        case 96:
        case 99: return "hail";
        default: return {};
    }
}

std::string requestUrl(std::string_view endpoint, GeoCoordinate at) {
    std::string url(endpoint);
    url += url.find('?') == std::string::npos ? '?' : '&';
    url += "latitude=" + coordinate(at.latitude) + "&longitude=" + coordinate(at.longitude) +
           "&current=temperature_2m,weather_code,is_day&hourly=precipitation_probability&daily=sunrise,sunset"
           "&timezone=auto&timeformat=unixtime&forecast_days=2";
    return url;
}

std::variant<WeatherReport, std::string> parse(std::string_view text) {
    const json doc = json::parse(text.begin(), text.end(), nullptr, false);
    if (doc.is_discarded() || !doc.is_object()) return std::string("The weather answer is not a JSON object.");
    if (const json& reason = member(doc, "reason"); reason.is_string() && member(doc, "error") == true)
        return "The weather service refused the request: " + reason.get<std::string>();
    const json& current = member(doc, "current");
    const auto temperature = number(current, "temperature_2m");
    const auto code = number(current, "weather_code");
    const auto isDay = number(current, "is_day");
    if (!temperature || !code || !isDay) return std::string("The weather answer lacks the current conditions.");

    WeatherReport report;
    report.temperatureCelsius = *temperature;
    report.condition = std::fabs(*code) < 1000 ? std::string(condition(static_cast<int>(*code))) : std::string();
    report.isDaylight = *isDay != 0;

    const json& daily = member(doc, "daily");
    const json& sunrise = member(daily, "sunrise");
    const json& sunset = member(daily, "sunset");
    if (sunrise.is_array() && sunset.is_array() && (!sunrise.empty() || !sunset.empty())) {
        WeatherReport::Day day;
        if (!sunrise.empty()) day.sunrise = date(sunrise[0]);
        if (!sunset.empty()) day.sunset = date(sunset[0]);
        report.firstDay = day;
    }
    const json& hourly = member(doc, "hourly");
    const json& times = member(hourly, "time");
    const json& chances = member(hourly, "precipitation_probability");
    if (times.is_array() && chances.is_array()) {
        const std::size_t n = std::min(times.size(), chances.size());
        for (std::size_t i = 0; i < n; ++i) {
            const auto at = date(times[i]);
            // An hour without a forecast (null) is no entry.
            if (!at || !chances[i].is_number()) continue;
            const double percent = chances[i].get<double>();
            if (!std::isfinite(percent)) continue;
            report.hourly.push_back({*at, percent / 100.0});
        }
    }
    return report;
}

}  // namespace openmeteo

OpenMeteoWeather::OpenMeteoWeather(Http& http, std::string endpoint, Duration timeout)
    : http_(http), endpoint_(std::move(endpoint)), timeout_(timeout) {}

void OpenMeteoWeather::weather(const GeoLocation& at,
                               std::function<void(std::optional<WeatherReport>, const std::string&)> done) {
    HttpRequest request;
    request.url = openmeteo::requestUrl(endpoint_, at.coordinate);
    request.headers = {{"Accept", "application/json"}};
    request.timeout = timeout_;
    request.maxBodyBytes = kMaxAnswerBytes;
    const Lifetime::Token weak = lifetime_.token();
    http_.send(request, [weak, done = std::move(done)](HttpResponse response) {
        if (!weak) return;
        if (!response.error.empty()) return done(std::nullopt, "The weather service did not answer: " + response.error);
        auto parsed = openmeteo::parse(response.body);
        if (!response.ok()) {
            std::string why = "The weather service answered with HTTP " + std::to_string(response.status) + ".";
            if (auto* text = std::get_if<std::string>(&parsed); text && text->rfind("The weather service refused", 0) == 0)
                why = *text;
            return done(std::nullopt, why);
        }
        if (auto* error = std::get_if<std::string>(&parsed)) return done(std::nullopt, *error);
        done(std::get<WeatherReport>(std::move(parsed)), {});
    });
}

}  // namespace halvyn
