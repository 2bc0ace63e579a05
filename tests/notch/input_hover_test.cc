#include <limits>

#include "input_fixture.h"

namespace halvyn::testing {
namespace {

TEST_F(InputTest, NegativeOrUnreadableHoverDurationMeansAtOnce) {
    defaults().set(keys::expandNotchOnHover, true);
    for (double d : {-3.0, std::numeric_limits<double>::quiet_NaN()}) {
        defaults().set(keys::hoverDuration, d);
        input().pointerEntered();
        time->runCurrent();
        time->runCurrent();
        EXPECT_TRUE(notch().isExpanded) << d;
        notch().setExpanded(false, false);
        input().pointerExited();
        at(now() + 1);
        ASSERT_FALSE(notch().isExpanded);
    }
}

TEST_F(InputTest, HoverTapsAndTellsNowPlayingUnlessLocked) {
    showActivity(L::isPlaying);
    input().pointerEntered();
    EXPECT_EQ(sim->simHaptics().taps, std::vector<int>{2});
    EXPECT_EQ(nowPlaying.calls, (std::vector<std::string>{"pointerInside", "cancelIdleTimer"}));
    input().pointerExited();
    EXPECT_EQ(nowPlaying.calls.back(), "pointerOutside");

    nowPlaying.calls.clear();
    state.locked = true;
    input().pointerEntered();
    input().pointerExited();
    EXPECT_EQ(nowPlaying.calls, std::vector<std::string>{"cancelIdleTimer"});
}

TEST_F(InputTest, LeavingClearsContentFlagsAndSwipes) {
    input().pointerInContent(NotchInput::ContentSide::left, true);
    input().pointerInContent(NotchInput::ContentSide::right, true);
    EXPECT_TRUE(notch().isMouseInsideLeftContent);
    scroll(0, 6, ScrollPhase::began);
    input().pointerExited();
    EXPECT_FALSE(notch().isMouseInsideLeftContent);
    EXPECT_FALSE(notch().isMouseInsideRightContent);
    EXPECT_EQ(input().verticalSwipe.get(), VerticalSwipeState{});
}

// The pressed look's 0.6 s is played in input_hover_expand.
TEST_F(InputTest, PressShowsThePressedLookOnlyOnTheCompactNotchWithoutHoverExpansion) {
    defaults().set(keys::expandNotchOnHover, true);
    input().press();
    EXPECT_FALSE(notch().isPressed);
    defaults().set(keys::expandNotchOnHover, false);
    notch().setExpanded(true, false);
    at(1);
    input().press();
    EXPECT_FALSE(notch().isPressed);
}

}  // namespace
}  // namespace halvyn::testing
