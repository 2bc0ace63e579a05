#include "notch/notch_fixture.h"

namespace halvyn::testing {
namespace {

class ScreenManagerTest : public NotchTest {
protected:
    ScreenManager& manager() { return ctx->screenManager(); }
    void setFullscreen(bool fullscreen) {
        sim->simWindowServer().setFullscreen(fullscreen);
        sim->simWorkspace().post(WorkspaceEvent::activeSpaceDidChange);
    }
    void post(WorkspaceEvent event) { sim->simWorkspace().post(event); }
};

TEST_F(ScreenManagerTest, FullscreenTakesTheNotchAwayAndTheLockScreenBringsItBack) {
    defaults().set(keys::disableWhileInFullscreen, true);
    manager();
    startEnabled();
    activity(L::isPlaying).wants = true;

    at(1.0);
    setFullscreen(true);
    EXPECT_TRUE(manager().isFullscreen.get());
    EXPECT_FALSE(notch().isEnabled.get());
    at(1.45);
    EXPECT_EQ(notch().panel(), nullptr);

    at(2.0);
    post(WorkspaceEvent::screenLocked);
    EXPECT_TRUE(notch().isEnabled.get());
    EXPECT_NE(notch().panel(), nullptr);

    at(3.0);
    post(WorkspaceEvent::screenUnlocked);  // still in fullscreen
    EXPECT_FALSE(notch().isEnabled.get());
    at(3.45);
    EXPECT_EQ(notch().panel(), nullptr);

    at(4.0);
    setFullscreen(false);
    EXPECT_TRUE(notch().isEnabled.get());
    at(5.0);
    EXPECT_TRUE(notch().isVisible.get());
    EXPECT_EQ(notch().liveActivity.get(), L::isPlaying);
}

TEST_F(ScreenManagerTest, HideWhileInFullscreenEndsAndRestartsNowPlaying) {
    defaults().set(keys::hideWhileInFullscreen, true);
    manager();
    startEnabled();
    showActivity(L::isPlaying);
    setFullscreen(true);
    at(3);
    EXPECT_TRUE(notch().isEnabled.get());
    EXPECT_FALSE(notch().hasLiveActivity.get());
    EXPECT_EQ(hud.calls, (std::vector<std::string>{"suppress", "suspend"}));
    setFullscreen(false);
    at(4);
    EXPECT_EQ(notch().liveActivity.get(), L::isPlaying);
}

TEST_F(ScreenManagerTest, HideCalendarHidesOnlyTheCalendarAndWaitsForANotification) {
    defaults().set(keys::hideCalendarWhileInFullscreen, true);
    manager();
    startEnabled();
    showActivity(L::isPlaying);
    setFullscreen(true);
    at(3);
    EXPECT_EQ(notch().liveActivity.get(), L::isPlaying);

    activity(L::isCalendar).wants = true;
    notch().setLiveActivity(true, L::isCalendar, true, {}, 0.35);
    at(4);
    setFullscreen(true);
    EXPECT_FALSE(notch().hasLiveActivity.get());

    at(5);
    notch().setNotification(true, N::didChangeVolume, 0.35, 1.5);
    setFullscreen(false);  // a notification shows: nothing is started over it
    at(6);
    EXPECT_TRUE(notch().hasNotification.get());
    EXPECT_FALSE(notch().hasLiveActivity.get());
    at(7);  // closed at 6.5, restored 0.35 later
    EXPECT_EQ(notch().liveActivity.get(), L::isCalendar);
}

TEST_F(ScreenManagerTest, SleepAndWakeRaiseTheFlagForHalfASecondAfterTheLast) {
    manager();
    at(1.0);
    sim->simWorkspace().post(WorkspaceEvent::willSleep);
    EXPECT_TRUE(manager().hasRecentlySleptOrWake.get());
    at(1.3);
    sim->simWorkspace().post(WorkspaceEvent::screensDidSleep);
    at(1.7999);
    EXPECT_TRUE(manager().hasRecentlySleptOrWake.get());
    at(1.8);
    EXPECT_FALSE(manager().hasRecentlySleptOrWake.get());
    sim->simWorkspace().post(WorkspaceEvent::didWake);
    EXPECT_TRUE(manager().hasRecentlySleptOrWake.get());
    at(2.3);
    EXPECT_FALSE(manager().hasRecentlySleptOrWake.get());
}

TEST_F(ScreenManagerTest, WakeHoldsTheDisplayProcessAgainOnlyFrom15To26) {
    manager();
    sim->simWorkspace().post(WorkspaceEvent::screensDidWake);
    EXPECT_EQ(hud.calls, std::vector<std::string>{"suspend"});
    sim->simSystemInfo().setVersion("14.6");
    sim->simWorkspace().post(WorkspaceEvent::didWake);
    sim->simSystemInfo().setVersion("26.0");
    sim->simWorkspace().post(WorkspaceEvent::didWake);
    sim->simSystemInfo().setVersion("15.0");
    defaults().set(keys::enableVolume, false);
    defaults().set(keys::enableBrightness, false);
    sim->simWorkspace().post(WorkspaceEvent::didWake);
    EXPECT_EQ(hud.calls.size(), 1u);
}

}  // namespace
}  // namespace halvyn::testing
