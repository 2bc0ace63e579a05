// The power sources port against python3-dbusmock's UPower and power-profiles-daemon on a private bus.

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "linux/services.h"
#include "platform/linux/upower_power_sources.h"
#include "runtime/value.h"

namespace halvyn {
namespace {

using test::spinUntil;

const std::string kUPower = "org.freedesktop.UPower";
const std::string kDisplay = "/org/freedesktop/UPower/devices/DisplayDevice";

class UPower : public test::BusTest {
protected:
    void started() override {
        ASSERT_TRUE(upower.start());
        ASSERT_TRUE(profiles.start());
        battery(2, 50, 0);  // discharging at half
        make();
        // The first reading is announced as the service's connection, not as a change.
        ASSERT_TRUE(spinUntil([&] { return connectedCount == 1; }));
        EXPECT_EQ(changeCount, 0);
    }

    // Returns at once, whatever the services do.
    void make() {
        subs.clear();
        port = std::make_unique<UPowerPowerSources>(*connection, Logger(&logs, "com.halvyn.app", "PowerSources"));
        subs.push_back(port->observeChanges([this] { ++changeCount; }));
        subs.push_back(port->observeConnected([this] { ++connectedCount; }));
        subs.push_back(port->observeLowPowerMode([this](std::optional<bool> on) {
            lastLowPower = on;
            ++lowPowerCount;
        }));
    }
    void setProfile(const std::string& variant) {
        bus.setProperty("net.hadess.PowerProfiles", "/net/hadess/PowerProfiles", "net.hadess.PowerProfiles",
                        "ActiveProfile", variant);
    }
    void battery(int state, double percent, long secondsToFull) {
        bus.send(kUPower, "/org/freedesktop/UPower", "org.freedesktop.DBus.Mock.SetupDisplayDevice",
                 "uint32:2 uint32:" + std::to_string(state) + " double:" + std::to_string(percent) +
                     " double:30 double:60 double:10 int64:3600 int64:" + std::to_string(secondsToFull) +
                     " boolean:true string:battery uint32:1");
    }
    void setDisplay(const std::string& name, const std::string& variant) {
        bus.setProperty(kUPower, kDisplay, kUPower + ".Device", name, variant);
    }
    Value property(const char* key) { return port->registryProperty(port->matchingService("AppleSmartBattery"), key); }
    double capacity() {
        const auto list = port->powerSourceDescriptions();
        if (list.empty()) return -1;
        const Value* v = list[0].find("Current Capacity");
        return v && v->isNumber() ? v->asNumber() : -2;
    }

    test::DBusMock upower{bus, "upower", "org.freedesktop.UPower", R"({"OnBattery": true})"};
    test::DBusMock profiles{bus, "power_profiles_daemon", "net.hadess.PowerProfiles"};
    std::unique_ptr<UPowerPowerSources> port;
    std::vector<Subscription> subs;
    int changeCount = 0, lowPowerCount = 0, connectedCount = 0;
    std::optional<bool> lastLowPower;
};

TEST_F(UPower, ReadsTheDisplayDeviceAndTellsOnlyRealChanges) {
    ASSERT_NE(port->matchingService("AppleSmartBattery"), 0u);
    EXPECT_EQ(port->matchingService("Other"), 0u);
    EXPECT_EQ(property("ExternalConnected"), Value(false));
    EXPECT_EQ(property("IsCharging"), Value(false));
    EXPECT_EQ(capacity(), 50);
    EXPECT_EQ(property("AvgTimeToFull"), Value()) << "UPower's 0 is unknown";

    bus.setProperty(kUPower, "/org/freedesktop/UPower", kUPower, "OnBattery", "boolean:false");
    ASSERT_TRUE(spinUntil([&] { return changeCount == 1; }));
    EXPECT_EQ(property("ExternalConnected"), Value(true));

    // A new energy reading alone changes nothing the port reports; the percentage does.
    setDisplay("Energy", "double:29");
    setDisplay("Percentage", "double:51.4");
    ASSERT_TRUE(spinUntil([&] { return capacity() == 51; }));
    EXPECT_EQ(changeCount, 2);

    setDisplay("State", "uint32:1");
    setDisplay("TimeToFull", "int64:1800");
    ASSERT_TRUE(spinUntil([&] { return property("AvgTimeToFull") == Value(30); }));
    EXPECT_EQ(property("IsCharging"), Value(true));
}

TEST_F(UPower, MalformedPropertiesReadAsNoReading) {
    setDisplay("Percentage", "string:lots");
    ASSERT_TRUE(spinUntil([&] { return capacity() == -2; }));
    EXPECT_FALSE(property("CurrentCapacity").isNumber());
    setDisplay("State", "string:charging");
    ASSERT_TRUE(spinUntil([&] { return property("IsCharging").isNull(); }));
    setDisplay("Type", "string:battery");
    ASSERT_TRUE(spinUntil([&] { return port->matchingService("AppleSmartBattery") == 0; }));
    EXPECT_TRUE(port->powerSourceDescriptions().empty());
    setProfile("int32:3");
    ASSERT_TRUE(spinUntil([&] { return lowPowerCount == 1; }));
    EXPECT_EQ(lastLowPower, std::nullopt);
}

TEST_F(UPower, ServiceReplacedByANewProcessIsReadAgainAsAStartingPoint) {
    upower.kill();
    ASSERT_TRUE(spinUntil([&] { return port->matchingService("AppleSmartBattery") == 0; }));
    EXPECT_TRUE(property("ExternalConnected").isNull());

    // The new UPower runs on the adapter and charges: that is where it stands, not a plug-in.
    test::DBusMock replacement{bus, "upower", "org.freedesktop.UPower", R"({"OnBattery": false})"};
    ASSERT_TRUE(replacement.start());
    battery(1, 77, 600);
    // The display device can be read before the daemon: the new start is told once both are in.
    ASSERT_TRUE(spinUntil([&] { return capacity() == 77 && connectedCount >= 2; }));
    EXPECT_EQ(property("ExternalConnected"), Value(true));
    EXPECT_EQ(property("AvgTimeToFull"), Value(10));
    const int changesAfterReturn = changeCount;
    EXPECT_EQ(test::errorsIn(logs), 1) << "the loss is told once";

    setDisplay("Percentage", "double:80");
    ASSERT_TRUE(spinUntil([&] { return changeCount == changesAfterReturn + 1; }));
}

TEST_F(UPower, ServicesStalledAtStartAreReadWhenTheyAnswer) {
    subs.clear();
    port.reset();
    connectedCount = 0;
    setProfile("string:power-saver");
    upower.pause();
    profiles.pause();
    EXPECT_LT(test::millisecondsOf([&] { make(); }), 1000) << "the port waits for nobody";
    EXPECT_EQ(port->matchingService("AppleSmartBattery"), 0u) << "nothing is known yet";
    spinUntil([] { return false; }, 3000);
    upower.resume();
    profiles.resume();

    ASSERT_TRUE(spinUntil([&] { return connectedCount == 1; }));
    EXPECT_EQ(capacity(), 50);
    EXPECT_EQ(property("ExternalConnected"), Value(false));
    EXPECT_EQ(changeCount, 0);
    EXPECT_EQ(test::errorsIn(logs), 0) << "a slow answer is no absence";
    // The mode found at the first reading is where it stands; the next switches are told. Low
    // power is the power-saver profile.
    spinUntil([] { return false; }, 1000);
    EXPECT_EQ(lowPowerCount, 0);
    setProfile("string:balanced");
    ASSERT_TRUE(spinUntil([&] { return lowPowerCount == 1; }));
    EXPECT_EQ(lastLowPower, false);
    setProfile("string:power-saver");
    ASSERT_TRUE(spinUntil([&] { return lowPowerCount == 2; }));
    EXPECT_EQ(lastLowPower, true);
}

TEST_F(UPower, AServiceTheMachineLacksIsNewsAndOneThatGoesIsAnError) {
    subs.clear();
    port.reset();
    profiles.kill();
    logs.lines.clear();
    make();
    ASSERT_TRUE(spinUntil([&] { return logs.contains("No power-profiles-daemon service; low-power mode not followed until it starts"); }));
    ASSERT_EQ(logs.lines.size(), 1u);
    EXPECT_EQ(logs.lines[0].level, LogLevel::info);
    // UPower read first: a service that goes before it was ever read is only "no service".
    ASSERT_TRUE(spinUntil([&] { return connectedCount >= 2; }));
    upower.kill();
    ASSERT_TRUE(spinUntil([&] { return test::errorsIn(logs) == 1; }));
    EXPECT_TRUE(logs.contains("UPower went away; battery readings absent until it comes back"));
}

}  // namespace
}  // namespace halvyn
