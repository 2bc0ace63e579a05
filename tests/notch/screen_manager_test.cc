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
};

// Hiding the now-playing activity in fullscreen, and the notch away with disableWhileInFullscreen,
// are played in notch_fullscreen_hide_playing and notch_fullscreen_disable.

TEST_F(ScreenManagerTest, HideCalendarHidesOnlyTheCalendarAndWaitsForANotification) {
    defaults().set(keys::hideCalendarWhileInFullscreen, true);
    manager();
    startEnabled();
    showActivity(L::isPlaying);
    setFullscreen(true);
    at(3);
    EXPECT_EQ(notch().liveActivity.get(), L::isPlaying);
    EXPECT_EQ(hud.calls, (std::vector<std::string>{"suppress", "suspend"})) << "a space change holds it again";

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
