#include "notch/notch_fixture.h"
#include "notch/outline_model.h"

namespace halvyn::testing {
namespace {

Screen external(std::uint32_t id, bool main) {
    Screen s;
    s.displayNumber = id;
    s.mainDisplay = main;
    s.frame = {1512, 0, 1920, 1080};
    s.visibleFrame = {1512, 0, 1920, 1055};
    return s;
}

Screen builtIn(bool main) {
    Screen s = SimScreens::defaultScreen();
    s.mainDisplay = main;
    return s;
}

class NotchScreensTest : public NotchTest {
protected:
    std::vector<Effect> windowEffects() const { return sim->effects().ofKind("window"); }
};

// MARK: - Geometry

TEST_F(NotchScreensTest, AHardwareNotchIsMeasuredAndClampedToTheMinimumExpandedSize) {
    notch().updateNotchSize(SimScreens::defaultScreen());
    EXPECT_EQ(notch().notchWidth.get(), 184);
    EXPECT_EQ(notch().notchHeight.get(), 38);
    EXPECT_EQ(notch().notchExpandedWidth.get(), 345);
    EXPECT_EQ(notch().notchExpandedHeight.get(), 180);

    Screen wide = SimScreens::defaultScreen();
    wide.auxiliaryTopLeft = wide.auxiliaryTopRight = 600;  // 312 wide
    notch().updateNotchSize(wide);
    EXPECT_EQ(notch().notchExpandedWidth.get(), 472);
}

TEST_F(NotchScreensTest, AScreenWithoutNotchGetsASimulatedOneAsTallAsItsMenuBar) {
    notch().updateNotchSize(external(2, true));
    EXPECT_EQ(notch().notchWidth.get(), 185);
    EXPECT_EQ(notch().notchHeight.get(), 24);
    EXPECT_EQ(notch().notchExpandedWidth.get(), 345);
    EXPECT_EQ(notch().notchExpandedHeight.get(), 174);

    Screen noMenuBar = external(2, true);
    noMenuBar.visibleFrame = noMenuBar.frame;
    noMenuBar.frame.height = 1080;
    notch().updateNotchSize(noMenuBar);
    EXPECT_EQ(notch().notchHeight.get(), 24);

    Screen oneArea = SimScreens::defaultScreen();  // only one of the two areas: no camera housing
    oneArea.auxiliaryTopRight.reset();
    notch().updateNotchSize(oneArea);
    EXPECT_EQ(notch().notchWidth.get(), 185);
}

// MARK: - Window

// Its frame is in every scenario's trace; hiding it from screen capture is AppStateTest's.
TEST_F(NotchScreensTest, EnableCreatesOnePanelCentredAtTheTopInThePrivateSpace) {
    notch().enable();
    ASSERT_NE(notch().panel(), nullptr);
    const auto* w = sim->simWindowServer().window(notch().panel()->id());
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->config.styleMask, 0x8080u);
    EXPECT_EQ(w->config.level, 1000);
    EXPECT_EQ(w->config.collectionBehavior, 0x151u);
    EXPECT_FALSE(w->config.canBecomeKey);
    const auto* space = sim->simWindowServer().space(notch().notchSpace().identifier());
    EXPECT_EQ(space->level, 400);
    EXPECT_TRUE(space->shown);
    EXPECT_EQ(space->windows.count(notch().panel()->id()), 1u);
    notch().enable();  // already enabled: no second window
    EXPECT_EQ(windowEffects().size(), 2u);  // open at the zero rectangle, then the frame
}

TEST_F(NotchScreensTest, AnEnableRightAfterAnImmediateDisableKeepsTheWindow) {
    startEnabled();
    notch().disable(true);
    EXPECT_NE(notch().panel(), nullptr);  // closed on the next turn
    notch().enable();
    at(2);
    ASSERT_NE(notch().panel(), nullptr);
    EXPECT_TRUE(notch().isVisible.get());
    EXPECT_TRUE(sim->simWindowServer().window(notch().panel()->id())->open);
}

TEST_F(NotchScreensTest, ADisableWithinTheFadeInKeepsTheContentHidden) {
    notch().enable();
    at(0.01);
    notch().disable(false);
    at(1);
    EXPECT_FALSE(notch().isVisible.get());
    EXPECT_EQ(notch().panel(), nullptr);
}

// MARK: - Screen choice

TEST_F(NotchScreensTest, BuiltInDisplayUnavailableKeepsTheNotchAwayUntilItReturns) {
    defaults().set(keys::showOnDisplay, DisplayType::builtInDisplay);
    sim->simScreens().set({external(2, true)});
    time->runCurrent();
    notch().enable();
    EXPECT_FALSE(notch().isEnabled.get());
    EXPECT_EQ(notch().panel(), nullptr);

    sim->simScreens().set({builtIn(false), external(2, true)});
    time->runCurrent();
    EXPECT_TRUE(notch().isEnabled.get());
    EXPECT_TRUE(notch().hasNotch());

    sim->simScreens().set({external(2, true)});  // the lid closes
    time->runCurrent();
    EXPECT_FALSE(notch().isEnabled.get());
    EXPECT_EQ(notch().panel(), nullptr);
}

TEST_F(NotchScreensTest, AScreenChangeWhileANotificationShowsKeepsItAndItsTimer) {
    startEnabled();
    at(1.0);
    notch().setNotification(true, N::didChangeVolume, 0.35, 1.5);
    at(1.2);
    sim->simScreens().set({builtIn(false), external(2, true)});
    time->runCurrent();
    EXPECT_TRUE(notch().hasNotification.get());
    at(2.5);
    EXPECT_FALSE(notch().hasNotification.get());

    // Losing every screen takes the notification away with the notch; nothing is left behind.
    notch().setNotification(true, N::didChangeBrightness, 0.35, 1.5);
    at(3.0);
    sim->simScreens().set({});
    at(6);
    EXPECT_FALSE(notch().hasNotification.get());
    EXPECT_FALSE(notch().isEnabled.get());
}

// MARK: - System display suppression

// Older systems suppress the system's own displays through the display process, 26 and later
// through the game-overlay signal, whose failure is ignored.
TEST_F(NotchScreensTest, SuppressionOfTheSystemDisplaysFollowsTheSystemVersion) {
    notch().enable();
    notch().disable(true);
    EXPECT_EQ(hud.calls, (std::vector<std::string>{"suppress", "restore"}));
    EXPECT_TRUE(sim->effects().ofKind("darwinNotify").empty());

    hud.calls.clear();
    sim->simSystemInfo().setVersion("26.0");
    notch().enable();
    notch().disable(true);
    EXPECT_EQ(sim->effects().ofKind("darwinNotify").size(), 2u);  // on, then off: see notch_screens_and_power
    EXPECT_EQ(sim->simDarwinNotify().activeRegistrations(), 0u);
    EXPECT_TRUE(hud.calls.empty());

    defaults().set(keys::enableBrightness, false);
    defaults().set(keys::enableVolume, false);
    notch().enable();
    EXPECT_EQ(sim->effects().ofKind("darwinNotify").size(), 2u);

    notch().disable(true);
    sim->simDarwinNotify().failing = true;
    defaults().set(keys::enableVolume, true);
    notch().enable();
    EXPECT_TRUE(notch().isEnabled.get());
    EXPECT_EQ(sim->effects().ofKind("darwinNotify").size(), 2u);
}

TEST(SystemVersionTest, ParsesWhatItCanAndReadsTheRestAsZero) {
    EXPECT_EQ(SystemVersion::parse("15.1"), (SystemVersion{15, 1, 0}));
    EXPECT_EQ(SystemVersion::parse("26.0.1"), (SystemVersion{26, 0, 1}));
    EXPECT_EQ(SystemVersion::parse("14"), (SystemVersion{14, 0, 0}));
    EXPECT_EQ(SystemVersion::parse("15.2 beta"), (SystemVersion{15, 2, 0}));
    EXPECT_EQ(SystemVersion::parse(""), (SystemVersion{0, 0, 0}));
    EXPECT_EQ(SystemVersion::parse("x.y"), (SystemVersion{0, 0, 0}));
    EXPECT_GT(SystemVersion::parse("99999999999999999999.1").major, 26);  // huge numbers saturate
}

}  // namespace
}  // namespace halvyn::testing
