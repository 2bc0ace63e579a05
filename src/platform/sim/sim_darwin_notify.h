#pragma once

#include <map>

#include "platform/darwin_notify.h"
#include "platform/sim/effect_log.h"

namespace halvyn {

// Registrations and states as plain state; setting a state is the effect "darwinNotify"
// (name, state). Setting a state posts nothing, so dispatch handlers stay quiet.
class SimDarwinNotify final : public DarwinNotify {
public:
    struct Registration {
        std::string name;
        std::string queueLabel;
        std::function<void(NotifyToken)> handler;
    };

    explicit SimDarwinNotify(EffectLog* effects = nullptr) : effects_(effects) {}

    std::optional<NotifyToken> registerCheck(const std::string& name) override;
    std::optional<NotifyToken> registerDispatch(const std::string& name, const std::string& queueLabel,
                                                std::function<void(NotifyToken)> handler) override;
    bool setState(NotifyToken token, std::uint64_t state) override;
    bool cancel(NotifyToken token) override;

    // Simulation controls and inspection.
    bool failing = false;  // every call fails, as when the notification system is unavailable
    std::uint64_t state(const std::string& name) const;
    std::size_t activeRegistrations() const { return registrations_.size(); }

private:
    EffectLog* effects_;
    std::map<NotifyToken, Registration> registrations_;
    std::map<std::string, std::uint64_t> states_;
    NotifyToken next_ = 1;
};

}  // namespace halvyn
