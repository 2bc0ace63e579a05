#pragma once
// The simulated operating system: every port implemented over plain state that a test or a
// scenario sets, with every side effect recorded in one EffectLog.

#include <memory>

#include "platform/platform.h"
#include "platform/sim/effect_log.h"

namespace halvyn {

class MainQueue;

class SimPlatform final : public Platform {
public:
    explicit SimPlatform(MainQueue& main);
    ~SimPlatform() override;

    EffectLog& effects() { return effects_; }
    MainQueue& mainQueue() { return main_; }

private:
    MainQueue& main_;
    EffectLog effects_;
};

}  // namespace halvyn
