#pragma once
// A context on virtual time over the simulated platform, with a source that allows every
// notification, for the desktop program's pieces that follow the notch.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/context.h"
#include "notch/notch.h"
#include "notch/notch_sources.h"
#include "platform/sim/sim_platform.h"
#include "runtime/virtual_time.h"
#include "settings/defaults.h"
#include "settings/keys.h"
#include "shell/notch_scene.h"

namespace halvyn::test {

struct AllowAll : NotificationSource, LiveActivitySource {
    bool wants = false;
    bool allowsNotification(Notch::Notification) const override { return true; }
    bool wantsLiveActivity() const override { return wants; }
};

// Readings a drawing test sets by hand; `changed` is the scene's own observer, to tell it of a
// change.
struct FixedLevels : DisplayLevels {
    std::optional<float> volume() const override { return vol; }
    std::optional<float> brightness() const override { return bright; }
    std::optional<float> keyboardBrightness() const override { return keyboard; }
    std::optional<double> batteryLevel() const override { return battery; }
    std::optional<Power> power() const override { return powerValue; }
    std::optional<Accessory> accessory() const override { return accessoryValue; }
    Subscription observe(std::function<void(const Animation*)> cb) const override {
        changed = std::move(cb);
        return {};
    }
    std::optional<float> vol = 0.5f, bright = 0.5f, keyboard;
    std::optional<double> battery = 0.8;
    std::optional<Power> powerValue;
    std::optional<Accessory> accessoryValue;
    mutable std::function<void(const Animation*)> changed;
};

// A screen without a camera housing and a 25-point menu bar: the drawn notch is 185 × 24.
inline Screen plainScreen() {
    Screen s;
    s.displayNumber = 1;
    s.builtIn = true;
    s.mainDisplay = true;
    s.frame = {0, 0, 1512, 982};
    s.visibleFrame = {0, 0, 1512, 957};
    return s;
}

class ShellTest : public ::testing::Test {
public:
    using N = Notch::Notification;
    using L = Notch::LiveActivity;

    explicit ShellTest(std::vector<Screen> screens = {plainScreen()}) {
        auto rt = std::make_unique<VirtualTime>();
        time = rt.get();
        auto pf = std::make_unique<SimPlatform>(*time);
        sim = pf.get();
        sim->simScreens().set(std::move(screens));
        ctx = std::make_unique<Context>(std::move(rt), std::move(pf), &logs);
        for (int k = 0; k < 9; ++k)
            regs.push_back(ctx->notchSources().addNotificationSource(static_cast<N>(k), allow));
        for (L k : {L::isLocked, L::isFocus, L::isCalendar, L::isPlaying})
            regs.push_back(ctx->notchSources().addLiveActivitySource(k, allow));
    }

    Notch& notch() { return ctx->notch(); }
    Defaults& defaults() { return ctx->defaults(); }
    void at(double t) { time->runUntil(seconds(t)); }
    double now() const { return toSeconds(time->uptime()); }
    // The player says it plays (or paused) `title`, with both skips, as the helper reports it.
    void plays(bool playing, const std::string& title = "Title") {
        auto& h = sim->simHelper();
        h.isPlaying = playing;
        h.commands = {{"hasPreviousSkip", true}, {"hasNextSkip", true}};
        h.info = {{"kMRMediaRemoteNowPlayingInfoTitle", title},
                  {"kMRMediaRemoteNowPlayingInfoArtist", std::string("Artist")},
                  {"kMRMediaRemoteNowPlayingInfoDuration", 200.0},
                  {"kMRMediaRemoteNowPlayingInfoPlaybackRate", playing ? 1.0 : 0.0}};
        h.callback("nowPlayingDidChange", false, false, "");
        if (!playing) h.callback("applicationIsPlayingDidChange", false, false, "Music");
        time->runCurrent();
    }

    CaptureLogSink logs;
    AllowAll allow;
    VirtualTime* time = nullptr;
    SimPlatform* sim = nullptr;
    std::unique_ptr<Context> ctx;
    std::vector<Subscription> regs;
};

}  // namespace halvyn::test
