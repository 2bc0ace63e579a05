// The Bluetooth port against python3-dbusmock's BlueZ on a private bus.

#include <gtest/gtest.h>

#include <QDBusConnection>

#include <memory>

#include "linux/services.h"
#include "platform/linux/bluez_bluetooth.h"
#include "runtime/logger.h"

namespace halvyn {
namespace {

using test::spinUntil;

class Bluez : public ::testing::Test {
protected:
    void SetUp() override {
        if (!test::PrivateBus::available()) HALVYN_SKIP_WITHOUT_SERVICE() << "dbus-daemon and python3-dbusmock are needed";
        ASSERT_TRUE(bus.start());
        ASSERT_TRUE(bluez.start());
        connection = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(QString::fromStdString(bus.address()), QStringLiteral("bluez-test")));
    }
    void TearDown() override {
        port.reset();
        connection.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("bluez-test"));
    }
    void make() {
        port = std::make_unique<BluezBluetooth>(*connection, Logger(&logs, "com.halvyn.app", "Bluetooth"));
        sub = port->observeAuthorization([this] { ++authorizationChanges; });
    }
    std::string mock(const std::string& method, const std::string& args) {
        return bus.send("org.bluez", "/", "org.bluez.Mock." + method, args);
    }
    void onDevice(const std::string& method, const std::string& args) {
        bus.send("org.bluez", kDevice, method, args);
    }
    const PairedDevice* find(const std::vector<PairedDevice>& list) {
        for (const auto& d : list)
            if (d.addressString == "aa-bb-cc-dd-ee-ff") return &d;
        return nullptr;
    }

    const std::string kDevice = "/org/bluez/hci0/dev_AA_BB_CC_DD_EE_FF";
    test::PrivateBus bus;
    test::DBusMock bluez{bus, "bluez5", "org.bluez"};
    std::unique_ptr<QDBusConnection> connection;
    CaptureLogSink logs;
    std::unique_ptr<BluezBluetooth> port;
    Subscription sub;
    int authorizationChanges = 0;
};

TEST_F(Bluez, ConnectedAccessoryWithItsBattery) {
    make();
    // No adapter yet: BlueZ answers, but there is nothing to allow.
    ASSERT_TRUE(spinUntil([&] { return port->pairedDevices().has_value(); }));
    EXPECT_EQ(port->authorization(), BluetoothAuthorization::notDetermined);
    ASSERT_EQ(logs.lines.size(), 1u);
    EXPECT_EQ(logs.lines[0].level, LogLevel::info) << "a machine without Bluetooth is no fault";
    mock("AddAdapter", "string:hci0 string:laptop");
    ASSERT_TRUE(spinUntil([&] { return port->authorization() == BluetoothAuthorization::allowedAlways; }));
    EXPECT_EQ(authorizationChanges, 1);

    mock("AddDevice", "string:hci0 string:AA:BB:CC:DD:EE:FF string:Buds");
    spinUntil([] { return false; }, 200);
    EXPECT_EQ(find(*port->pairedDevices()), nullptr) << "neither paired nor connected";

    // Each change BlueZ announces is read; asking never waits for BlueZ.
    mock("PairDevice", "string:hci0 string:AA:BB:CC:DD:EE:FF int32:2360344");
    mock("ConnectDevice", "string:hci0 string:AA:BB:CC:DD:EE:FF");
    bus.send("org.bluez", kDevice, "org.freedesktop.DBus.Mock.AddProperty",
             "string:org.bluez.Battery1 string:Percentage variant:byte:50");
    auto level = [&]() -> int {
        const auto list = port->pairedDevices();
        const PairedDevice* d = list ? find(*list) : nullptr;
        return d && d->isConnected ? int(d->batteryPercentSingle) : -1;
    };
    bus.setProperty("org.bluez", kDevice, "org.bluez.Battery1", "Percentage", "byte:80");
    ASSERT_TRUE(spinUntil([&] { return level() == 80; }));
    bus.setProperty("org.bluez", kDevice, "org.bluez.Battery1", "Percentage", "byte:15");
    ASSERT_TRUE(spinUntil([&] { return level() == 15; }));
    // Malformed levels read as no reading.
    bus.setProperty("org.bluez", kDevice, "org.bluez.Battery1", "Percentage", "string:full");
    ASSERT_TRUE(spinUntil([&] { return level() == 0; }));
    bus.setProperty("org.bluez", kDevice, "org.bluez.Battery1", "Percentage", "byte:40");
    ASSERT_TRUE(spinUntil([&] { return level() == 40; }));
    bus.setProperty("org.bluez", kDevice, "org.bluez.Battery1", "Percentage", "int32:250");
    ASSERT_TRUE(spinUntil([&] { return level() == 0; }));
}

TEST_F(Bluez, BluezReplacedByANewProcessIsReadAgain) {
    mock("AddAdapter", "string:hci0 string:laptop");
    make();
    ASSERT_TRUE(spinUntil([&] { return port->authorization() == BluetoothAuthorization::allowedAlways; }));
    bluez.kill();
    ASSERT_TRUE(spinUntil([&] { return port->authorization() == BluetoothAuthorization::notDetermined; }));
    EXPECT_EQ(port->pairedDevices(), std::nullopt);
    ASSERT_TRUE(bluez.start());
    mock("AddAdapter", "string:hci0 string:laptop");
    ASSERT_TRUE(spinUntil([&] { return port->authorization() == BluetoothAuthorization::allowedAlways; }));
    EXPECT_EQ(logs.lines.size(), 1u);
}

TEST_F(Bluez, BluezStalledAtStartIsReadWhenItAnswers) {
    mock("AddAdapter", "string:hci0 string:laptop");
    bluez.pause();
    EXPECT_LT(test::millisecondsOf([&] { make(); }), 1000) << "the port waits for nobody";
    EXPECT_EQ(port->pairedDevices(), std::nullopt) << "and asking it does not wait either";
    spinUntil([] { return false; }, 3000);
    bluez.resume();
    ASSERT_TRUE(spinUntil([&] { return port->authorization() == BluetoothAuthorization::allowedAlways; }));
    EXPECT_TRUE(port->pairedDevices().has_value());
    EXPECT_TRUE(logs.lines.empty()) << "a slow answer is no absence";
}

}  // namespace
}  // namespace halvyn
