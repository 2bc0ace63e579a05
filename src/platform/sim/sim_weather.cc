#include "platform/sim/sim_weather.h"

#include "runtime/main_queue.h"

namespace halvyn {

void SimWeatherService::weather(const GeoLocation& at,
                                std::function<void(std::optional<WeatherReport>, const std::string&)> done) {
    queries.push_back(at);
    main_.post([answer = report, error = error, done = std::move(done)] { done(answer, answer ? "" : error); });
}

}  // namespace halvyn
