// The keyboard display: which changes show, the quiet periods, bounds on the reported level, its
// own switch over the brightness display's look and Focus and lock rules, and a machine without
// a lit keyboard.

#include "hud/keyboard_brightness_manager.h"

#include <cmath>

#include "hud_fixture.h"
#include "notch/screen_manager.h"
#include "runtime/owned_access.h"
#include "sources/battery_manager.h"

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

TEST_F(KeyboardTest, HardwareChangesShowProgramChangesOnlyFollow) {
    sim->keyboard().reset(0.25f);
    EXPECT_FLOAT_EQ(level(), 0.25f);
    change(0.5f, false);  // the desktop dimming or restoring the light
    EXPECT_FLOAT_EQ(level(), 0.5f);
    EXPECT_EQ(shownCount(), 0u);
    change(1.0f);  // the firmware's key: any step, even a large one, shows
    EXPECT_FLOAT_EQ(level(), 1.0f);
    ASSERT_EQ(shownCount(), 1u);
    EXPECT_EQ(notificationCalls()[0].toJson(), R"([true,"didChangeKeyboardBrightness",0.3,1.5])");
    EXPECT_TRUE(app().notch().hasNotification.get());
    EXPECT_EQ(app().notch().notification.get(), N::didChangeKeyboardBrightness);

    // The brightness display's own speed and duration, not the volume display's.
    set(keys::synchronizedHUD, false);
    set(keys::brightnessSpeed, HUDSpeed::instant);
    set(keys::brightnessDuration, 3.0);
    set(keys::volumeSpeed, HUDSpeed::smooth);
    change(0.0f);
    EXPECT_EQ(notificationCalls().back().toJson(), R"([true,"didChangeKeyboardBrightness",0.25,3])");
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

TEST_F(KeyboardTest, OwnSwitchWithTheBrightnessFocusAndLockRules) {
    keyboard();
    set(keys::enableBrightness, false);  // the screen's display off leaves the keyboard's on
    EXPECT_TRUE(keyboard().allowsNotification(N::didChangeKeyboardBrightness));
    set(keys::enableKeyboardBrightness, false);
    change(1.0f);
    EXPECT_FLOAT_EQ(level(), 0.5f);
    EXPECT_FALSE(app().notch().hasNotification.get());
    EXPECT_FALSE(keyboard().allowsNotification(N::didChangeKeyboardBrightness));

    set(keys::enableKeyboardBrightness, true);
    lockAndFocus.focus = true;
    EXPECT_TRUE(keyboard().allowsNotification(N::didChangeKeyboardBrightness));
    set(keys::allowBrightnessWhenFocused, false);
    change(0.0f);
    EXPECT_FALSE(app().notch().hasNotification.get());
    lockAndFocus.focus = false;
    lockAndFocus.locked = true;
    EXPECT_TRUE(keyboard().allowsNotification(N::didChangeKeyboardBrightness));
    set(keys::allowBrightnessWhenLocked, false);
    EXPECT_FALSE(keyboard().allowsNotification(N::didChangeKeyboardBrightness));
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
