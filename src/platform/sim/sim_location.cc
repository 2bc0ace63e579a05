#include "platform/sim/sim_location.h"

#include "runtime/main_queue.h"

namespace halvyn {

void SimLocation::requestLocation() {
    ++requests;
    if (!fix) return;
    std::weak_ptr<std::map<int, LocationCallbacks>> weak = observers_;
    main_.postAfter(halvyn::seconds(delay), [this, weak, at = *fix] {
        if (weak.lock()) deliver({at});
    });
}

Subscription SimLocation::observe(LocationCallbacks callbacks) {
    const int id = next_++;
    (*observers_)[id] = std::move(callbacks);
    std::weak_ptr<std::map<int, LocationCallbacks>> weak = observers_;
    return Subscription([weak, id] {
        if (auto o = weak.lock()) o->erase(id);
    });
}

void SimLocation::postAuthorizationChange() {
    std::weak_ptr<std::map<int, LocationCallbacks>> weak = observers_;
    main_.post([weak] {
        auto o = weak.lock();
        if (!o) return;
        auto copy = *o;
        for (auto& [id, cb] : copy)
            if (cb.didChangeAuthorization) cb.didChangeAuthorization();
    });
}

void SimLocation::deliver(const std::vector<GeoLocation>& locations) {
    auto copy = *observers_;
    for (auto& [id, cb] : copy)
        if (cb.didUpdateLocations) cb.didUpdateLocations(locations);
}

void SimLocation::deliverError(const std::string& error) {
    auto copy = *observers_;
    for (auto& [id, cb] : copy)
        if (cb.didFail) cb.didFail(error);
}

}  // namespace halvyn
