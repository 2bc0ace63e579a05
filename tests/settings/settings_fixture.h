#pragma once
// A context on virtual time with the simulated preferences and cloud store.

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

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

// A fresh folder under the temporary directory, removed with everything in it.
class TempFolder {
public:
    TempFolder() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "halvyn-settings-XXXXXX").string();
        if (!::mkdtemp(tmpl.data())) std::abort();
        path_ = tmpl;
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
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
