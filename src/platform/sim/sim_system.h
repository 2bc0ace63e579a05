#pragma once

#include <vector>

#include "platform/haptics.h"
#include "platform/sim/effect_log.h"
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
    explicit SimHaptics(EffectLog* effects = nullptr) : effects_(effects) {}
    void perform(int pattern, int performanceTime) override {
        taps.push_back(pattern);
        (void)performanceTime;
        if (effects_) effects_->record("haptic", {{"pattern", Value(pattern)}});
    }
    std::vector<int> taps;

private:
    EffectLog* effects_;
};

}  // namespace halvyn
