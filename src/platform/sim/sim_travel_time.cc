#include "platform/sim/sim_travel_time.h"

#include "runtime/main_queue.h"

namespace halvyn {

void SimTravelTime::expectedTravelTime(GeoCoordinate destination, TravelMode mode,
                                       std::function<void(std::optional<double>, const std::string&)> done) {
    requests.push_back({destination, mode});
    main_.post([answer = seconds, error = error, done = std::move(done)] { done(answer, answer ? "" : error); });
}

}  // namespace halvyn
