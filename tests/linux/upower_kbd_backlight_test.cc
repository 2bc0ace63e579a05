// The keyboard backlight port against python3-dbusmock's UPower on a private bus, with the
// KbdBacklight object added by the test.

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "linux/services.h"
#include "platform/linux/upower_kbd_backlight.h"

namespace halvyn {
namespace {

using test::spinUntil;

const std::string kUPower = "org.freedesktop.UPower";
const std::string kPath = "/org/freedesktop/UPower/KbdBacklight";
const std::string kInterface = "org.freedesktop.UPower.KbdBacklight";

class KbdBacklight : public test::BusTest {
protected:
    void started() override { ASSERT_TRUE(upower.start()); }
    // The keyboard light as UPower serves it: `max` and `level` as its two getters answer, the
    // maximum with the signature given (a test can answer with the wrong type).
    void addKeyboard(const std::string& max, const std::string& level, const std::string& maxSignature = "i") {
        const std::string code = "import dbus; b = dbus.bus.BusConnection('" + bus.address() + "'); b.get_object('" +
                                 kUPower + "', '/org/freedesktop/UPower').AddObject('" + kPath + "', '" + kInterface +
                                 "', {}, [('GetMaxBrightness', '', '" + maxSignature + "', 'ret = " + max +
                                 "'), ('GetBrightness', '', 'i', 'ret = " + level +
                                 "')], dbus_interface='org.freedesktop.DBus.Mock')";
        ASSERT_EQ(test::output(std::string(test::PrivateBus::python()) + " -c \"" + code + "\" 2>&1"), "");
    }
    void make() {
        port = std::make_unique<UPowerKbdBacklight>(*connection, Logger(&logs, "com.halvyn.app", "KeyboardBacklight"));
        changes = port->observeChanges([this](float level, bool external) { seen.push_back({level, external}); });
    }
    void emit(const std::string& name, const std::string& signature, const std::string& args) {
        bus.emit(kUPower, kPath, kInterface, name, signature, args);
    }

    struct Change {
        float level;
        bool external;
    };
    test::DBusMock upower{bus, "upower", kUPower};
    std::unique_ptr<UPowerKbdBacklight> port;
    Subscription changes;
    std::vector<Change> seen;
};

TEST_F(KbdBacklight, ReadsTheLevelAndTellsChangesWithTheirSource) {
    addKeyboard("3", "1");
    make();
    ASSERT_TRUE(spinUntil([&] { return port->level().has_value(); }));
    EXPECT_FLOAT_EQ(*port->level(), 1.0f / 3);
    EXPECT_TRUE(seen.empty()) << "the first reading is a starting point";

    emit("BrightnessChangedWithSource", "is", "[dbus.Int32(2), 'external']");
    ASSERT_TRUE(spinUntil([&] { return seen.size() == 1; }));
    EXPECT_FLOAT_EQ(seen[0].level, 2.0f / 3);
    EXPECT_TRUE(seen[0].external);
    emit("BrightnessChanged", "i", "[dbus.Int32(0)]");
    emit("BrightnessChangedWithSource", "is", "[dbus.Int32(3), 'internal']");
    ASSERT_TRUE(spinUntil([&] { return seen.size() == 3; }));
    EXPECT_FLOAT_EQ(seen[1].level, 0.0f);
    EXPECT_FALSE(seen[1].external);
    EXPECT_FLOAT_EQ(seen[2].level, 1.0f);
    EXPECT_FALSE(seen[2].external);

    // Hostile values: a level past the maximum or below zero is bounded; a signal of the wrong
    // shape is no change.
    emit("BrightnessChangedWithSource", "is", "[dbus.Int32(900), 'external']");
    emit("BrightnessChangedWithSource", "is", "[dbus.Int32(-5), 'external']");
    emit("BrightnessChangedWithSource", "ss", "['2', 'external']");
    emit("BrightnessChanged", "i", "[dbus.Int32(1)]");
    ASSERT_TRUE(spinUntil([&] { return seen.size() == 6; }));
    EXPECT_FLOAT_EQ(seen[3].level, 1.0f);
    EXPECT_FLOAT_EQ(seen[4].level, 0.0f);
    EXPECT_FLOAT_EQ(seen[5].level, 1.0f / 3) << "the malformed signal was skipped";
}

TEST_F(KbdBacklight, AbsentWithoutTheObjectOrWithABadMaximumAndBackWithUPower) {
    make();
    ASSERT_TRUE(spinUntil([&] { return logs.contains("No keyboard backlight on UPower; the keyboard display stays away"); }));
    EXPECT_FALSE(port->level());
    emit("BrightnessChangedWithSource", "is", "[dbus.Int32(1), 'external']");
    spinUntil([] { return false; }, 500);
    EXPECT_TRUE(seen.empty());

    // A maximum of zero or of the wrong type is no keyboard light either.
    addKeyboard("0", "0");
    port.reset();
    make();
    spinUntil([] { return false; }, 500);
    EXPECT_FALSE(port->level());
    upower.kill();
    ASSERT_TRUE(upower.start());
    addKeyboard("\\'3\\'", "1", "s");
    emit("BrightnessChanged", "i", "[dbus.Int32(1)]");
    spinUntil([] { return false; }, 500);
    EXPECT_FALSE(port->level());

    upower.kill();
    ASSERT_TRUE(upower.start());
    addKeyboard("4", "4");
    // A keyboard light that comes after UPower is read at its first signal.
    emit("BrightnessChanged", "i", "[dbus.Int32(4)]");
    ASSERT_TRUE(spinUntil([&] { return port->level() == 1.0f; }));
    EXPECT_TRUE(seen.empty());
}

}  // namespace
}  // namespace halvyn
