#include "platform/sim/sim_darwin_notify.h"

namespace halvyn {

std::optional<NotifyToken> SimDarwinNotify::registerCheck(const std::string& name) {
    if (failing) return std::nullopt;
    const NotifyToken t = next_++;
    registrations_[t] = {name, {}, {}};
    return t;
}

std::optional<NotifyToken> SimDarwinNotify::registerDispatch(const std::string& name, const std::string& queueLabel,
                                                             std::function<void(NotifyToken)> handler) {
    if (failing) return std::nullopt;
    const NotifyToken t = next_++;
    registrations_[t] = {name, queueLabel, std::move(handler)};
    return t;
}

bool SimDarwinNotify::setState(NotifyToken token, std::uint64_t state) {
    if (failing) return false;
    auto it = registrations_.find(token);
    if (it == registrations_.end()) return false;
    const std::string name = it->second.name;
    states_[name] = state;
    if (effects_) effects_->record("darwinNotify", {{"name", Value(name)}, {"state", Value(static_cast<double>(state))}});
    return true;
}

bool SimDarwinNotify::cancel(NotifyToken token) {
    if (failing) return false;
    return registrations_.erase(token) > 0;
}

std::uint64_t SimDarwinNotify::state(const std::string& name) const {
    auto it = states_.find(name);
    return it == states_.end() ? 0 : it->second;
}

}  // namespace halvyn
