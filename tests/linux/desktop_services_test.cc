// The desktop program on real services under Xvfb: what a change in the service shows in the notch.
// The notch reports each painted frame with the notification it shows (HALVYN_FRAME_LOG).

#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>
#include <sstream>
#include <string>
#include <vector>

#include "linux/services.h"

namespace halvyn {
namespace {

using test::readFile;
using test::spinUntil;

class DesktopServices : public ::testing::Test {
protected:
    void SetUp() override {
        if (!test::onPath("Xvfb") || !test::onPath("xwininfo")) HALVYN_SKIP_WITHOUT_SERVICE() << "Xvfb and xwininfo are needed";
        display = test::startXvfb(400 + ::getpid() % 100, xvfb);
        ASSERT_FALSE(display.empty()) << "Xvfb did not start";
        dir = test::privateFolder("halvyn-desktop-services");
    }
    void TearDown() override {
        test::stop(app);
        test::stop(xvfb);
        if (!dir.empty()) std::filesystem::remove_all(dir);
    }

    // `preferences`: the settings file; a returning user's, so the notch shows without the pages.
    void startApp(const std::vector<std::string>& env, const std::string& preferences = R"({"isFirstLaunch": false})") {
        test::writeFile(dir / "halvyn/preferences.json", preferences);
        std::vector<std::string> all = {"DISPLAY=" + display, "QT_QPA_PLATFORM=xcb", "XDG_CONFIG_HOME=" + dir.string(),
                                        "XDG_RUNTIME_DIR=" + dir.string(),  // its own single-instance lock
                                        "HALVYN_FRAME_LOG=1",
                                        test::lsanEnv()};
        all.insert(all.end(), env.begin(), env.end());
        app = test::spawnWith({HALVYN_BINARY}, all, log().string());
        ASSERT_GT(app, 0);
        ASSERT_TRUE(spinUntil([&] { return readFile(log()).find("frame ") != std::string::npos; }, 30000))
            << readFile(log());
    }
    std::filesystem::path log() const { return dir / "halvyn.log"; }
    // The frames painted, as (notification, live activity).
    std::vector<std::pair<std::string, std::string>> frames() const {
        std::istringstream lines(readFile(log()));
        std::vector<std::pair<std::string, std::string>> out;
        std::string line, word, time, notification, activity;
        while (std::getline(lines, line)) {
            std::istringstream fields(line);
            if (fields >> word >> time >> notification >> activity && word == "frame") out.emplace_back(notification, activity);
        }
        return out;
    }
    bool shows(const std::string& what) const {
        for (const auto& [notification, activity] : frames())
            if (notification == what || activity == what) return true;
        return false;
    }
    bool lastFrameShowsNothing() const {
        const auto all = frames();
        return !all.empty() && all.back() == std::make_pair(std::string("none"), std::string("none"));
    }
    // How many times the notch began to show the notification.
    int appearances(const std::string& notification) const {
        std::string previous;
        int n = 0;
        for (const auto& [shown, activity] : frames()) {
            n += shown == notification && previous != notification;
            previous = shown;
        }
        return n;
    }

    std::string display;
    std::filesystem::path dir;
    pid_t xvfb = -1, app = -1;
};

TEST_F(DesktopServices, PowerAdapterAndLowBatteryShowOnceEach) {
    if (!test::PrivateBus::available()) HALVYN_SKIP_WITHOUT_SERVICE() << "dbus-daemon and python3-dbusmock are needed";
    test::PrivateBus bus;
    ASSERT_TRUE(bus.start());
    test::DBusMock upower(bus, "upower", "org.freedesktop.UPower", R"({"OnBattery": true})");
    ASSERT_TRUE(upower.start());
    const std::string display = "/org/freedesktop/UPower/devices/DisplayDevice";
    auto set = [&](const std::string& path, const std::string& interface, const std::string& name, const std::string& v) {
        bus.setProperty("org.freedesktop.UPower", path, interface, name, v);
    };
    bus.send("org.freedesktop.UPower", "/org/freedesktop/UPower", "org.freedesktop.DBus.Mock.SetupDisplayDevice",
             "uint32:2 uint32:2 double:50 double:30 double:60 double:10 int64:3600 int64:0 boolean:true string:b uint32:1");
    startApp(bus.env(), R"({"batteryDuration": 1.0, "isFirstLaunch": false})");

    // The battery's source learns the power source from its first change.
    set(display, "org.freedesktop.UPower.Device", "Percentage", "double:49");
    set("/org/freedesktop/UPower", "org.freedesktop.UPower", "OnBattery", "boolean:false");
    ASSERT_TRUE(spinUntil([&] { return shows("isCharging"); }, 10000)) << readFile(log());
    set("/org/freedesktop/UPower", "org.freedesktop.UPower", "OnBattery", "boolean:true");
    set(display, "org.freedesktop.UPower.Device", "Percentage", "double:9");
    ASSERT_TRUE(spinUntil([&] { return shows("isLowBattery"); }, 10000)) << readFile(log());
    // Each shown once, and gone again (once a discharge is the battery source's rule, tested with it).
    ASSERT_TRUE(spinUntil([&] { return lastFrameShowsNothing(); }, 10000));
    EXPECT_EQ(appearances("isLowBattery"), 1) << readFile(log());
    EXPECT_EQ(appearances("isCharging"), 1) << readFile(log());
}

// logind, UPower, the screen saver, the notification server and PulseAudio hold their sockets and
// names but answer nothing for 6 s from start-up. The notch paints without them (waiting for
// PulseAudio and UPower alone would cost 4 s: 2 s for PulseAudio, 1 s for each of UPower's two
// objects); once they answer, the first readings are starting points (no "Charging", no volume
// display), the next changes show, and the session's lock and the notification server's Do Not
// Disturb are followed.
TEST_F(DesktopServices, StalledServicesHoldUpNothingAndAreFollowedOnceTheyAnswer) {
    if (!test::PrivateBus::available() || !test::PulseServer::available()) HALVYN_SKIP_WITHOUT_SERVICE() << "dbus-daemon, dbusmock, pulseaudio";
    test::PrivateBus bus;
    ASSERT_TRUE(bus.start());
    test::DBusMock logind(bus, "logind", "org.freedesktop.login1");
    test::DBusMock upower(bus, "upower", "org.freedesktop.UPower", R"({"OnBattery": false})");
    test::DBusMock saver(bus, std::string(HALVYN_SOURCE_DIR) + "/tests/linux/screensaver_mock.py",
                         "org.freedesktop.ScreenSaver");
    test::DBusMock notifications(bus, "notification_daemon", "org.freedesktop.Notifications");
    for (auto* service : {&logind, &upower, &saver, &notifications}) ASSERT_TRUE(service->start());
    bus.send("org.freedesktop.login1", "/org/freedesktop/login1", "org.freedesktop.DBus.Mock.AddSession",
             "string:c3 string:seat0 uint32:1000 string:someone boolean:true");
    bus.send("org.freedesktop.UPower", "/org/freedesktop/UPower", "org.freedesktop.DBus.Mock.SetupDisplayDevice",
             "uint32:2 uint32:1 double:50 double:30 double:60 double:10 int64:0 int64:600 boolean:true string:b uint32:1");
    const std::string notices = "org.freedesktop.Notifications", noticesPath = "/org/freedesktop/Notifications";
    bus.send(notices, noticesPath, "org.freedesktop.DBus.Mock.AddProperty",
             "string:" + notices + " string:Inhibited variant:boolean:false");
    test::PulseServer pulse;
    ASSERT_TRUE(pulse.start());
    pulse.pactl("set-sink-volume one 50%");
    for (auto* service : {&logind, &upower, &saver, &notifications}) service->pause();
    pulse.pause();
    std::vector<std::string> env = bus.env();
    for (const auto& e : pulse.env()) env.push_back(e);
    env.insert(env.end(), {"XDG_SESSION_ID=c3", "GSETTINGS_BACKEND=memory", "XDG_CURRENT_DESKTOP="});
    const long long firstFrameMs =
        test::millisecondsOf([&] { startApp(env, R"({"batteryDuration": 1.0, "isFirstLaunch": false})"); });
    std::printf("first frame %lld ms after start with its services stalled\n", firstFrameMs);
    EXPECT_LT(firstFrameMs, 4000) << readFile(log());
    spinUntil([] { return false; }, 6000 - static_cast<int>(firstFrameMs));
    for (auto* service : {&logind, &upower, &saver, &notifications}) service->resume();
    pulse.resume();

    // Their first readings: on the adapter, charging, at half volume; nothing of it is news.
    spinUntil([] { return false; }, 1500);
    EXPECT_EQ(appearances("isCharging"), 0) << readFile(log());
    EXPECT_FALSE(shows("didChangeVolume")) << readFile(log());
    EXPECT_FALSE(shows("isFocus")) << readFile(log());
    EXPECT_EQ(readFile(log()).find("No UPower"), std::string::npos) << "a slow answer is no absence";
    // The next changes are news: a key step of the volume shows, and so does plugging in again.
    pulse.pactl("set-sink-volume one 56%");
    EXPECT_TRUE(spinUntil([&] { return shows("didChangeVolume"); }, 10000)) << readFile(log());
    bus.setProperty("org.freedesktop.UPower", "/org/freedesktop/UPower", "org.freedesktop.UPower", "OnBattery", "boolean:true");
    spinUntil([] { return false; }, 500);
    bus.setProperty("org.freedesktop.UPower", "/org/freedesktop/UPower", "org.freedesktop.UPower", "OnBattery", "boolean:false");
    EXPECT_TRUE(spinUntil([&] { return shows("isCharging"); }, 10000)) << readFile(log());
    // A state, not a signal: it is seen whether it comes before or after the program's reading.
    // Unlocked, the lock's live activity goes.
    for (const bool locked : {true, false}) {
        bus.send("org.freedesktop.login1", "/org/freedesktop/login1/session/c3",
                 "org.freedesktop.login1.Session.SetLockedHint", locked ? "boolean:true" : "boolean:false");
        EXPECT_TRUE(spinUntil([&] { return frames().back().second == (locked ? "isLocked" : "none"); }, 15000))
            << readFile(log());
    }
    bus.setProperty(notices, noticesPath, notices, "Inhibited", "boolean:true");
    EXPECT_TRUE(spinUntil([&] { return shows("isFocus"); }, 10000)) << readFile(log());
    // Off GNOME, GNOME's settings (and GIO with them) are never loaded.
    EXPECT_EQ(readFile("/proc/" + std::to_string(app) + "/maps").find("libgio-2.0"), std::string::npos);
}

// On GNOME, banners hidden in its settings are do not disturb, read once the first frame is up.
TEST_F(DesktopServices, OnGnomeHiddenBannersShowTheFocusNotification) {
    const std::filesystem::path keyfile = dir / "glib-2.0/settings/keyfile";
    std::filesystem::create_directories(keyfile.parent_path());
    std::ofstream(keyfile) << "[org/gnome/desktop/notifications]\nshow-banners=false\n";
    startApp({"XDG_CURRENT_DESKTOP=ubuntu:GNOME", "GSETTINGS_BACKEND=keyfile"});
    EXPECT_TRUE(spinUntil([&] { return shows("isFocus"); }, 10000)) << readFile(log());
}

TEST_F(DesktopServices, AnEventInACalendarFileStartsTheCountdown) {
    // An event three minutes from now in the program's calendar folder.
    auto utc = [](std::time_t t) {
        std::tm tm{};
        gmtime_r(&t, &tm);
        char out[32];
        std::strftime(out, sizeof out, "%Y%m%dT%H%M%SZ", &tm);
        return std::string(out);
    };
    const std::time_t start = std::time(nullptr) + 180;
    const std::string stamp = utc(start), end = utc(start + 1800);
    test::writeFile(dir / "data/halvyn/calendars/work.ics",
                    "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nBEGIN:VEVENT\r\nUID:soon@example.org\r\nSUMMARY:Soon\r\nDTSTART:" +
                        stamp + "\r\nDTEND:" + end + "\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n");
    startApp({"XDG_DATA_HOME=" + (dir / "data").string(), "GSETTINGS_BACKEND=memory"}, R"({"enableCalendar": true, "isFirstLaunch": false})");
    EXPECT_TRUE(spinUntil([&] { return shows("isCalendar"); }, 15000)) << readFile(log());
}

}  // namespace
}  // namespace halvyn
