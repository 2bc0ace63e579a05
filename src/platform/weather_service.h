#pragma once
// Current weather, the first day's sun times and hourly precipitation chances for a place.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/location.h"
#include "runtime/time.h"

namespace halvyn {

struct WeatherReport {
    double temperatureCelsius = 0;
    std::string condition;  // lower camel case: "clear", "heavyRain", ...
    bool isDaylight = true;
    struct Day {
        std::optional<WallTime> sunrise;
        std::optional<WallTime> sunset;
    };
    std::optional<Day> firstDay;  // the daily forecast's first day, when there is one
    struct Hour {
        WallTime date;
        double precipitationChance = 0;  // 0 to 1
    };
    std::vector<Hour> hourly;
};

class WeatherService {
public:
    virtual ~WeatherService() = default;
    // `done` comes on the main queue with the report, or with nothing and the error text.
    virtual void weather(const GeoLocation& at,
                         std::function<void(std::optional<WeatherReport>, const std::string& error)> done) = 0;
};

}  // namespace halvyn
