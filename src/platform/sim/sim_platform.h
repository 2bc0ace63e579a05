#pragma once
// The simulated operating system: every port implemented over plain state that a test or a
// scenario sets, with every side effect recorded in one EffectLog.

#include <memory>

#include "platform/platform.h"
#include "platform/sim/effect_log.h"
#include "platform/sim/sim_cloud_store.h"
#include "platform/sim/sim_preferences.h"

namespace halvyn {

class MainQueue;

class SimPlatform final : public Platform {
public:
    explicit SimPlatform(MainQueue& main);
    ~SimPlatform() override;

    Preferences* preferences() override { return &preferences_; }
    CloudStore* cloudStore() override { return &cloudStore_; }
    SimPreferences& simPreferences() { return preferences_; }
    SimCloudStore& simCloudStore() { return cloudStore_; }

    EffectLog& effects() { return effects_; }
    MainQueue& mainQueue() { return main_; }

private:
    MainQueue& main_;
    EffectLog effects_;
    SimPreferences preferences_;
    SimCloudStore cloudStore_;
};

}  // namespace halvyn
