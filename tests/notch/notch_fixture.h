#pragma once
// A context on virtual time over the simulated screens, window server, workspace and signals,
// with fake sources that tests steer directly.

#include <gtest/gtest.h>

#include <map>
#include <memory>

#include "app/context.h"
#include "notch/notch.h"
#include "notch/notch_sources.h"
#include "notch/screen_manager.h"
#include "platform/sim/sim_platform.h"
#include "runtime/virtual_time.h"
#include "settings/defaults.h"
#include "settings/keys.h"

namespace halvyn::testing {

// Answers every question the notch asks of a source from plain fields.
struct FakeSource : NotificationSource, LiveActivitySource {
    bool allows = true;
    bool wants = false;
    bool allowsNotification(Notch::Notification) const override { return allows; }
    bool wantsLiveActivity() const override { return wants; }
};

struct FakeState : LockStateSource, MediaStateSource, AccessorySource {
    bool locked = false;
    bool playing = false;
    std::optional<VirtualDevice> device;
    bool isScreenLocked() const override { return locked; }
    bool isMediaPlaying() const override { return playing; }
    std::optional<VirtualDevice> currentDevice() const override { return device; }
};

class SystemHUDSpy final : public SystemHUDSuppression {
public:
    std::vector<std::string> calls;
    void suppressSystemHUD() override { calls.push_back("suppress"); }
    void restoreSystemHUD() override { calls.push_back("restore"); }
    void suspendDisplayProcess() override { calls.push_back("suspend"); }
};

class NotchTest : public ::testing::Test {
protected:
    using N = Notch::Notification;
    using L = Notch::LiveActivity;
    using Q = Notch::QuickPeek;

    explicit NotchTest(Assembly::Seams seams = {}) {
        auto rt = std::make_unique<VirtualTime>();
        time = rt.get();
        auto pf = std::make_unique<SimPlatform>(*time);
        sim = pf.get();
        ctx = std::make_unique<Context>(std::move(rt), std::move(pf), &logs);
        seams.systemHUD = &hud;
        ctx->assemble(seams);
        for (int k = 0; k < 9; ++k)
            regs.push_back(ctx->notchSources().addNotificationSource(static_cast<N>(k), source(static_cast<N>(k))));
        for (L k : {L::isLocked, L::isFocus, L::isCalendar, L::isPlaying})
            regs.push_back(ctx->notchSources().addLiveActivitySource(k, activity(k)));
        regs.push_back(ctx->notchSources().setLockState(state));
        regs.push_back(ctx->notchSources().setMediaState(state));
        regs.push_back(ctx->notchSources().setAccessory(state));
    }

    FakeSource& source(N kind) { return notificationSources[kind]; }
    FakeSource& activity(L kind) { return activitySources[kind]; }

    Notch& notch() { return ctx->notch(); }
    Defaults& defaults() { return ctx->defaults(); }

    // Moves virtual time to the absolute second `t`, running everything due up to it.
    void at(double t) { time->runUntil(seconds(t)); }
    double now() const { return toSeconds(time->uptime()); }

    // The field of an effect, by name.
    static const Value& field(const Effect& e, const std::string& name) {
        static const Value none;
        for (auto& [k, v] : e.fields)
            if (k == name) return v;
        return none;
    }

    // Runs the notch's start-up enable and lets the fade-in finish.
    void startEnabled() {
        notch().enable();
        time->advance(seconds(0.5));
    }

    // Shows a live activity directly and lets it settle.
    void showActivity(L kind) {
        activity(kind).wants = true;
        notch().setLiveActivity(true, kind, false, {}, 0.35);
        time->advance(seconds(1));
    }

    VirtualTime* time = nullptr;
    SimPlatform* sim = nullptr;
    CaptureLogSink logs;
    SystemHUDSpy hud;
    FakeState state;
    std::map<N, FakeSource> notificationSources;
    std::map<L, FakeSource> activitySources;
    std::vector<Subscription> regs;
    std::unique_ptr<Context> ctx;
};

}  // namespace halvyn::testing
