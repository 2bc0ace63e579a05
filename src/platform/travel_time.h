#pragma once
// Expected travel time from the current location to a place.

#include <functional>
#include <optional>
#include <string>

#include "platform/location.h"

namespace halvyn {

enum class TravelMode { automobile = 1, walking = 2, transit = 4 };

class TravelTime {
public:
    virtual ~TravelTime() = default;
    // `done` comes on the main queue with the seconds, or with nothing and the error text.
    virtual void expectedTravelTime(GeoCoordinate destination, TravelMode mode,
                                    std::function<void(std::optional<double> seconds, const std::string& error)> done) = 0;
};

}  // namespace halvyn
