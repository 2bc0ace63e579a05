#include "sources/battery_manager.h"

#include "lockscreen/lock_manager.h"
#include "sources/show_rule.h"
#include "sources_fixture.h"

namespace halvyn::sources_testing {
namespace {

class BatteryTest : public SourcesTest {
protected:
    BatteryManager& battery() { return ctx->battery(); }
    // A power-source notification with the adapter state and the percentage given.
    void report(Value external, Value percent) {
        sim->power.registry["ExternalConnected"] = std::move(external);
        sim->power.percent = std::move(percent);
        sim->power.postChange();
    }
};

TEST_F(BatteryTest, RegistryValuesOfTheWrongKindReadAsUnknown) {
    auto& reg = sim->power.registry;
    auto helper = BatteryHelper::find(sim->power);
    ASSERT_TRUE(helper);

    reg["ExternalConnected"] = Value("yes");
    EXPECT_EQ(helper->powerSource(), PowerSource::unknown);
    reg["ExternalConnected"] = Value(1);
    EXPECT_EQ(helper->powerSource(), PowerSource::unknown);
    reg.erase("ExternalConnected");
    EXPECT_EQ(helper->powerSource(), PowerSource::unknown);
    reg["ExternalConnected"] = Value(true);
    EXPECT_EQ(helper->powerSource(), PowerSource::powerAdapter);

    // Charging: all three known decides by capacity; otherwise "IsCharging" alone.
    reg["IsCharging"] = Value(true);
    reg["CurrentCapacity"] = Value(100);
    reg["MaxCapacity"] = Value(100);
    EXPECT_FALSE(helper->isCharging());
    reg["CurrentCapacity"] = Value(99.5);  // not a whole number: unknown
    EXPECT_TRUE(helper->isCharging());
    reg["IsCharging"] = Value(1);
    EXPECT_FALSE(helper->isCharging());

    reg["IsCharging"] = Value(true);
    reg["CurrentCapacity"] = Value(50);
    for (auto [minutes, expected] : std::vector<std::pair<Value, std::optional<int>>>{
             {Value(90), 90}, {Value(0), 0}, {Value(20159), 20159}, {Value(20160), std::nullopt},
             {Value(65535), std::nullopt}, {Value(-1), std::nullopt}, {Value("90"), std::nullopt},
             {Value(1e300), std::nullopt}}) {
        reg["AvgTimeToFull"] = minutes;
        EXPECT_EQ(helper->timeToFull(), expected) << minutes.toJson();
    }
    reg["AvgTimeToFull"] = Value(90);
    reg["ExternalConnected"] = Value(false);
    EXPECT_EQ(helper->timeToFull(), std::nullopt) << "only while on the adapter";

    for (auto [percent, expected] : std::vector<std::pair<Value, std::optional<int>>>{
             {Value(0), 0}, {Value(100), 100}, {Value(255), std::nullopt}, {Value(101), std::nullopt},
             {Value(-3), std::nullopt}, {Value(42.5), std::nullopt}, {Value("42"), std::nullopt},
             {Value(true), std::nullopt}, {Value(), std::nullopt}}) {
        sim->power.percent = percent;
        EXPECT_EQ(helper->batteryPercent(), expected) << percent.toJson();
    }
}

TEST_F(BatteryTest, WarningSwitchedOffIsStillCountedForTheDischarge) {
    defaults().set(keys::warnOnLowBattery, false);
    startNotch();
    battery();
    report(Value(false), Value(4));
    EXPECT_TRUE(battery().hasPassedThreshold.get());
    EXPECT_TRUE(sounds().empty());
    EXPECT_TRUE(calls.of("setNotification").empty());

    defaults().set(keys::warnOnLowBattery, true);
    report(Value(false), Value(3));
    EXPECT_TRUE(calls.of("setNotification").empty()) << "this discharge was already counted";

    defaults().set(keys::playSoundOnLowBattery, false);
    report(Value(true), Value(3));
    report(Value(false), Value(3));
    at(1);
    EXPECT_EQ(calls.of("setNotification").size(), 2u);  // charging, then the warning
    EXPECT_TRUE(sounds().empty()) << "the sound follows its own setting";
}

// A battery service that answers only after start-up is found then, and each (re)connection is a
// starting point: nothing is announced for it, the changes after it are.
TEST_F(BatteryTest, ServiceConnectedLateIsFoundAndReadAsAStartingPoint) {
    sim->power.present = false;
    startNotch();
    ASSERT_FALSE(battery().batteryHelper);
    sim->power.present = true;
    sim->power.registry["ExternalConnected"] = Value(false);
    sim->power.percent = Value(60);
    sim->power.postConnected();
    ASSERT_TRUE(battery().batteryHelper);
    EXPECT_DOUBLE_EQ(battery().batteryLevel.get(), 0.6);
    EXPECT_TRUE(battery().isOnBattery.get());
    EXPECT_FALSE(battery().hasRecentlyChangedPowerSource.get());

    // Back on the adapter after a restart of the service: no "Charging".
    sim->power.registry["ExternalConnected"] = Value(true);
    sim->power.postConnected();
    at(1);
    EXPECT_FALSE(battery().isOnBattery.get());
    EXPECT_TRUE(calls.of("setNotification").empty());

    // What follows the starting point is followed as usual, the low-power mode included.
    report(Value(false), Value(60));
    report(Value(true), Value(60));
    at(1.2);
    EXPECT_EQ(calls.of("setNotification"),
              std::vector<std::string>{"1.200 setNotification [true,\"isCharging\",0.35,5]"});
    sim->power.setLowPowerMode(true);
    EXPECT_TRUE(battery().isLowPowerModeEnabled.get());
}

// Charging asked for 0.2 s after the adapter, and the quiet half second, are played in
// battery_charger_connected; here, what the notification says and an adapter state nobody knows.
TEST_F(BatteryTest, ChargingLabelFollowsItsSettingsAndAnUnknownAdapterIsTheBattery) {
    startNotch();
    battery();
    report(Value(true), Value(81));
    at(1);
    EXPECT_TRUE(calls.requests().empty()) << "the initial state counts as on the adapter";
    EXPECT_FALSE(battery().isOnBattery.get());
    EXPECT_EQ(battery().notificationLabel(N::isCharging), "Charging");
    EXPECT_EQ(battery().notificationPercentage(), 81);
    defaults().set(keys::hideBatteryLabel, true);
    defaults().set(keys::hideBatteryPercentage, true);
    EXPECT_EQ(battery().notificationLabel(N::isCharging), std::nullopt);
    EXPECT_EQ(battery().notificationPercentage(), std::nullopt);
    report(Value("maybe"), Value(81));
    EXPECT_TRUE(battery().isOnBattery.get());
}

TEST_F(BatteryTest, LowPowerModeFollowsItsSetting) {
    startNotch();
    battery();
    defaults().set(keys::notifyOnLowPowerMode, false);
    sim->power.setLowPowerMode(true);
    EXPECT_FALSE(battery().isLowPowerModeEnabled.get()) << "not even the state is updated";

    defaults().set(keys::notifyOnLowPowerMode, true);
    sim->power.setLowPowerMode(true);
    EXPECT_TRUE(battery().isLowPowerModeEnabled.get());
    sim->power.setLowPowerMode(false);
    sim->power.postLowPowerMode(std::nullopt);
    EXPECT_FALSE(battery().isLowPowerModeEnabled.get());
    EXPECT_EQ(calls.of("setNotification"),
              std::vector<std::string>{"0.500 setNotification [true,\"isLowPowerMode\",0.35,5]"});
}

// The low-power mode unfollowed without a battery is played in battery_absent_low_power.
TEST_F(BatteryTest, WithoutABatteryNothingChanges) {
    sim->power.present = false;
    EXPECT_FALSE(battery().batteryHelper);
    sim->power.present = true;  // a service that appears later without saying so is not looked for
    report(Value(true), Value(3));
    at(1);
    EXPECT_DOUBLE_EQ(battery().batteryLevel.get(), 1.0);
    EXPECT_FALSE(battery().isOnBattery.get());
    EXPECT_FALSE(battery().hasRecentlyChangedPowerSource.get());
    EXPECT_TRUE(calls.requests().empty());
}

TEST_F(BatteryTest, AllowRuleReadsEnableFocusAndLock) {
    FocusSwitch focus;
    ctx->assemble({.focusState = &focus});
    expectOwnShowSwitches(defaults(), battery(),
                          {keys::enableBattery, keys::allowBatteryWhenFocused, keys::allowBatteryWhenLocked},
                          situation(focus));

    // Switched off, the values still follow the battery, but nothing is asked for.
    defaults().set(keys::enableBattery, false);
    const auto soundsBefore = sounds().size();  // the lock's own sounds
    report(Value(false), Value(3));
    EXPECT_DOUBLE_EQ(battery().batteryLevel.get(), 0.03);
    EXPECT_FALSE(battery().hasPassedThreshold.get());
    EXPECT_EQ(sounds().size(), soundsBefore);
}

}  // namespace
}  // namespace halvyn::sources_testing
