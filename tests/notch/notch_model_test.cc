#include <tuple>

#include "notch/notch_fixture.h"
#include "runtime/owned_access.h"

namespace halvyn::testing {
namespace {

// MARK: - Notifications

TEST_F(NotchTest, NothingIsRestoredWhenNoSourceWantsItsActivityAnyMore) {
    startEnabled();
    showActivity(L::isPlaying);
    notch().setNotification(true, N::didChangeVolume, 0.3, 1.5);
    activity(L::isPlaying).wants = false;
    at(10);
    EXPECT_FALSE(notch().hasLiveActivity.get());
    EXPECT_FALSE(notch().hasNotification.get());
}

TEST_F(NotchTest, ClosingIsDeferredToTheNextTurnAndCapturesTheAccessory) {
    startEnabled();
    notch().setNotification(true, N::didConnectAirPods, 0.35, 0);
    state.device = VirtualDevice{VirtualDevice::Kind::airPodsPro2, AirPodsState::leftOnly};
    notch().setNotification(false, N::none, 0.35, 0);
    EXPECT_TRUE(notch().hasNotification.get());  // a caller reading right after sees the old state
    time->runCurrent();
    EXPECT_FALSE(notch().hasNotification.get());
    EXPECT_FALSE(notch().localDevice.get().has_value());  // taken when the close completes
    time->advance(seconds(0.35));
    ASSERT_TRUE(notch().localDevice.get().has_value());
    EXPECT_EQ(notch().localDevice.get()->kind, VirtualDevice::Kind::airPodsPro2);
}

TEST_F(NotchTest, UnregisteredKindsAndNoneAreNeverShown) {
    startEnabled();
    regs.clear();  // every source gone
    notch().setNotification(true, N::isCharging, 0.35, 1);
    notch().setNotification(true, N::none, 0.35, 1);
    at(5);
    EXPECT_FALSE(notch().hasNotification.get());
    EXPECT_EQ(notch().preferredLiveActivity(), L::none);
}

// MARK: - Refused requests keep what shows (mended: they used to cancel its close timer)

TEST_F(NotchTest, ARefusedNotificationKeepsAPendingRestore) {
    startEnabled();
    showActivity(L::isPlaying);
    notch().setNotification(true, N::didChangeVolume, 0.3, 1.0);  // closes at 2.8, restores at 3.15
    source(N::isLowBattery).allows = false;
    at(3.0);
    notch().setNotification(true, N::isLowBattery, 0.35, 1);
    at(3.15);
    EXPECT_EQ(notch().liveActivity.get(), L::isPlaying);
}

TEST_F(NotchTest, ADismissedNowPlayingStartLeavesTheShowingNotificationsTimer) {
    startEnabled();
    setAsOwner(notch().isDismissed, true);
    at(1.0);
    notch().setNotification(true, N::didChangeVolume, 0.35, 1.5);
    at(1.5);
    notch().setLiveActivity(true, L::isPlaying, false, {}, 0.35);
    at(2.5);
    EXPECT_FALSE(notch().hasNotification.get());
    EXPECT_FALSE(notch().hasLiveActivity.get());
}

TEST_F(NotchTest, ABlockedStartLeavesTheShowingNotificationsTimer) {
    startEnabled();
    at(1.0);
    // Both in one turn: the notification shows at once, the activity on the next turn.
    notch().setLiveActivity(true, L::isPlaying, false, {}, 0.35);
    notch().setNotification(true, N::didChangeVolume, 0.35, 1.5);
    at(1.5);
    ASSERT_TRUE(notch().hasLiveActivity.get());
    notch().setLiveActivity(true, L::isPlaying, false, {}, 0.35);  // blocked: an activity shows
    at(2.4999);
    EXPECT_TRUE(notch().hasNotification.get());
    at(2.5);
    EXPECT_FALSE(notch().hasNotification.get());
}

// MARK: - Live activities

using LA = Notch::LiveActivity;

class PrecedenceTest : public NotchTest,
                       public ::testing::WithParamInterface<std::tuple<Notch::LiveActivity, Notch::LiveActivity, bool>> {};

TEST_P(PrecedenceTest, ALaterKindNeverDisplacesAnEarlierOneUnlessForced) {
    const auto [current, requested, replaces] = GetParam();
    startEnabled();
    notch().setLiveActivity(true, current, false, {}, 0.35);
    at(2);
    ASSERT_EQ(notch().liveActivity.get(), current);
    notch().setLiveActivity(true, requested, false, {}, 0.35);
    at(4);
    EXPECT_EQ(notch().liveActivity.get(), replaces ? requested : current);
    // Forced, the request always proceeds.
    notch().setLiveActivity(true, L::isPlaying, true, {}, 0.35);
    at(6);
    EXPECT_EQ(notch().liveActivity.get(), L::isPlaying);
}

INSTANTIATE_TEST_SUITE_P(
    Table, PrecedenceTest,
    ::testing::Values(std::make_tuple(LA::isLocked, LA::isLocked, false), std::make_tuple(LA::isLocked, LA::isAdjusting, false),
                      std::make_tuple(LA::isLocked, LA::isFocus, false), std::make_tuple(LA::isLocked, LA::isCalendar, false),
                      std::make_tuple(LA::isLocked, LA::isPlaying, false), std::make_tuple(LA::isAdjusting, LA::isLocked, true),
                      std::make_tuple(LA::isAdjusting, LA::isAdjusting, false), std::make_tuple(LA::isAdjusting, LA::isFocus, false),
                      std::make_tuple(LA::isAdjusting, LA::isCalendar, false), std::make_tuple(LA::isFocus, LA::isLocked, true),
                      std::make_tuple(LA::isFocus, LA::isAdjusting, true), std::make_tuple(LA::isFocus, LA::isFocus, false),
                      std::make_tuple(LA::isFocus, LA::isCalendar, false), std::make_tuple(LA::isCalendar, LA::isFocus, true),
                      std::make_tuple(LA::isCalendar, LA::isCalendar, false), std::make_tuple(LA::isCalendar, LA::isPlaying, false),
                      std::make_tuple(LA::isPlaying, LA::isLocked, true), std::make_tuple(LA::isPlaying, LA::isCalendar, true),
                      std::make_tuple(LA::isPlaying, LA::isPlaying, false), std::make_tuple(LA::isPlaying, LA::none, false)));

// Swapping one activity for another after the animation is played in lock_unlock_lock_screen.
TEST_F(NotchTest, StartingIsDeferredToTheNextTurnAndRunsItsCompletion) {
    startEnabled();
    bool ran = false;
    notch().setLiveActivity(true, L::isPlaying, false, [&] { ran = true; }, 0.35);
    EXPECT_FALSE(notch().hasLiveActivity.get());
    EXPECT_TRUE(notch().isWidening.get());
    time->runCurrent();
    EXPECT_TRUE(notch().hasLiveActivity.get());
    EXPECT_TRUE(ran);
}

// A restore falling due while the notch is out of service is played in
// notch_disable_keeps_activity_away.
TEST_F(NotchTest, NothingStartsOnANotchOutOfServiceNotEvenForced) {
    startEnabled();
    activity(L::isCalendar).wants = true;
    notch().disable(true);
    notch().setLiveActivity(true, L::isCalendar, true, {}, 0.35);
    at(2);
    EXPECT_FALSE(notch().hasLiveActivity.get());
}

TEST_F(NotchTest, DismissedNowPlayingWaitsForTheNextExpansion) {
    startEnabled();
    setAsOwner(notch().isDismissed, true);
    notch().setLiveActivity(true, L::isPlaying, true, {}, 0.35);
    at(2);
    EXPECT_FALSE(notch().hasLiveActivity.get());
    notch().setExpanded(true, false);
    at(3);
    EXPECT_TRUE(notch().isExpanded.get());
    EXPECT_FALSE(notch().isDismissed.get());
    notch().setExpanded(false, false);
    notch().setLiveActivity(true, L::isPlaying, false, {}, 0.35);
    at(4);
    EXPECT_EQ(notch().liveActivity.get(), L::isPlaying);
}

// MARK: - Adjusting

TEST_F(NotchTest, WhileAdjustingOnlyTheAdjustingActivityIsAccepted) {
    startEnabled();
    notch().setAdjusting(true, Notch::Axis::horizontal);
    at(2);
    EXPECT_EQ(notch().liveActivity.get(), L::isAdjusting);
    notch().setNotification(true, N::didChangeVolume, 0.35, 1.5);
    notch().setLiveActivity(true, L::isLocked, true, {}, 0.35);
    notch().setLiveActivity(true, L::isPlaying, true, {}, 0.35);
    notch().setExpanded(true, false);
    at(4);
    EXPECT_FALSE(notch().hasNotification.get());
    EXPECT_EQ(notch().liveActivity.get(), L::isAdjusting);
    EXPECT_FALSE(notch().isExpanded.get());
}

TEST_F(NotchTest, EndingWithoutAStartEndsAtOnceAndEndsTheActivityWhenNoneIsWanted) {
    startEnabled();
    notch().setAdjusting(false, Notch::Axis::horizontal);
    time->runCurrent();
    EXPECT_FALSE(notch().isAdjusting.get());
    EXPECT_FALSE(notch().hasLiveActivity.get());
}

// MARK: - Quick peeks, expansion, haptics

TEST_F(NotchTest, AQuickPeekUnderThePointerOutlivesItsTimer) {
    startEnabled();
    notch().setQuickPeek(true, Q::isPlaying, true, 0.4, -0.3, 2);
    time->runCurrent();
    EXPECT_TRUE(notch().isQuickPeeking.get());
    setAsOwner(notch().isMouseInsideLeftContent, true);
    at(5);
    EXPECT_TRUE(notch().isQuickPeeking.get());
    setAsOwner(notch().isMouseInsideLeftContent, false);
    notch().setQuickPeek(true, Q::isCalendar, false, 0.35, -0.3, 2);
    at(6.9999);
    EXPECT_TRUE(notch().isQuickPeeking.get());
    at(7);
    EXPECT_FALSE(notch().isQuickPeeking.get());
    EXPECT_EQ(notch().quickPeek.get(), Q::isCalendar);  // keeps its last kind
}

TEST_F(NotchTest, QuickPeekGatesFollowTheirSettings) {
    startEnabled();
    defaults().set(keys::enableQuickPeek, false);
    notch().setQuickPeek(true, Q::isPlaying, true, 0.4, -0.3, 0);
    time->runCurrent();
    EXPECT_FALSE(notch().isQuickPeeking.get());
    notch().setQuickPeek(true, Q::isCalendar, false, 0.35, -0.3, 0);  // its own setting is on
    time->runCurrent();
    EXPECT_TRUE(notch().isQuickPeeking.get());
    defaults().set(keys::enableCalendarQuickPeek, false);
    notch().setQuickPeek(false, Q::none, true, 0.4, -0.3, 0);
    notch().setQuickPeek(true, Q::isCalendar, false, 0.35, -0.3, 0);
    time->runCurrent();
    EXPECT_FALSE(notch().isQuickPeeking.get());
}

TEST_F(NotchTest, ExpansionIsRefusedWhileLockedOrInactive) {
    startEnabled();
    state.locked = true;
    notch().setExpanded(true, false);
    at(2);
    EXPECT_FALSE(notch().isExpanded.get());

    state.locked = false;
    defaults().set(keys::disableExpandWhileInactive, true);
    notch().setExpanded(true, false);
    at(3);
    EXPECT_FALSE(notch().isExpanded.get());
    state.playing = true;
    notch().setExpanded(true, false);
    time->runCurrent();
    EXPECT_TRUE(notch().isExpanded.get());  // its 0.45 s of expanding: see notch_screens_and_power
}

TEST_F(NotchTest, ExpandingHidesTheNotificationAndCollapsingClosesTheOutput) {
    startEnabled();
    notch().setNotification(true, N::didChangeVolume, 0.35, 1.5);
    notch().setExpanded(true, true);
    EXPECT_FALSE(notch().hasNotification.get());
    at(1);
    notch().setExpanded(false, true);
    time->runCurrent();
    EXPECT_TRUE(notch().isCollapsing.get());
    at(1.25);
    EXPECT_FALSE(notch().isCollapsing.get());
    at(5);
    EXPECT_FALSE(notch().hasNotification.get());  // its timers went with the expansion
    EXPECT_EQ(notch().notification.get(), N::didChangeVolume);
}

TEST_F(NotchTest, HapticTapsCloserThanATenthOfASecondAreDropped) {
    startEnabled();
    at(1.0);
    notch().triggerHaptic();
    at(1.05);
    notch().triggerHaptic();
    EXPECT_EQ(sim->simHaptics().taps, std::vector<int>{2});
    at(1.1);
    notch().triggerHaptic();
    EXPECT_EQ(sim->simHaptics().taps.size(), 2u);
    defaults().set(keys::enableHaptics, false);
    at(2);
    notch().triggerHaptic();
    EXPECT_EQ(sim->simHaptics().taps.size(), 2u);
}

}  // namespace
}  // namespace halvyn::testing
