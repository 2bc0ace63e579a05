#include <cmath>
#include <limits>

#include "input_fixture.h"

namespace halvyn::testing {
namespace {

// MARK: - Horizontal skips

TEST_F(InputTest, QuickRightSwipePastNinetyPercentSkipsTwoTenthsAfterTheLift) {
    // Seven moves of 10 points over 0.14 s: the damped offset passes 27 (90 % of 30) only after
    // about 70 points of travel.
    swipe(10, 0, 7);
    const double lift = now();
    EXPECT_TRUE(nowPlaying.calls.empty());
    EXPECT_EQ(haptics(), std::vector<int>{0});  // the generic tap when the swipe armed
    EXPECT_DOUBLE_EQ(input().horizontalOffset, 0);  // sprung back
    at(lift + 0.199);
    EXPECT_TRUE(nowPlaying.calls.empty());
    at(lift + 0.2);
    EXPECT_EQ(nowPlaying.calls, std::vector<std::string>{"next"});

    // A slower swipe (0.35 s) to the left skips at the lift: before the clock moves on.
    swipe(-10, 0, 7, 0.05);
    EXPECT_EQ(nowPlaying.calls.back(), "previous");
}

TEST_F(InputTest, ArmingBoundaryIsNinetyPercentOfTheThreshold) {
    // One move of 30 shows 0.9 × 30 = 27: exactly 90 %, armed at the lift.
    scroll(30, 0, P::began);
    EXPECT_DOUBLE_EQ(input().horizontalOffset, 27);
    EXPECT_FALSE(input().isHorizontalArmed());
    scroll(0, 0, P::ended);
    at(1);
    EXPECT_EQ(nowPlaying.calls, std::vector<std::string>{"next"});

    // 29.9 shows 26.91: just short, nothing at all.
    nowPlaying.calls.clear();
    sim->simHaptics().taps.clear();
    scroll(29.9, 0, P::began);
    scroll(0, 0, P::ended);
    at(2);
    EXPECT_TRUE(nowPlaying.calls.empty());
    EXPECT_TRUE(haptics().empty());
}

TEST_F(InputTest, FallingBackBelowNinetyPercentDisarms) {
    scroll(30, 0, P::began);
    scroll(0, 0);  // progress 0.9: armed, one tap
    EXPECT_TRUE(input().isHorizontalArmed());
    scroll(-20, 0);  // back by 20, undamped: 27 - 18 = 9
    EXPECT_DOUBLE_EQ(input().horizontalOffset, 9);
    scroll(0, 0);  // progress now 0.3
    EXPECT_FALSE(input().isHorizontalArmed());
    scroll(0, 0, P::ended);
    at(1);
    EXPECT_TRUE(nowPlaying.calls.empty());
    EXPECT_EQ(haptics(), std::vector<int>{0});
}

TEST_F(InputTest, DampingSlowsTheOffsetAndStopsItAtTheThreshold) {
    // Down, threshold 12, factor 0.75: 3, then 3 + 0.75 × 0.75 × 4 = 5.25, then + 0.75 × 0.5625 × 4.
    scroll(0, 4, P::began);
    EXPECT_DOUBLE_EQ(input().verticalSwipe.get().offset, 3);
    scroll(0, 4);
    EXPECT_DOUBLE_EQ(input().verticalSwipe.get().offset, 5.25);
    EXPECT_DOUBLE_EQ(input().verticalSwipe.get().progress, 0.25);
    scroll(0, 4);
    EXPECT_DOUBLE_EQ(input().verticalSwipe.get().offset, 5.25 + 0.75 * (1 - 5.25 / 12) * 4);
    for (int i = 0; i < 100; ++i) scroll(0, 50);
    EXPECT_LE(input().verticalSwipe.get().offset, 12);
    EXPECT_GT(input().verticalSwipe.get().offset, 11.9);
    EXPECT_EQ(input().verticalSwipe.get().direction, VerticalSwipeDirection::down);
}

TEST_F(InputTest, SkipNeedsTheSettingsTheSourceAndACompactNotchOrExpansionUnderFocusOrLock) {
    nowPlaying.canNext = false;
    swipe(10, 0, 8);
    defaults().set(keys::swipeToSkip, false);
    nowPlaying.canNext = true;
    swipe(10, 0, 8);
    defaults().set(keys::swipeToSkip, true);
    defaults().set(keys::enableNowPlaying, false);
    swipe(10, 0, 8);
    defaults().set(keys::enableNowPlaying, true);
    showActivity(L::isFocus);
    swipe(10, 0, 8);
    at(now() + 1);
    EXPECT_TRUE(nowPlaying.calls.empty());
    EXPECT_TRUE(haptics().empty());

    // Expanded, the threshold is 16: one move of 18 shows 16.2, past 14.4.
    notch().setExpanded(true, false);
    at(now() + 1);
    ASSERT_TRUE(notch().isExpanded);
    scroll(18, 0, P::began);
    scroll(0, 0, P::ended);
    at(now() + 1);
    EXPECT_EQ(nowPlaying.calls, std::vector<std::string>{"next"});
}

TEST_F(InputTest, DiagonalMovementNeverSkipsAndAnUnrecognisedLiftStillSpringsBack) {
    swipe(10, 10, 10);
    at(1);
    EXPECT_TRUE(nowPlaying.calls.empty());

    // A swipe that turns diagonal before the lift: its feedback does not stay behind.
    scroll(0, 6, P::began);
    EXPECT_GT(input().verticalSwipe.get().offset, 0);
    scroll(20, 0);  // now more horizontal than vertical; the down recogniser no longer matches
    scroll(0, 0, P::ended);
    EXPECT_EQ(input().verticalSwipe.get(), VerticalSwipeState{});
}

TEST_F(InputTest, NanAndHugeDeltasAreSafe) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    Outline& outline = ctx->outline();
    scroll(nan, nan, P::began);
    scroll(0, inf);
    scroll(0, 1e308);
    // Stopped at the down threshold: the outline is at most 9 taller.
    EXPECT_DOUBLE_EQ(input().verticalSwipe.get().offset, 12);
    EXPECT_TRUE(std::isfinite(outline.width.get()));
    EXPECT_DOUBLE_EQ(outline.height, notch().notchHeight + 9);
    scroll(nan, nan, P::ended);
    EXPECT_EQ(input().verticalSwipe.get(), VerticalSwipeState{});
    // And the input works normally afterwards.
    swipe(10, 0, 7);
    at(now() + 1);
    EXPECT_EQ(nowPlaying.calls, std::vector<std::string>{"next"});
}

TEST_F(InputTest, NothingHappensWhileANotificationShows) {
    source(N::didChangeVolume).allows = true;
    notch().setNotification(true, N::didChangeVolume, 0.35, 5);
    at(1);
    ASSERT_TRUE(notch().hasNotification);
    swipe(10, 0, 8);
    swipe(0, 10, 5);
    at(2);
    EXPECT_TRUE(nowPlaying.calls.empty());
    EXPECT_FALSE(notch().isExpanded);
}

TEST_F(InputTest, NewContentResetsASwipeInProgress) {
    scroll(0, 5, P::began);
    ASSERT_GT(input().verticalSwipe.get().offset, 0);
    showActivity(L::isCalendar);
    EXPECT_EQ(input().verticalSwipe.get(), VerticalSwipeState{});
    EXPECT_FALSE(notch().shouldResetSwipes);  // taken back, so the next request is heard
}

// MARK: - Vertical swipes

TEST_F(InputTest, UpOnACalendarActivityDismissesTheEventAndIsIgnoredUnderLock) {
    showActivity(L::isCalendar);
    swipe(0, -10, 4);
    EXPECT_EQ(calendar.dismissed, 1);

    notch().setLiveActivity(true, L::isLocked, false, {}, 0.35);
    at(now() + 1);
    ASSERT_EQ(notch().liveActivity, L::isLocked);
    swipe(0, -10, 4);
    at(now() + 1);
    EXPECT_EQ(calendar.dismissed, 1);
    EXPECT_EQ(notch().liveActivity, L::isLocked);
}

TEST_F(InputTest, WithoutToggleOrDismissADownSwipeDoesNothingWhileAnActivityShows) {
    defaults().set(keys::swipeToToggle, false);
    defaults().set(keys::swipeToDismiss, false);
    showActivity(L::isPlaying);
    swipe(0, 10, 5);
    at(now() + 1);
    EXPECT_FALSE(notch().isExpanded);
    EXPECT_EQ(input().verticalSwipe.get(), VerticalSwipeState{});
    EXPECT_TRUE(haptics().empty());
}

}  // namespace
}  // namespace halvyn::testing
