// The Bluetooth port against python3-dbusmock's BlueZ on a private bus.

#include <gtest/gtest.h>

#include <memory>

#include "linux/services.h"
#include "platform/linux/bluez_bluetooth.h"

namespace halvyn {
namespace {

using test::spinUntil;

class Bluez : public test::BusTest {
protected:
    void started() override { ASSERT_TRUE(bluez.start()); }
    void make() {
        port = std::make_unique<BluezBluetooth>(*connection, Logger(&logs, "com.halvyn.app", "Bluetooth"));
        sub = port->observeAuthorization([this] { ++authorizationChanges; });
    }
    std::string mock(const std::string& method, const std::string& args) {
        return bus.send("org.bluez", "/", "org.bluez.Mock." + method, args);
    }
    const PairedDevice* find(const std::vector<PairedDevice>& list) {
        for (const auto& d : list)
            if (d.addressString == "aa-bb-cc-dd-ee-ff") return &d;
        return nullptr;
    }

    const std::string kDevice = "/org/bluez/hci0/dev_AA_BB_CC_DD_EE_FF";
    test::DBusMock bluez{bus, "bluez5", "org.bluez"};
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
    // Malformed levels read as no reading.
    for (const auto& [variant, wanted] :
         {std::pair{"byte:80", 80}, {"byte:15", 15}, {"string:full", 0}, {"byte:40", 40}, {"int32:250", 0}}) {
        bus.setProperty("org.bluez", kDevice, "org.bluez.Battery1", "Percentage", variant);
        EXPECT_TRUE(spinUntil([&] { return level() == wanted; })) << variant;
    }
}

// Stalled at start, then replaced by a new process: read each time it answers.
TEST_F(Bluez, BluezStalledOrReplacedIsReadWhenItAnswers) {
    mock("AddAdapter", "string:hci0 string:laptop");
    bluez.pause();
    EXPECT_LT(test::millisecondsOf([&] { make(); }), 1000) << "the port waits for nobody";
    EXPECT_EQ(port->pairedDevices(), std::nullopt) << "and asking it does not wait either";
    spinUntil([] { return false; }, 3000);
    bluez.resume();
    ASSERT_TRUE(spinUntil([&] { return port->authorization() == BluetoothAuthorization::allowedAlways; }));
    EXPECT_TRUE(port->pairedDevices().has_value());
    EXPECT_TRUE(logs.lines.empty()) << "a slow answer is no absence";

    bluez.kill();
    ASSERT_TRUE(spinUntil([&] { return port->authorization() == BluetoothAuthorization::notDetermined; }));
    EXPECT_EQ(port->pairedDevices(), std::nullopt);
    ASSERT_TRUE(bluez.start());
    mock("AddAdapter", "string:hci0 string:laptop");
    ASSERT_TRUE(spinUntil([&] { return port->authorization() == BluetoothAuthorization::allowedAlways; }));
    EXPECT_EQ(logs.lines.size(), 1u) << "the loss is told once";
}

}  // namespace
}  // namespace halvyn
