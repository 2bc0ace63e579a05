#pragma once
// The simulated travel-time estimates: plain state a scenario or a test sets; the answer comes
// on a later turn of the main queue.

#include <optional>
#include <string>
#include <vector>

#include "platform/travel_time.h"

namespace halvyn {

class MainQueue;

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

}  // namespace halvyn
