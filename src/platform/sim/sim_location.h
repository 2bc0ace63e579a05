#pragma once
// The simulated location service: plain state a scenario or a test sets; fixes and
// authorization changes come on later turns of the main queue.

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/location.h"

namespace halvyn {

class MainQueue;

class SimLocation final : public Location {
public:
    explicit SimLocation(MainQueue& main) : main_(main) {}
    bool servicesEnabled() const override { return enabled; }
    LocationAuthorization authorizationStatus() const override { return authorization; }
    void requestLocation() override;
    Subscription observe(LocationCallbacks callbacks) override;
    // An undetermined authorization becomes `answer` (the system's answer to such a request on
    // the desktop is "authorized"); the observers hear of every request.
    void requestWhenInUseAuthorization() override {
        if (authorization == LocationAuthorization::notDetermined) authorization = answer;
        postAuthorizationChange();
    }
    LocationAuthorization answer = LocationAuthorization::authorizedAlways;

    // Simulation controls.
    bool enabled = true;
    LocationAuthorization authorization = LocationAuthorization::notDetermined;
    std::optional<GeoLocation> fix;  // none: requests are never answered
    double delay = 0;                // seconds until a fix arrives
    std::size_t requests = 0;
    // Tells the observers that the authorization changed (on the main queue).
    void postAuthorizationChange();
    // Delivers locations (or an error) to the observers now.
    void deliver(const std::vector<GeoLocation>& locations);
    void deliverError(const std::string& error);

private:
    MainQueue& main_;
    std::shared_ptr<std::map<int, LocationCallbacks>> observers_ = std::make_shared<std::map<int, LocationCallbacks>>();
    int next_ = 0;
};

}  // namespace halvyn
