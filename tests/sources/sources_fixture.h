#pragma once
// A whole context on virtual time over the simulated system, with the notch's calls recorded,
// for the battery, accessory and lock sources.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/context.h"
#include "notch/notch.h"
#include "platform/platform.h"
#include "platform/sim/effect_log.h"
#include "platform/sim/sim_audio_devices.h"
#include "platform/sim/sim_bluetooth.h"
#include "platform/sim/sim_capture_devices.h"
#include "platform/sim/sim_power_sources.h"
#include "platform/sim/sim_preferences.h"
#include "platform/sim/sim_screens.h"
#include "platform/sim/sim_sounds.h"
#include "platform/sim/sim_system.h"
#include "platform/sim/sim_window_server.h"
#include "platform/sim/sim_workspace.h"
#include "runtime/virtual_time.h"
#include "settings/defaults.h"
#include "settings/keys.h"
#include "sources/source_state.h"

namespace halvyn::sources_testing {

class SourcesTestPlatform final : public Platform {
public:
    explicit SourcesTestPlatform(MainQueue& main) : audio(main), simSounds(main, &effects) {}

    EffectLog effects;
    SimScreens simScreens;
    SimWindowServer simWindowServer{&effects};
    SimWorkspace simWorkspace;
    SimSystemInfo system;
    SimAudioDevices audio;
    SimSounds simSounds;
    SimPowerSources power;
    SimBluetooth bt;
    SimPreferences prefs;
    SimCaptureDevices capture;

    Screens* screens() override { return &simScreens; }
    WindowServer* windowServer() override { return &simWindowServer; }
    Workspace* workspace() override { return &simWorkspace; }
    SystemInfo* systemInfo() override { return &system; }
    AudioDevices* audioDevices() override { return &audio; }
    Sounds* sounds() override { return &simSounds; }
    PowerSources* powerSources() override { return &power; }
    Bluetooth* bluetooth() override { return &bt; }
    Preferences* preferences() override { return &prefs; }
    CaptureDevices* captureDevices() override { return &capture; }
};

// A Focus the test switches.
struct FocusSwitch final : FocusStateSource {
    bool on = false;
    bool isFocusActive() const override { return on; }
};

// Calls of the notch's operations with the virtual time they were made at.
struct CallLog final : CallRecorder {
    struct Call {
        double t;
        std::string name;
        std::string args;  // compact JSON
    };
    VirtualTime* time = nullptr;
    std::vector<Call> calls;
    void call(std::string_view name, Value args) override {
        calls.push_back({toSeconds(time->uptime()), std::string(name), args.toJson()});
    }
    // The notifications sources asked for (the notch's own closes left out).
    std::vector<std::string> requests() const {
        std::vector<std::string> out;
        for (auto& c : of("setNotification"))
            if (c.find(" [true,") != std::string::npos) out.push_back(c);
        return out;
    }
    // "0.200 setNotification [true,\"isCharging\",0.35,5]" for each call of `name` (all when empty).
    std::vector<std::string> of(const std::string& name = "") const {
        std::vector<std::string> out;
        for (auto& c : calls) {
            const std::string shortName = c.name.substr(c.name.find('.') + 1);
            if (!name.empty() && shortName != name) continue;
            char t[32];
            std::snprintf(t, sizeof t, "%.3f ", c.t);
            out.push_back(t + shortName + " " + c.args);
        }
        return out;
    }
};

class SourcesTest : public ::testing::Test {
protected:
    using N = Notch::Notification;
    using L = Notch::LiveActivity;

    SourcesTest() {
        auto rt = std::make_unique<VirtualTime>();
        time = rt.get();
        auto pf = std::make_unique<SourcesTestPlatform>(*time);
        sim = pf.get();
        ctx = std::make_unique<Context>(std::move(rt), std::move(pf), &logs);
        calls.time = time;
        ctx->setCallRecorder(&calls);
    }
    ~SourcesTest() override { ctx->setCallRecorder(nullptr); }

    Defaults& defaults() { return ctx->defaults(); }
    Notch& notch() { return ctx->notch(); }
    void at(double t) { time->runUntil(seconds(t)); }
    double now() const { return toSeconds(time->uptime()); }
    std::vector<std::string> sounds() const {
        std::vector<std::string> out;
        for (auto& e : sim->effects.ofKind("sound"))
            for (auto& [k, v] : e.fields)
                if (k == "name") out.push_back(v.asString());
        return out;
    }
    // Switches `focus` and locks or unlocks the screen through the workspace, for the show-rule checks.
    std::function<void(bool, bool)> situation(FocusSwitch& focus) {
        ctx->lock();
        return [this, &focus](bool on, bool locked) {
            focus.on = on;
            sim->simWorkspace.post(locked ? WorkspaceEvent::screenLocked : WorkspaceEvent::screenUnlocked);
        };
    }
    // The notch up and settled, as after start-up.
    void startNotch() {
        notch().enable();
        time->advance(seconds(0.5));
        calls.calls.clear();
    }

    VirtualTime* time = nullptr;
    SourcesTestPlatform* sim = nullptr;
    CaptureLogSink logs;
    CallLog calls;
    std::unique_ptr<Context> ctx;
};

}  // namespace halvyn::sources_testing
