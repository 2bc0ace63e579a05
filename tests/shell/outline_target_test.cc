// The outline the notch's state asks for: sizes, radii and shadow across states.

#include "shell/outline_target.h"

#include "shell/shell_fixture.h"

namespace halvyn {
namespace {

// A notch 200 wide and 32 high (a screen with a camera housing between two 656-point areas).
Screen housingScreen() {
    Screen s = test::plainScreen();
    s.safeAreaTop = 32;
    s.auxiliaryTopLeft = 656;
    s.auxiliaryTopRight = 656;
    return s;
}

class OutlineTarget : public test::ShellTest {
protected:
    OutlineTarget() : ShellTest({housingScreen()}) {
        notch().enable();
        at(1);
    }
    OutlineMetrics target(const VerticalSwipe& s = {}) { return outlineTarget(*ctx, s); }
};

TEST_F(OutlineTarget, CompactWidthAddsWhatShows) {
    EXPECT_EQ(target().width, 200);
    EXPECT_EQ(target().height, 32);
    notch().setNotification(true, N::didChangeVolume, 0.35, 0);
    at(2);
    EXPECT_EQ(target().width, 384);
    notch().setNotification(true, N::isCharging, 0.35, 0);
    at(3);
    EXPECT_EQ(target().width, 368);
    notch().setNotification(false, N::none, 0.35, 0);
    at(4);
    notch().setLiveActivity(true, L::isPlaying, false, nullptr, 0.35);
    at(5);
    EXPECT_EQ(target().width, 274);
    // The user's adjustments apply to the compact notch only.
    defaults().set(keys::notchAdjustedWidth, 10.0);
    defaults().set(keys::notchAdjustedHeight, -4.0);
    at(6);
    EXPECT_EQ(target().width, 284);
    EXPECT_EQ(target().height, 28);
}

TEST_F(OutlineTarget, ExpandedIgnoresAdjustmentsAndGrowsWithTheOutputPanel) {
    defaults().set(keys::notchAdjustedWidth, 10.0);
    notch().setExpanded(true, false);
    at(2);
    const double w = notch().notchExpandedWidth.get(), h = notch().notchExpandedHeight.get();
    EXPECT_EQ(target().width, w);
    EXPECT_EQ(target().height, h);
    notch().setOutput(true, false);
    at(3);
    EXPECT_EQ(target().height, h + 34);
    notch().setOutput(false, false);
    at(4);
    EXPECT_EQ(target().height, h);
    EXPECT_EQ(target().topRadius, 5 + 12);
}

TEST_F(OutlineTarget, RadiiAndShadowFollowLiftAndContent) {
    EXPECT_EQ(target().bottomRadius, 10);
    EXPECT_EQ(target().shadowOpacity, 0) << "no shadow unless hovered or peeking";
    notch().isElevated.set(true);
    EXPECT_EQ(target().bottomRadius, 11);
    EXPECT_EQ(target().shadowOpacity, 0.5);
    EXPECT_EQ(target().shadowRadius, 16);
    EXPECT_EQ(target().shadowY, 2);
    notch().setLiveActivity(true, L::isPlaying, false, nullptr, 0.35);
    notch().setExpanded(true, false);
    at(3);
    EXPECT_DOUBLE_EQ(target().bottomRadius, 11 + 1.5 + 24);
    EXPECT_EQ(target().shadowOpacity, 0.6);
    EXPECT_EQ(target().shadowRadius, 20);
    EXPECT_EQ(target().shadowY, 6);
}

TEST_F(OutlineTarget, QuickPeekAddsHeight) {
    notch().setAdjusting(true, Notch::Axis::vertical);  // the width preview peeks with isAdjusting
    at(2);
    EXPECT_DOUBLE_EQ(target().height, 32 + 36.8);
    EXPECT_EQ(target().rose, 1);
    EXPECT_EQ(target().bottomRadius, 10 + 8);
}

TEST_F(OutlineTarget, DownSwipeStretchesUnlessItWouldRestoreAnActivity) {
    const VerticalSwipe down{VerticalSwipe::Direction::down, 12, 1};
    notch().isElevated.set(true);
    // Nothing wanted: the pull stretches width, height, radii and shadow.
    OutlineMetrics m = target(down);
    EXPECT_EQ(m.width, 212);
    EXPECT_EQ(m.height, 41);
    EXPECT_EQ(m.topRadius, 7);
    EXPECT_EQ(m.bottomRadius, 11 + 3);
    EXPECT_EQ(m.shadowOpacity, 0.625);
    // A source wants its activity and none shows: the swipe would restore it, so only the width follows.
    allow.wants = true;
    m = target(down);
    EXPECT_EQ(m.width, 212);
    EXPECT_EQ(m.height, 32);
    EXPECT_EQ(m.topRadius, 5);
    EXPECT_EQ(m.shadowOpacity, 0.5);
}

TEST(OutlineTargetDrawn, HiddenDrawnNotchIsNarrower) {
    struct Drawn : test::ShellTest {
        void TestBody() override {}
    } t;
    t.notch().enable();
    t.at(1);
    EXPECT_EQ(outlineTarget(*t.ctx).width, 185);
    t.notch().disable(true);
    t.at(2);
    EXPECT_EQ(outlineTarget(*t.ctx).width, 185 - 48);
}

}  // namespace
}  // namespace halvyn
