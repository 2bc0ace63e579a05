// The volume display: when a device change shows it, amplification past full, the slider's unmute
// step, and devices that lack a volume or mute property. The key steps, jumps, muting, the slider's
// timings and the AirPods' step rule are played in the hud_* scenarios.

#include "hud/volume_manager.h"

#include <tuple>

#include "hud_fixture.h"
#include "runtime/owned_access.h"
#include "sources/show_rule.h"

namespace halvyn::testing {
namespace {

class VolumeTest : public HudTest {
protected:
    VolumeManager& volume() { return app().volume(); }
    void deviceVolume(float v) {
        sim->audio().changeVolume(1, v);
        time->runCurrent();
    }
    bool shown() const { return !notificationCalls().empty(); }
};

// An audio service that connects after start-up (or again) sets where the level stands; the
// next change is measured from there.
TEST_F(VolumeTest, ServiceConnectedLateIsAStartingPointNotAChange) {
    sim->audio().reset({}, std::nullopt);
    volume();
    EXPECT_FLOAT_EQ(volume().volume, 1.0f);
    sim->audio().connectService({{{1, "Speakers", "Speakers", "Built-In"}, 0.5f, false}}, 1);
    time->runCurrent();
    EXPECT_FLOAT_EQ(volume().volume, 0.5f);
    advance(1);
    EXPECT_FALSE(shown());
    deviceVolume(0.5625f);
    EXPECT_TRUE(logs.contains("volumeDiff: 0.062500"));
    EXPECT_TRUE(shown());

    // Reconnected while muted: the starting point is muted, and shows nothing either.
    const auto before = notificationCalls().size();
    sim->audio().connectService({{{1, "Speakers", "Speakers", "Built-In"}, 0.7f, true}}, 1);
    time->runCurrent();
    advance(1);
    EXPECT_TRUE(volume().isMuted);
    EXPECT_FLOAT_EQ(volume().volume, 0.0f);
    EXPECT_FLOAT_EQ(volume().actualVolume, 0.7f);
    EXPECT_EQ(notificationCalls().size(), before);
}

TEST_F(VolumeTest, DeviceWithoutPropertiesStartsAtFullVolumeUnmuted) {
    sim->audio().reset({{{7, "X", "Y", "USB"}, std::nullopt, std::nullopt}}, 7);
    EXPECT_FLOAT_EQ(volume().actualVolume, 1.0f);
    EXPECT_FALSE(volume().isMuted);
    // Its notifications read nothing and are dropped; a slider writes nothing.
    sim->audio().notifyVolume(7);
    sim->audio().notifyMute(7);
    volume().setVolume(0.3f);
    advance(1);
    EXPECT_FLOAT_EQ(volume().volume, 1.0f);
    EXPECT_TRUE(sim->audio().writes().empty());
    EXPECT_FALSE(shown());
}

TEST_F(VolumeTest, KeyStepShowsTheDisplayWithTheHudTimings) {
    volume();
    set(keys::synchronizedHUD, false);
    set(keys::volumeSpeed, HUDSpeed::smooth);
    set(keys::volumeDuration, 3.0);
    deviceVolume(0.5625f);
    EXPECT_FLOAT_EQ(volume().volume, 0.5625f);
    ASSERT_EQ(notificationCalls().size(), 1u);
    EXPECT_EQ(notificationCalls()[0], R"([true,"didChangeVolume",0.35,3])");
}

// Past full (PulseAudio amplifies up to 150 % and beyond), each step still shows the display:
// the level stays full and the amplification carries the rest; a step back under full clears it.
TEST_F(VolumeTest, StepsPastFullShowTheDisplayWithTheAmplification) {
    volume();
    // From 0.5; a jump of 0.1 or more is quiet, as below full.
    const std::tuple<float, float, float, size_t> steps[] = {
        {0.95f, 0.95f, 0.0f, 0}, {1.0f, 1.0f, 0.0f, 1},   {1.05f, 1.0f, 0.05f, 2},
        {1.5f, 1.0f, 0.5f, 2},   {1.45f, 1.0f, 0.45f, 3}, {0.97f, 0.97f, 0.0f, 3},
        {0.95f, 0.95f, 0.0f, 4}, {1e9f, 1.0f, kMaxDeviceVolume - 1, 4}};
    for (auto [reading, level, over, shownCount] : steps) {
        SCOPED_TRACE(reading);
        deviceVolume(reading);
        advance(0.2);
        EXPECT_FLOAT_EQ(volume().volume, level);
        EXPECT_FLOAT_EQ(volume().actualVolume, level);
        EXPECT_NEAR(volume().overAmplification, over, 1e-6f);
        EXPECT_EQ(notificationCalls().size(), shownCount);
    }
    // Muted while amplified: the views show zero, the amplification waits for the unmute.
    sim->audio().changeMute(1, true);
    advance(0.2);
    EXPECT_FLOAT_EQ(volume().volume, 0.0f);
    EXPECT_FLOAT_EQ(volume().overAmplification, kMaxDeviceVolume - 1);
}

TEST_F(VolumeTest, ThrottleDeliversFirstAtOnceAndLatestAfterTheInterval) {
    volume();
    // Each notification reads the device when it arrives: they come one by one.
    for (float v : {0.51f, 0.52f, 0.53f, 0.54f}) deviceVolume(v);
    EXPECT_FLOAT_EQ(volume().volume, 0.51f);
    advance(0.099);
    EXPECT_FLOAT_EQ(volume().volume, 0.51f);
    advance(0.001);
    EXPECT_FLOAT_EQ(volume().volume, 0.54f);
    advance(1);
    EXPECT_EQ(logs.lines.size(), 2u);  // 0.52 and 0.53 never reached the handler
}

TEST_F(VolumeTest, QuietWhileTheNotchShowsItsOutputControl) {
    volume();
    setAsOwner(app().notch().isExpanded, true);
    setAsOwner(app().notch().hasOutput, true);
    deviceVolume(0.5625f);
    advance(0.2);
    EXPECT_FALSE(shown());
    EXPECT_FLOAT_EQ(volume().volume, 0.5625f);
}

TEST_F(VolumeTest, QuietWhenOffOrWhenTheLockScreenWidgetHasItsSlider) {
    volume();
    set(keys::enableVolume, false);
    deviceVolume(0.55f);
    advance(0.2);
    EXPECT_FLOAT_EQ(volume().volume, 0.55f);
    EXPECT_FALSE(shown());
    set(keys::enableVolume, true);
    set(keys::showVolumeControl, true);
    lockAndFocus.locked = true;
    deviceVolume(0.5f);
    advance(0.2);
    EXPECT_FALSE(shown());
    set(keys::allowNowPlayingWidgetWhenLocked, false);
    deviceVolume(0.55f);
    advance(0.2);
    EXPECT_TRUE(shown());
}

TEST_F(VolumeTest, ShowsByItsOwnSwitches) {
    expectOwnShowSwitches(app().defaults(), volume(),
                          {keys::enableVolume, keys::allowVolumeWhenFocused, keys::allowVolumeWhenLocked}, situation());
}

// A slider move while muted unmutes one step (0.1) above the muted level, one below when the slider
// went to zero, within 0...1.
TEST_F(VolumeTest, SliderWhileMutedUnmutesOneStepFromTheMutedLevel) {
    volume();
    const std::tuple<float, float, float> cases[] = {{0.5f, 0.3f, 0.6f}, {0.95f, 0.5f, 1.0f}, {0.05f, 0.0f, 0.0f}};
    for (auto [muted, request, written] : cases) {
        SCOPED_TRACE(muted);
        sim->audio().reset({{{1, "BuiltInSpeakerDevice", "Speakers", "Built-In"}, muted, true}}, 1);
        setAsOwner(volume().isMuted, true);
        setAsOwner(volume().actualVolume, muted);
        volume().setVolume(request);
        advance(0.05);
        EXPECT_FALSE(sim->audio().find(1)->muted.value_or(true));
        EXPECT_FLOAT_EQ(sim->audio().find(1)->volume.value(), written);
        EXPECT_FLOAT_EQ(volume().actualVolume, written);
        advance(1);  // the device's own notifications of the write are through
    }
}

}  // namespace
}  // namespace halvyn::testing
