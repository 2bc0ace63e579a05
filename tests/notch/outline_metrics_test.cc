#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>

#include "input_fixture.h"
#include "notch/outline_metrics.h"

namespace halvyn {
namespace {

using N = Notch::Notification;
using L = Notch::LiveActivity;
using Q = Notch::QuickPeek;

// A visible compact notch 200 × 32 on a screen with a camera housing, expanded size 360 × 174.
OutlineInput base() {
    OutlineInput in;
    in.notchWidth = 200;
    in.notchHeight = 32;
    in.notchExpandedWidth = 360;
    in.notchExpandedHeight = 174;
    in.isVisible = true;
    in.hasNotch = true;
    return in;
}

TEST(OutlineMetrics, CompactWidthAddsTheNotificationOrActivity) {
    const std::pair<N, double> table[] = {
        {N::isCharging, 368},        {N::isLowBattery, 368},        {N::isLowPowerMode, 368},
        {N::didConnectAirPods, 274}, {N::isLowAirPodsBattery, 274}, {N::isFocus, 274},
        {N::didChangeVolume, 384},   {N::didChangeBrightness, 384}, {N::timeToLeave, 274},
        {N::none, 200},
    };
    for (auto [kind, width] : table) {
        OutlineInput in = base();
        in.hasNotification = true;
        in.notification = kind;
        EXPECT_EQ(outlineMetrics(in).width, width) << static_cast<int>(kind);
    }
    OutlineInput in = base();
    in.hasLiveActivity = true;
    in.liveActivity = L::isPlaying;
    EXPECT_EQ(outlineMetrics(in).width, 274);
    // During a swap both show and both widths add up.
    in.hasNotification = true;
    in.notification = N::didChangeVolume;
    EXPECT_EQ(outlineMetrics(in).width, 458);
    // A notification kind with hasNotification false adds nothing.
    in.hasNotification = false;
    in.hasLiveActivity = false;
    EXPECT_EQ(outlineMetrics(in).width, 200);
}

TEST(OutlineMetrics, AdjustmentsApplyCompactOnlyAndTheOutputPanelAddsHeight) {
    OutlineInput in = base();
    in.notchAdjustedWidth = 12;
    in.notchAdjustedHeight = -4;
    EXPECT_EQ(outlineMetrics(in).width, 212);
    EXPECT_EQ(outlineMetrics(in).height, 28);
    in.isExpanded = true;
    in.hasNotification = true;  // ignored when expanded
    in.notification = N::didChangeVolume;
    EXPECT_EQ(outlineMetrics(in).width, 360);
    EXPECT_EQ(outlineMetrics(in).height, 174);
    in.hasOutput = true;
    EXPECT_EQ(outlineMetrics(in).height, 208);
}

TEST(OutlineMetrics, QuickPeekHeightAndSimulatedNotchShrinkingWhenHidden) {
    OutlineInput in = base();
    in.isQuickPeeking = true;
    in.quickPeek = Q::isAdjusting;
    EXPECT_DOUBLE_EQ(outlineMetrics(in).height, 68.8);
    in.quickPeek = Q::isCalendar;
    EXPECT_EQ(outlineMetrics(in).height, 64);
    EXPECT_EQ(outlineMetrics(in).bottomRadius, 18);

    OutlineInput hidden = base();
    hidden.isVisible = false;
    EXPECT_EQ(outlineMetrics(hidden).width, 200);  // a real notch keeps its width
    hidden.hasNotch = false;
    EXPECT_EQ(outlineMetrics(hidden).width, 152);
}

// width, height, top and bottom radius, shadow opacity, radius and y. The radii and shadow of each
// resting state are played in input_hover_expand and outline_notification.
using Numbers = std::array<double, 7>;
Numbers numbers(const OutlineInput& in) {
    const OutlineMetrics m = outlineMetrics(in);
    return {m.width, m.height, m.topRadius, m.bottomRadius, m.shadowOpacity, m.shadowRadius, m.shadowY};
}

TEST(OutlineMetrics, OpeningPullStretchesEverythingButARestoringPullOnlyTheWidth) {
    OutlineInput in = base();
    in.isElevated = true;
    in.swipe = {VerticalSwipeDirection::down, 12, 1};
    EXPECT_EQ(numbers(in), (Numbers{212, 41, 7, 14, 0.625, 20, 2.5}));
    // No live activity and one wanted: the down swipe brings it back instead of opening.
    in.preferredLiveActivity = L::isPlaying;
    EXPECT_EQ(numbers(in), (Numbers{212, 32, 5, 11, 0.5, 16, 2}));

    // While the notch widens for new content the pull does not stretch it either.
    in.preferredLiveActivity = L::none;
    in.isWidening = true;
    EXPECT_EQ(outlineMetrics(in).height, 32);

    // Without "swipeToToggle" a down swipe leaves the outline alone.
    in.isWidening = false;
    in.swipeToToggle = false;
    EXPECT_EQ(outlineMetrics(in).width, 200);
}

TEST(OutlineMetrics, UpSwipeNarrowsUnlessExpandingOrCollapsing) {
    OutlineInput in = base();
    in.swipe = {VerticalSwipeDirection::up, -9, 0.75};
    EXPECT_EQ(outlineMetrics(in).width, 191);
    EXPECT_EQ(outlineMetrics(in).height, 32);
    in.isCollapsing = true;
    EXPECT_EQ(outlineMetrics(in).width, 200);
    in.isCollapsing = false;
    in.swipeToDismiss = false;
    EXPECT_EQ(outlineMetrics(in).width, 200);
}

TEST(OutlineMetrics, BadInputNeverGivesANegativeOrNanOutline) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    OutlineInput in = base();
    in.notchAdjustedWidth = -1000;
    in.notchAdjustedHeight = nan;
    in.swipe = {VerticalSwipeDirection::down, nan, nan};
    OutlineMetrics m = outlineMetrics(in);
    EXPECT_EQ(m.width, 0);
    EXPECT_EQ(m.height, 32);
    for (double v : {m.topRadius, m.bottomRadius, m.shadowOpacity, m.shadowRadius, m.shadowY})
        EXPECT_TRUE(std::isfinite(v));
    in.notchWidth = std::numeric_limits<double>::infinity();
    EXPECT_TRUE(std::isfinite(outlineMetrics(in).width));
}

// The Outline object recomputes when a setting it reads changes, and shows the adjusting fill.
class OutlineTest : public testing::InputTest {};

TEST_F(OutlineTest, FollowsSettingsAndTheAdjustingPreview) {
    startEnabled();
    Outline& outline = ctx->outline();
    const double w = outline.width;
    defaults().set(keys::notchAdjustedWidth, 10.0);
    at(now() + 0.01);
    EXPECT_EQ(outline.width, w + 10);
    notch().setAdjusting(true, Notch::Axis::horizontal);
    EXPECT_EQ(outline.fill.get(), "RoseColor");
}

}  // namespace
}  // namespace halvyn
