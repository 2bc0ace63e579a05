// The backlight port on a fake sysfs tree; a udev "change" event is stood in for by deviceChanged().

#include <gtest/gtest.h>

#include <fstream>

#include "linux/services.h"
#include "platform/linux/sysfs_backlight.h"
#include "runtime/logger.h"
#include "runtime/value.h"

namespace halvyn {
namespace {

class Backlight : public ::testing::Test {
protected:
    void SetUp() override { root = test::privateFolder("halvyn-backlight"); }
    void TearDown() override { std::filesystem::remove_all(root); }
    void device(const std::string& name, const std::string& level, const std::string& max) {
        std::filesystem::create_directories(root / name);
        std::ofstream(root / name / "brightness") << level << "\n";
        std::ofstream(root / name / "max_brightness") << max << "\n";
    }
    std::filesystem::path root;
    CaptureLogSink logs;
};

TEST_F(Backlight, ReadsTheUsableDeviceAndTellsChanges) {
    device("acpi_video0", "0", "0");
    device("intel_backlight", "500", "1000");
    SysfsBacklight port(root, Logger(&logs, "com.halvyn.app", "Brightness"));
    EXPECT_EQ(port.device().filename(), "intel_backlight");
    EXPECT_EQ(port.brightness(1), 0.5f);
    EXPECT_TRUE(port.canChangeBrightness(1));
    EXPECT_TRUE(logs.lines.empty());

    std::vector<double> told;
    const int result = port.registerForBrightnessChanges(1, [&](const Value& info) {
        const Value* v = info.find("value");
        told.push_back(v && v->isNumber() ? v->asNumber() : -1);
    });
    ASSERT_EQ(result, 0) << "udev events";
    std::ofstream(root / "intel_backlight" / "brightness") << "560\n";
    port.deviceChanged();
    ASSERT_EQ(told.size(), 1u);
    EXPECT_NEAR(told[0], 0.56, 1e-6);

    // Unreadable now: nothing is told, and that is said once.
    std::ofstream(root / "intel_backlight" / "max_brightness") << "0\n";
    port.deviceChanged();
    port.deviceChanged();
    EXPECT_EQ(told.size(), 1u);
    EXPECT_EQ(logs.lines.size(), 1u);
    EXPECT_EQ(port.brightness(1), std::nullopt);
}

TEST_F(Backlight, ZeroMaximumOrNoDeviceIsAbsent) {
    device("acpi_video0", "3", "0");
    {
        SysfsBacklight port(root, Logger(&logs, "com.halvyn.app", "Brightness"));
        EXPECT_EQ(port.brightness(1), std::nullopt);
        EXPECT_FALSE(port.canChangeBrightness(1));
    }
    {
        SysfsBacklight port(root / "missing", Logger(&logs, "com.halvyn.app", "Brightness"));
        EXPECT_EQ(port.brightness(1), std::nullopt);
        EXPECT_NE(port.registerForBrightnessChanges(1, [](const Value&) {}), 0);
    }
    // Garbage in the files reads as no level.
    device("acpi_video0", "bright", "100");
    SysfsBacklight port(root, Logger(&logs, "com.halvyn.app", "Brightness"));
    EXPECT_EQ(port.brightness(1), std::nullopt);
    ASSERT_EQ(logs.lines.size(), 3u) << "one line each";
    // A desktop without a backlight is normal: news, not an error.
    EXPECT_EQ(logs.lines[1].level, LogLevel::info) << logs.lines[1].message;
}

}  // namespace
}  // namespace halvyn
