// The brightness display: the display followed, registration once per run, key-step detection,
// the quiet period after power changes, and malformed callbacks.

#include "hud/brightness_manager.h"

#include "hud_fixture.h"
#include "notch/screen_manager.h"
#include "runtime/owned_access.h"
#include "sources/battery_manager.h"
#include "sources/show_rule.h"

namespace halvyn::testing {
namespace {

class BrightnessTest : public HudTest {
protected:
    BrightnessManager& brightness() { return app().brightness(); }
    void change(double level) {
        sim->brightness().change(1, level);
        time->runCurrent();
    }
    std::size_t shownCount() const { return notificationCalls().size(); }
    static Screen screen(std::uint32_t id, bool builtIn, bool main) {
        Screen s = SimScreens::defaultScreen();
        s.displayNumber = id;
        s.builtIn = builtIn;
        s.mainDisplay = main;
        return s;
    }
};

TEST_F(BrightnessTest, FollowsTheBuiltInDisplayAndRegistersOnce) {
    sim->simScreens().set({screen(2, false, true), screen(1, true, false)});
    sim->brightness().reset({{1, 0.4f, true}, {2, 0.9f, true}});
    EXPECT_EQ(brightness().observedDisplay().value_or(0), 1u);
    EXPECT_FLOAT_EQ(brightness().currentBrightness, 0.4f);
    EXPECT_EQ(sim->brightness().registrations(1), 1);
    EXPECT_TRUE(sim->brightness().threadFlag("observingBrightnessChange-1"));
    // The flag outlives a manager: no second registration.
    BrightnessManager second(*ctx, ctx->defaults(), ctx->notch(), ctx->notchSources(), ctx->screenManager(), {}, {});
    EXPECT_EQ(sim->brightness().registrations(1), 1);
}

TEST_F(BrightnessTest, FallsBackToTheMainScreenOrToNothing) {
    sim->simScreens().set({screen(2, false, false), screen(3, false, true)});
    sim->brightness().reset({{3, std::nullopt, true}});
    EXPECT_EQ(brightness().observedDisplay().value_or(0), 3u);
    EXPECT_FLOAT_EQ(brightness().currentBrightness, 0.0f);  // unreadable level

    sim->simScreens().set({});
    BrightnessManager none(*ctx, ctx->defaults(), ctx->notch(), ctx->notchSources(), ctx->screenManager(), {}, {});
    EXPECT_FALSE(none.observedDisplay());
    EXPECT_FLOAT_EQ(none.currentBrightness, 100.0f);
}

TEST_F(BrightnessTest, UnchangeableDisplayOrFailedRegistrationGetsNoEvents) {
    sim->brightness().reset({{1, 0.5f, false}});
    brightness();
    EXPECT_EQ(sim->brightness().registrations(1), 0);
    change(0.5625);
    EXPECT_FLOAT_EQ(brightness().currentBrightness, 0.5f);

    sim->brightness().reset({{1, 0.5f, true}});
    sim->brightness().setRegistrationResult(-536870201);
    BrightnessManager failed(*ctx, ctx->defaults(), ctx->notch(), ctx->notchSources(), ctx->screenManager(), {}, {});
    EXPECT_EQ(sim->brightness().registrations(1), 1);
    EXPECT_FALSE(sim->brightness().threadFlag("observingBrightnessChange-1"));
}

// The plain key step, a jump and the clamp at zero are played in hud_brightness.
TEST_F(BrightnessTest, KeyStepsShowAndOtherChangesOnlyFollow) {
    brightness();
    change(0.6375);  // 0.1375: no key step
    change(0.7125);  // 0.075 rounds down to 0.07
    EXPECT_FLOAT_EQ(brightness().currentBrightness, 0.7125f);
    EXPECT_EQ(shownCount(), 0u);
    set(keys::synchronizedHUD, false);
    set(keys::brightnessSpeed, HUDSpeed::instant);
    change(0.65);
    ASSERT_EQ(shownCount(), 1u);
    EXPECT_EQ(notificationCalls()[0], R"([true,"didChangeBrightness",0.25,1.5])");
}

// The quiet after a wake is played in hud_brightness_wake.
TEST_F(BrightnessTest, QuietAfterPowerSourceChanges) {
    brightness();
    setAsOwner(app().battery().hasRecentlyChangedPowerSource, true);
    change(0.5625);
    EXPECT_FLOAT_EQ(brightness().currentBrightness, 0.5625f);
    EXPECT_EQ(shownCount(), 0u);
    setAsOwner(app().battery().hasRecentlyChangedPowerSource, false);
    change(0.5);
    EXPECT_EQ(shownCount(), 1u);
}

TEST_F(BrightnessTest, OffLeavesTheLevelAlone) {
    brightness();
    set(keys::enableBrightness, false);
    change(0.5625);
    EXPECT_FLOAT_EQ(brightness().currentBrightness, 0.5f);
}

TEST_F(BrightnessTest, CallbacksWithoutANumericValueAreIgnored) {
    brightness();
    for (const Value& info : {Value(), Value(Value::Object{}), Value(Value::Object{{"value", Value("0.56")}}),
                              Value(Value::Object{{"value", Value(true)}}), Value(Value::Array{Value(0.56)})}) {
        sim->brightness().callback(info);
        time->runCurrent();
    }
    EXPECT_FLOAT_EQ(brightness().currentBrightness, 0.5f);
    sim->brightness().callback(Value(Value::Object{{"other", Value(1)}, {"value", Value(0.45)}}));
    time->runCurrent();
    EXPECT_FLOAT_EQ(brightness().currentBrightness, 0.45f);
}

TEST_F(BrightnessTest, ShowsByItsOwnSwitches) {
    expectOwnShowSwitches(app().defaults(), brightness(),
                          {keys::enableBrightness, keys::allowBrightnessWhenFocused, keys::allowBrightnessWhenLocked},
                          situation());
}

}  // namespace
}  // namespace halvyn::testing
