#pragma once
// A context on virtual time with the simulated preferences and cloud store.

#include <chrono>
#include <memory>

#include "app/context.h"
#include "platform/platform.h"
#include "platform/sim/sim_cloud_store.h"
#include "platform/sim/sim_preferences.h"
#include "runtime/logger.h"
#include "runtime/virtual_time.h"
#include "settings/defaults.h"

namespace halvyn::testing {

class SettingsPlatform final : public Platform {
public:
    explicit SettingsPlatform(bool withCloud) : withCloud_(withCloud) {}
    Preferences* preferences() override { return &prefs; }
    CloudStore* cloudStore() override { return withCloud_ ? &cloud : nullptr; }

    SimPreferences prefs;
    SimCloudStore cloud;

private:
    bool withCloud_;
};

// 2026-01-05T09:00:00Z
inline WallTime testStart() { return WallTime(std::chrono::seconds(1767603600)); }

struct SettingsWorld {
    explicit SettingsWorld(bool withCloud = true) {
        auto vt = std::make_unique<VirtualTime>(testStart());
        time = vt.get();
        auto p = std::make_unique<SettingsPlatform>(withCloud);
        platform = p.get();
        ctx = std::make_unique<Context>(std::move(vt), std::move(p), &logs);
    }
    Defaults& defaults() { return ctx->defaults(); }
    SimPreferences& prefs() { return platform->prefs; }
    SimCloudStore& cloud() { return platform->cloud; }
    WallTime at(double s) const { return testStart() + seconds(s); }

    CaptureLogSink logs;
    VirtualTime* time;
    SettingsPlatform* platform;
    std::unique_ptr<Context> ctx;
};

}  // namespace halvyn::testing
