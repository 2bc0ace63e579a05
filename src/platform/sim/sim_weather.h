#pragma once
// The simulated weather service: plain state a scenario or a test sets; the answer comes on a
// later turn of the main queue.

#include <optional>
#include <string>
#include <vector>

#include "platform/weather_service.h"

namespace halvyn {

class MainQueue;

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

}  // namespace halvyn
