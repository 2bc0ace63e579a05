#pragma once

#include <vector>

#include "platform/haptics.h"
#include "platform/sim/sim_effects.h"
#include "platform/system_info.h"

namespace halvyn {

class SimSystemInfo final : public SystemInfo {
public:
    SystemVersion version() const override { return version_; }
    void setVersion(const std::string& text) { version_ = SystemVersion::parse(text); }

private:
    SystemVersion version_ = SystemVersion::parse("15.1");
};

// Each tap is the effect "haptic" (pattern).
class SimHaptics final : public Haptics {
public:
    explicit SimHaptics(SimEffectLog* effects = nullptr) : effects_(effects) {}
    void perform(int pattern, int performanceTime) override {
        taps.push_back(pattern);
        (void)performanceTime;
        if (effects_) {
            Value v = Value::object();
            v.set("pattern", pattern);
            effects_->record("haptic", std::move(v));
        }
    }
    std::vector<int> taps;

private:
    SimEffectLog* effects_;
};

}  // namespace halvyn
