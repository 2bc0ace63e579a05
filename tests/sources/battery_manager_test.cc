#include "sources/battery_manager.h"

#include "lockscreen/lock_manager.h"
#include "sources/source_state.h"
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

TEST_F(BatteryTest, LowBatteryWarnsOnceAtTheThresholdUntilTheAdapterIsConnected) {
    startNotch();
    battery();
    // An unknown level never warns.
    for (Value bad : {Value(), Value(255), Value("5"), Value(-1)}) {
        report(Value(false), bad);
        EXPECT_DOUBLE_EQ(battery().batteryLevel.get(), 0.0) << bad.toJson();
    }
    EXPECT_FALSE(battery().hasPassedThreshold.get());
    report(Value(false), Value(11));
    at(1);
    EXPECT_DOUBLE_EQ(battery().batteryLevel.get(), 0.11);
    EXPECT_FALSE(battery().hasPassedThreshold.get());
    EXPECT_TRUE(calls.of("setNotification").empty());

    report(Value(false), Value(10));  // exactly the default threshold of 10
    EXPECT_TRUE(battery().hasPassedThreshold.get());
    EXPECT_EQ(sounds(), std::vector<std::string>{"low-power"});
    EXPECT_EQ(calls.of("setNotification"),
              std::vector<std::string>{"1.000 setNotification [true,\"isLowBattery\",0.35,5]"});

    at(2);
    report(Value(false), Value(5));
    report(Value(false), Value(2));
    EXPECT_EQ(calls.of("setNotification").size(), 1u) << "once per discharge";
    EXPECT_EQ(sounds().size(), 1u);

    // The adapter re-arms the warning; the next discharge warns again.
    at(3);
    report(Value(true), Value(2));
    EXPECT_FALSE(battery().hasPassedThreshold.get());
    at(4);
    report(Value(false), Value(2));
    EXPECT_EQ(calls.of("setNotification").back(), "4.000 setNotification [true,\"isLowBattery\",0.35,5]");
    EXPECT_EQ(sounds().size(), 2u);
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

TEST_F(BatteryTest, ConnectingTheAdapterAsksForChargingAfterAFifthOfASecond) {
    startNotch();
    battery();
    report(Value(true), Value(80));
    at(0.9);
    EXPECT_TRUE(calls.of("setNotification").empty()) << "the initial state counts as on the adapter";
    report(Value(false), Value(80));
    at(1);
    report(Value(true), Value(80));
    EXPECT_FALSE(battery().isOnBattery.get());
    EXPECT_TRUE(battery().hasRecentlyChangedPowerSource.get());
    at(1.199);
    EXPECT_TRUE(calls.of("setNotification").empty());
    at(1.2);
    EXPECT_EQ(calls.of("setNotification"),
              std::vector<std::string>{"1.200 setNotification [true,\"isCharging\",0.35,5]"});
    at(1.3);
    report(Value(true), Value(81));  // still on the adapter: no second request
    at(1.7);
    EXPECT_TRUE(battery().hasRecentlyChangedPowerSource.get()) << "each notification restarts the 0.5 s";
    at(1.8);
    EXPECT_FALSE(battery().hasRecentlyChangedPowerSource.get());

    report(Value(false), Value(81));
    at(3);
    EXPECT_EQ(calls.of("setNotification").size(), 1u) << "disconnecting asks for nothing";
    EXPECT_EQ(battery().notificationLabel(N::isCharging), "Charging");
    EXPECT_EQ(battery().notificationPercentage(), 81);
    defaults().set(keys::hideBatteryLabel, true);
    defaults().set(keys::hideBatteryPercentage, true);
    EXPECT_EQ(battery().notificationLabel(N::isCharging), std::nullopt);
    EXPECT_EQ(battery().notificationPercentage(), std::nullopt);

    // An adapter state nobody knows counts as the battery.
    report(Value(true), Value(81));
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

TEST_F(BatteryTest, WithoutABatteryNothingChanges) {
    sim->power.present = false;
    EXPECT_FALSE(battery().batteryHelper);
    sim->power.present = true;  // a service that appears later is not looked for again
    report(Value(true), Value(3));
    at(1);
    EXPECT_DOUBLE_EQ(battery().batteryLevel.get(), 1.0);
    EXPECT_FALSE(battery().isOnBattery.get());
    EXPECT_EQ(battery().remainingTime.get(), std::nullopt);
    EXPECT_FALSE(battery().hasRecentlyChangedPowerSource.get());
    // Nor is the low-power mode followed: no notification without a battery service.
    sim->power.setLowPowerMode(true);
    at(2);
    EXPECT_FALSE(battery().isLowPowerModeEnabled.get());
    EXPECT_TRUE(calls.requests().empty());
}

TEST_F(BatteryTest, AllowRuleReadsEnableFocusAndLock) {
    FocusSwitch focus;
    ctx->assemble({.focusState = &focus});
    EXPECT_TRUE(battery().allowsNotification(N::isLowBattery));
    focus.on = true;
    EXPECT_TRUE(battery().allowsNotification(N::isLowBattery));
    defaults().set(keys::allowBatteryWhenFocused, false);
    EXPECT_FALSE(battery().allowsNotification(N::isLowBattery));
    focus.on = false;

    defaults().set(keys::allowBatteryWhenLocked, false);
    EXPECT_TRUE(battery().allowsNotification(N::isLowBattery));
    sim->simWorkspace.post(WorkspaceEvent::screenLocked);
    EXPECT_TRUE(ctx->lock().isLocked.get());
    EXPECT_FALSE(battery().allowsNotification(N::isLowBattery));
    defaults().set(keys::allowBatteryWhenLocked, true);
    EXPECT_TRUE(battery().allowsNotification(N::isLowBattery));

    // Switched off, the values still follow the battery, but nothing is asked for.
    defaults().set(keys::enableBattery, false);
    EXPECT_FALSE(battery().allowsNotification(N::isLowBattery));
    report(Value(false), Value(3));
    EXPECT_DOUBLE_EQ(battery().batteryLevel.get(), 0.03);
    EXPECT_FALSE(battery().hasPassedThreshold.get());
    EXPECT_TRUE(sounds().empty());
}

}  // namespace
}  // namespace halvyn::sources_testing
