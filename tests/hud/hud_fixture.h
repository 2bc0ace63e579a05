#pragma once
// The whole context on virtual time (app/context_fixture.h) with a Focus, lock and now-playing
// visibility the test switches, for the volume and brightness displays, the system-display
// suppression and the sounds.

#include <functional>
#include <string>
#include <vector>

#include "app/context_fixture.h"
#include "notch/notch_sources.h"
#include "nowplaying/now_playing_visibility.h"
#include "sources/source_state.h"

namespace halvyn::testing {

struct FakeLockAndFocus : LockStateSource, FocusStateSource, NowPlayingVisibility {
    bool locked = false;
    bool focus = false;
    bool nowPlayingHidden = false;
    bool isScreenLocked() const override { return locked; }
    bool isFocusActive() const override { return focus; }
    bool isHidden() const override { return nowPlayingHidden; }
};

class HudTest : public context_testing::ContextTest {
protected:
    // Ends the context before the fakes it was lent.
    ~HudTest() override {
        lockRegistration = {};
        ctx->setCallRecorder(nullptr);
        ctx.reset();
    }
    // The managers, built on first use: a test sets up the simulated system before.
    Assembly& app() {
        if (!lockRegistration.active()) {
            ctx->assemble({.focusState = &lockAndFocus, .nowPlayingVisibility = &lockAndFocus});
            lockRegistration = ctx->notchSources().setLockState(lockAndFocus);
        }
        return ctx->assembly();
    }
    template <class T>
    void set(const Key<T>& key, const T& value) {
        app().defaults().set(key, value);
        time->runCurrent();  // observers hear of it on the main queue
    }
    void advance(double s) { time->advance(seconds(s)); }
    // The arguments of the notification requests the notch saw: [true,"didChangeVolume",d,t] each.
    std::vector<std::string> notificationCalls() const {
        std::vector<std::string> out;
        for (auto& line : calls.of("setNotification")) out.push_back(line.substr(line.find('[')));
        return out;
    }
    std::vector<Effect> effects(const std::string& kind) const { return sim->effects().ofKind(kind); }
    // Puts the fake Focus and lock in a state, for the show-rule checks.
    std::function<void(bool, bool)> situation() {
        return [this](bool focus, bool locked) { lockAndFocus.focus = focus, lockAndFocus.locked = locked; };
    }

    FakeLockAndFocus lockAndFocus;
    Subscription lockRegistration;
};

}  // namespace halvyn::testing
