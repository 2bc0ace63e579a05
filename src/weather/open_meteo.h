#pragma once
// Weather from Open-Meteo's forecast service (JSON, no key): the request for a place, and the
// reading of its answer into the weather report — current temperature in Celsius, WMO weather
// code, daylight, the first day's sunrise and sunset, hourly chances of precipitation.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "runtime/lifetime.h"
#include "platform/weather_service.h"

namespace halvyn {

class Http;

namespace openmeteo {
// The condition name of the symbol table for a WMO weather code; empty for a code it has none for.
std::string_view condition(int wmoCode);
// The forecast request for a place on `endpoint` (whose own query, if any, is kept).
std::string requestUrl(std::string_view endpoint, GeoCoordinate at);
// The report, or why the answer cannot be used.
std::variant<WeatherReport, std::string> parse(std::string_view json);
}  // namespace openmeteo

class OpenMeteoWeather final : public WeatherService {
public:
    static constexpr std::size_t kMaxAnswerBytes = std::size_t{2} << 20;

    OpenMeteoWeather(Http& http, std::string endpoint, Duration timeout = seconds(15.0));
    void weather(const GeoLocation& at,
                 std::function<void(std::optional<WeatherReport>, const std::string& error)> done) override;

private:
    Http& http_;
    std::string endpoint_;
    Duration timeout_;
    Lifetime lifetime_;
};

}  // namespace halvyn
