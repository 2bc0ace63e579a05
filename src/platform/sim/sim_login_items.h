#pragma once
// The simulated login items: the registration, each change recorded as a `loginItem` effect, and
// a failure that a scenario or a test can set.

#include <string>

#include "platform/login_items.h"
#include "platform/sim/effect_log.h"

namespace halvyn {

class SimLoginItems final : public LoginItems {
public:
    explicit SimLoginItems(EffectLog* effects) : effects_(effects) {}

    bool setRegistered(bool registered, std::string* error) override {
        if (!failure.empty()) {
            if (error) *error = failure;
            return false;
        }
        registered_ = registered;
        if (effects_) effects_->record("loginItem", {{"registered", Value(registered)}});
        return true;
    }
    bool isRegistered() const override { return registered_; }

    // While not empty, every change fails with this reason.
    std::string failure;
    bool registered_ = false;

private:
    EffectLog* effects_;
};

}  // namespace halvyn
