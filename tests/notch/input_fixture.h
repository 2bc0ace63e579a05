#pragma once
// The notch fixture plus the input: fake now-playing and calendar controls and a short way to
// send scroll events (positive dx to the right, positive dy downwards, as a device with natural
// scrolling reports them).

#include <string>
#include <vector>

#include "notch/input_seams.h"
#include "notch/notch_input.h"
#include "notch/outline_model.h"
#include "notch_fixture.h"

namespace halvyn::testing {

struct FakeNowPlaying final : NowPlayingControls {
    bool canNext = true;
    std::vector<std::string> calls;
    void note(std::string c) { calls.push_back(std::move(c)); }
    bool hasPreviousSkip() const override { return true; }
    bool hasNextSkip() const override { return canNext; }
    void previous() override { note("previous"); }
    void next() override { note("next"); }
    void setPointerOverNotch(bool inside) override { note(inside ? "pointerInside" : "pointerOutside"); }
    void cancelIdleTimer() override { note("cancelIdleTimer"); }
};

struct FakeCalendar final : CalendarControls {
    int dismissed = 0;
    void dismissEvent() override { ++dismissed; }
};

// Built before the notch fixture, which hands them to the input.
struct InputFakes {
    FakeNowPlaying nowPlaying;
    FakeCalendar calendar;
};

class InputTest : protected InputFakes, public NotchTest {
protected:
    using P = ScrollPhase;

    InputTest() : NotchTest({.nowPlayingControls = &nowPlaying, .calendarControls = &calendar}) {
        notch().enable();  // input reaches a notch in service only
    }

    NotchInput& input() { return ctx->notchInput(); }

    void scroll(double dx, double dy, P phase = P::changed, P momentum = P::none) {
        input().scroll({dx, dy, phase, momentum, true});
    }
    // A swipe of `steps` equal moves starting at the current time, `dt` apart, then the lift.
    void swipe(double dx, double dy, int steps, double dt = 0.02) {
        for (int i = 0; i < steps; ++i) {
            scroll(dx, dy, i == 0 ? P::began : P::changed);
            at(now() + dt);
        }
        scroll(0, 0, P::ended);
    }
    std::vector<int> haptics() const { return sim->simHaptics().taps; }
};

}  // namespace halvyn::testing
