#pragma once
// One-shot location fixes and the location authorization.

#include <functional>
#include <string>
#include <vector>

#include "runtime/published.h"

namespace halvyn {

struct GeoCoordinate {
    double latitude = 0;
    double longitude = 0;
    friend bool operator==(const GeoCoordinate&, const GeoCoordinate&) = default;
};

struct GeoLocation {
    GeoCoordinate coordinate;
    double altitude = 0;
    friend bool operator==(const GeoLocation&, const GeoLocation&) = default;
};

// 0 not determined, 1 restricted, 2 denied, 3 authorized, 4 authorized when in use.
enum class LocationAuthorization { notDetermined = 0, restricted = 1, denied = 2, authorizedAlways = 3, authorizedWhenInUse = 4 };
// Whether the program may use the location: always, or while it is in use (it is in use whenever
// it asks).
constexpr bool allowsLocation(LocationAuthorization a) {
    return a == LocationAuthorization::authorizedAlways || a == LocationAuthorization::authorizedWhenInUse;
}

struct LocationCallbacks {
    std::function<void(const std::vector<GeoLocation>&)> didUpdateLocations;
    std::function<void(const std::string& error)> didFail;
    std::function<void()> didChangeAuthorization;
};

class Location {
public:
    virtual ~Location() = default;
    virtual bool servicesEnabled() const = 0;
    virtual LocationAuthorization authorizationStatus() const = 0;
    // Asks for one fix; the answer comes later through the callbacks.
    virtual void requestLocation() = 0;
    // Asks the user to let the program use the location while it runs; the answer comes through
    // didChangeAuthorization. Where nothing can be asked, nothing happens.
    virtual void requestWhenInUseAuthorization() {}
    // The callbacks come on the main queue until the subscription ends.
    virtual Subscription observe(LocationCallbacks callbacks) = 0;
};

}  // namespace halvyn
