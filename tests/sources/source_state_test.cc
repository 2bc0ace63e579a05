// The show rule every display shares: its own switch, then an active Focus, then the lock.

#include "sources/source_state.h"

#include "notch/notch_sources.h"
#include "sources_fixture.h"

namespace halvyn::sources_testing {
namespace {

struct Lock final : LockStateSource {
    bool locked = false;
    bool isScreenLocked() const override { return locked; }
};

TEST_F(SourcesTest, AllowsShowingReadsTheSwitchThenTheFocusThenTheLock) {
    enum class P { absent, inactive, active };  // a Focus or lock source
    const struct Case {
        bool enabled;
        P focus;
        bool whenFocused;
        P lock;
        bool whenLocked;
        bool shows;
    } cases[] = {
        {true, P::absent, false, P::absent, false, true},  // nobody to ask: the switch alone
        {false, P::absent, true, P::absent, true, false},
        {true, P::inactive, false, P::inactive, false, true},
        {true, P::active, true, P::inactive, false, true},
        {true, P::active, false, P::inactive, true, false},
        {true, P::inactive, false, P::active, true, true},
        {true, P::inactive, true, P::active, false, false},
        {true, P::active, false, P::active, true, false},  // the Focus refuses before the lock lets through
        {true, P::active, true, P::active, false, false},
        {true, P::active, true, P::active, true, true},
        {false, P::active, true, P::active, true, false},
    };
    FocusSwitch focus;
    Lock lock;
    NotchSources sources;
    const ShowSwitches s{keys::enableVolume, keys::allowVolumeWhenFocused, keys::allowVolumeWhenLocked};
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(i);
        focus.on = c.focus == P::active;
        lock.locked = c.lock == P::active;
        const Seam<FocusStateSource> seam([&] { return c.focus == P::absent ? nullptr : &focus; });
        const Subscription reg = c.lock == P::absent ? Subscription() : sources.setLockState(lock);
        defaults().set(s.enabled, c.enabled);
        defaults().set(s.whenFocused, c.whenFocused);
        defaults().set(s.whenLocked, c.whenLocked);
        EXPECT_EQ(allowsShowing(defaults(), seam, sources, s), c.shows);
    }
}

}  // namespace
}  // namespace halvyn::sources_testing
