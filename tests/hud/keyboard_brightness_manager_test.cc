// The keyboard display: the quiet periods, bounds on the reported level, its own switch over the
// brightness display's look and Focus and lock rules, and a machine without a lit keyboard.

#include "hud/keyboard_brightness_manager.h"

#include <cmath>

#include "hud_fixture.h"
#include "notch/screen_manager.h"
#include "runtime/owned_access.h"
#include "sources/battery_manager.h"
#include "sources/show_rule.h"

namespace halvyn::testing {
namespace {

using N = Notch::Notification;

class KeyboardTest : public HudTest {
protected:
    KeyboardBrightnessManager& keyboard() { return app().keyboardBrightness(); }
    float level() { return keyboard().currentKeyboardBrightness.get(); }
    void change(float value, bool external = true) {
        sim->keyboard().change(value, external);
        time->runCurrent();
    }
    std::size_t shownCount() const { return notificationCalls().size(); }
};

// Which changes show is played in hud_keyboard_brightness; here, whose look the display takes.
TEST_F(KeyboardTest, ShowsWithTheBrightnessDisplaysSpeedAndDuration) {
    keyboard();
    set(keys::synchronizedHUD, false);
    set(keys::brightnessSpeed, HUDSpeed::instant);
    set(keys::brightnessDuration, 3.0);
    set(keys::volumeSpeed, HUDSpeed::smooth);
    change(0.0f);
    ASSERT_EQ(shownCount(), 1u);
    EXPECT_EQ(notificationCalls()[0], R"([true,"didChangeKeyboardBrightness",0.25,3])");
    EXPECT_EQ(app().notch().notification.get(), N::didChangeKeyboardBrightness);
}

TEST_F(KeyboardTest, HostileLevelsAreBoundedOrIgnored) {
    sim->keyboard().reset(HUGE_VALF);
    EXPECT_FLOAT_EQ(level(), 1.0f);
    change(-3.0f);
    EXPECT_FLOAT_EQ(level(), 0.0f);
    change(NAN);
    EXPECT_FLOAT_EQ(level(), 0.0f);
    EXPECT_EQ(shownCount(), 1u);  // the bounded change showed, the one without a number did not
}

TEST_F(KeyboardTest, QuietAfterWakeAndPowerSourceChanges) {
    keyboard();
    setAsOwner(app().screenManager().hasRecentlySleptOrWake, true);
    change(0.75f);
    setAsOwner(app().screenManager().hasRecentlySleptOrWake, false);
    setAsOwner(app().battery().hasRecentlyChangedPowerSource, true);
    change(0.25f);
    EXPECT_FLOAT_EQ(level(), 0.25f);
    EXPECT_EQ(shownCount(), 0u);
}

// Its own switch, the brightness display's Focus and lock ones; the screen's switch leaves it on.
TEST_F(KeyboardTest, OwnSwitchWithTheBrightnessFocusAndLockRules) {
    set(keys::enableBrightness, false);
    expectOwnShowSwitches(app().defaults(), keyboard(),
                          {keys::enableKeyboardBrightness, keys::allowBrightnessWhenFocused, keys::allowBrightnessWhenLocked},
                          situation());
}

TEST_F(KeyboardTest, NoLitKeyboardNoLevelAndNoDisplay) {
    sim->setKeyboardPresent(false);
    EXPECT_FLOAT_EQ(level(), 0.0f);
    change(1.0f);
    EXPECT_FLOAT_EQ(level(), 0.0f);
    EXPECT_EQ(shownCount(), 0u);
}

}  // namespace
}  // namespace halvyn::testing
