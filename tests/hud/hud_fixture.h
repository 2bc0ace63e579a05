#pragma once
// A context on virtual time over the simulated system, for the volume and brightness displays,
// the system-display suppression and the sounds.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/context.h"
#include "notch/notch.h"
#include "notch/notch_sources.h"
#include "nowplaying/now_playing_visibility.h"
#include "platform/sim/sim_platform.h"
#include "runtime/virtual_time.h"
#include "settings/defaults.h"
#include "settings/keys.h"
#include "sources/source_state.h"

namespace halvyn::testing {

// Records every notch call by name with its arguments, as halvyn-sim traces them.
class CallLog final : public CallRecorder {
public:
    struct Call {
        std::string name;
        Value args;
    };
    void call(std::string_view name, Value args) override { calls.push_back({std::string(name), std::move(args)}); }
    std::vector<Value> argsOf(const std::string& name) const {
        std::vector<Value> out;
        for (auto& c : calls)
            if (c.name == name) out.push_back(c.args);
        return out;
    }
    std::vector<Call> calls;
};

struct FakeLockAndFocus : LockStateSource, FocusStateSource, NowPlayingVisibility {
    bool locked = false;
    bool focus = false;
    bool nowPlayingHidden = false;
    bool isScreenLocked() const override { return locked; }
    bool isFocusActive() const override { return focus; }
    bool isHidden() const override { return nowPlayingHidden; }
};

class HudTest : public ::testing::Test {
protected:
    HudTest() {
        auto rt = std::make_unique<VirtualTime>();
        time = rt.get();
        auto pf = std::make_unique<SimPlatform>(*time);
        sim = pf.get();
        ctx = std::make_unique<Context>(std::move(rt), std::move(pf), &logs);
        ctx->setCallRecorder(&calls);
    }
    // The managers, built on first use: a test sets up the simulated system before.
    Assembly& app() {
        if (!lockRegistration.active()) {
            ctx->assemble({.focusState = &lockAndFocus, .nowPlayingVisibility = &lockAndFocus});
            lockRegistration = ctx->notchSources().setLockState(lockAndFocus);
        }
        return ctx->assembly();
    }
    ~HudTest() override { ctx->setCallRecorder(nullptr); }

    template <class T>
    void set(const Key<T>& key, const T& value) {
        app().defaults().set(key, value);
        time->runCurrent();  // observers hear of it on the main queue
    }
    void advance(double s) { time->advance(seconds(s)); }
    // The volume display requests the notch saw: (true, "didChangeVolume", d, t) each.
    std::vector<Value> notificationCalls() const { return calls.argsOf("Notch.setNotification"); }
    std::vector<Effect> effects(const std::string& kind) const { return sim->effects().ofKind(kind); }

    VirtualTime* time = nullptr;
    SimPlatform* sim = nullptr;
    CaptureLogSink logs;
    CallLog calls;
    FakeLockAndFocus lockAndFocus;
    Subscription lockRegistration;
    std::unique_ptr<Context> ctx;
};

}  // namespace halvyn::testing
