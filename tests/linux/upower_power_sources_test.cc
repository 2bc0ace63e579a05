// The power sources port against python3-dbusmock's UPower and power-profiles-daemon on a private bus.

#include <gtest/gtest.h>

#include <QDBusConnection>

#include <memory>

#include "linux/services.h"
#include "platform/linux/upower_power_sources.h"
#include "runtime/logger.h"
#include "runtime/value.h"

namespace halvyn {
namespace {

using test::spinUntil;

const std::string kUPower = "org.freedesktop.UPower";
const std::string kDisplay = "/org/freedesktop/UPower/devices/DisplayDevice";

class UPower : public ::testing::Test {
protected:
    void SetUp() override {
        if (!test::PrivateBus::available()) GTEST_SKIP() << "dbus-daemon and python3-dbusmock are needed";
        ASSERT_TRUE(bus.start());
        ASSERT_TRUE(upower.start());
        ASSERT_TRUE(profiles.start());
        battery(2, 50, 0);  // discharging at half
        connection = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(
            QString::fromStdString(bus.address()), QStringLiteral("upower-test")));
        ASSERT_TRUE(connection->isConnected());
        port = std::make_unique<UPowerPowerSources>(*connection, Logger(&logs, "com.halvyn.app", "PowerSources"));
        changes = port->observeChanges([this] { ++changeCount; });
        lowPower = port->observeLowPowerMode([this](std::optional<bool> on) {
            lastLowPower = on;
            ++lowPowerCount;
        });
    }
    void TearDown() override {
        changes.reset();
        lowPower.reset();
        port.reset();
        connection.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("upower-test"));
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

    test::PrivateBus bus;
    test::DBusMock upower{bus, "upower", "org.freedesktop.UPower", R"({"OnBattery": true})"};
    test::DBusMock profiles{bus, "power_profiles_daemon", "net.hadess.PowerProfiles"};
    std::unique_ptr<QDBusConnection> connection;
    CaptureLogSink logs;
    std::unique_ptr<UPowerPowerSources> port;
    Subscription changes, lowPower;
    int changeCount = 0, lowPowerCount = 0;
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
}

TEST_F(UPower, ServiceThatGoesAwayIsReadAgainWhenItReturns) {
    upower.kill();
    ASSERT_TRUE(spinUntil([&] { return port->matchingService("AppleSmartBattery") == 0; }));
    EXPECT_TRUE(property("ExternalConnected").isNull());
    const int afterLoss = changeCount;
    EXPECT_GE(afterLoss, 1);

    ASSERT_TRUE(upower.start());
    battery(1, 77, 600);
    ASSERT_TRUE(spinUntil([&] { return capacity() == 77; }));
    EXPECT_EQ(property("AvgTimeToFull"), Value(10));
    EXPECT_GT(changeCount, afterLoss);
    int errors = 0;
    for (const auto& line : logs.lines) errors += line.level == LogLevel::error;
    EXPECT_EQ(errors, 1);
}

TEST_F(UPower, LowPowerModeIsThePowerSaverProfile) {
    const std::string path = "/net/hadess/PowerProfiles";
    bus.setProperty("net.hadess.PowerProfiles", path, "net.hadess.PowerProfiles", "ActiveProfile", "string:power-saver");
    ASSERT_TRUE(spinUntil([&] { return lowPowerCount == 1; }));
    EXPECT_EQ(lastLowPower, true);
    bus.setProperty("net.hadess.PowerProfiles", path, "net.hadess.PowerProfiles", "ActiveProfile", "string:balanced");
    ASSERT_TRUE(spinUntil([&] { return lowPowerCount == 2; }));
    EXPECT_EQ(lastLowPower, false);
    bus.setProperty("net.hadess.PowerProfiles", path, "net.hadess.PowerProfiles", "ActiveProfile", "int32:3");
    ASSERT_TRUE(spinUntil([&] { return lowPowerCount == 3; }));
    EXPECT_EQ(lastLowPower, std::nullopt);
}

}  // namespace
}  // namespace halvyn
