// The desktop's do not disturb as its Focus: a notification server mock (python3-dbusmock's
// notification_daemon with an "Inhibited" property) on a private bus, and GNOME's show-banners
// in a private GSettings key file changed by the gsettings tool, read through its adapter.

#include <gtest/gtest.h>

#include <QDBusConnection>

#include <filesystem>
#include <memory>

#include "app/context_fixture.h"
#include "linux/services.h"
#include "platform/linux/desktop_do_not_disturb.h"
#include "runtime/logger.h"
#include "shell/real_time.h"
#include "sources/focus_manager.h"

namespace halvyn {
namespace {

using test::spinUntil;

const std::string kNotifications = "org.freedesktop.Notifications";
const std::string kPath = "/org/freedesktop/Notifications";

// The notification server on a private bus and a private GSettings key file.
struct DesktopNotifications {
    bool start() {
        if (!bus.start() || !server.start()) return false;
        if (bus.send(kNotifications, kPath, "org.freedesktop.DBus.Mock.AddProperty",
                     "string:" + kNotifications + " string:Inhibited variant:boolean:false")
                .find("method return") == std::string::npos)
            return false;
        connection = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(QString::fromStdString(bus.address()), QStringLiteral("dnd-test")));
        config = test::privateFolder("halvyn-gsettings");
        keyfile = (config / "glib-2.0/settings/keyfile").string();
        return connection->isConnected();
    }
    ~DesktopNotifications() {
        connection.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("dnd-test"));
        if (!config.empty()) std::filesystem::remove_all(config);
    }
    void inhibit(bool on) {
        bus.setProperty(kNotifications, kPath, kNotifications, "Inhibited", std::string("boolean:") + (on ? "true" : "false"));
    }
    void banners(bool show) {
        test::output("env GSETTINGS_BACKEND=keyfile XDG_CONFIG_HOME=" + config.string() +
                     " gsettings set org.gnome.desktop.notifications show-banners " + (show ? "true" : "false"));
    }

    test::PrivateBus bus;
    test::DBusMock server{bus, "notification_daemon", kNotifications};
    std::unique_ptr<QDBusConnection> connection;
    std::filesystem::path config;
    std::string keyfile;
};

class DoNotDisturb : public ::testing::Test {
protected:
    void SetUp() override {
        if (!test::PrivateBus::available()) HALVYN_SKIP_WITHOUT_SERVICE() << "dbus-daemon and python3-dbusmock are needed";
        ASSERT_TRUE(desktop.start());
    }
    void TearDown() override {
        following.reset();
        port.reset();
    }
    // The reports, in order: "on: <said>", "mode: <identifier>", "off: <said>".
    Subscription follow(DesktopDoNotDisturb& p) {
        return p.follow(FocusReports{
            [this](const ReportedFocusMode& m, const std::string&) { reports.push_back("mode: " + m.identifier.value_or("")); },
            [this](bool on, const std::string& said) { reports.push_back((on ? "on: " : "off: ") + said); },
            [this](const std::optional<std::string>&) { reports.push_back("ended"); }});
    }
    // With GNOME's settings from the start, or without them (followSettings later).
    void openPort(bool settings = true) {
        port = std::make_unique<DesktopDoNotDisturb>(*desktop.connection, runtime, Logger(&logs, "com.halvyn.app", "DND"));
        if (settings) port->followSettings(&openGnomeBanners, desktop.keyfile);
        following = follow(*port);
    }
    void flush() {
        bool flushed = false;
        runtime.post([&] { flushed = true; });
        ASSERT_TRUE(spinUntil([&] { return flushed; }));
    }
    bool lastIs(const std::string& report) { return !reports.empty() && reports.back() == report; }

    DesktopNotifications desktop;
    RealTime runtime{1};
    CaptureLogSink logs;
    std::unique_ptr<DesktopDoNotDisturb> port;
    Subscription following;
    std::vector<std::string> reports;
};

TEST_F(DoNotDisturb, TheNotificationServersInhibitionIsDoNotDisturb) {
    openPort();
    ASSERT_TRUE(spinUntil([&] { return !reports.empty(); }));  // the state as it is comes first
    EXPECT_EQ(reports, std::vector<std::string>{"off: Do Not Disturb off"});
    desktop.inhibit(true);
    // On: the switch first, then the mode.
    ASSERT_TRUE(spinUntil([&] { return lastIs("mode: do-not-disturb"); }));
    EXPECT_EQ(reports, (std::vector<std::string>{"off: Do Not Disturb off", "on: Do Not Disturb on", "mode: do-not-disturb"}));
    const ReportedFocusMode mode = DesktopDoNotDisturb::mode();
    EXPECT_EQ(mode.name, "Do Not Disturb");
    EXPECT_EQ(mode.symbol, "moon.fill");
    EXPECT_EQ(mode.tint, "IndigoColor");
    desktop.inhibit(false);
    ASSERT_TRUE(spinUntil([&] { return lastIs("off: Do Not Disturb off"); }));
    following.reset();
    desktop.inhibit(true);
    ASSERT_TRUE(spinUntil([&] { return port->enabled(); }));
    flush();
    EXPECT_TRUE(lastIs("off: Do Not Disturb off")) << "no report after the following ended";
}

TEST_F(DoNotDisturb, HiddenBannersAreDoNotDisturbAndEitherSourceKeepsItOn) {
    openPort();
    if (!port->hasSettings()) HALVYN_SKIP_WITHOUT_SERVICE() << "GNOME's notification schema is not installed";
    ASSERT_TRUE(spinUntil([&] { return !reports.empty(); }));
    desktop.banners(false);
    ASSERT_TRUE(spinUntil([&] { return lastIs("mode: do-not-disturb"); }));
    desktop.inhibit(true);
    desktop.banners(true);
    // The settings show banners again, but the server still inhibits: still on, nothing said.
    ASSERT_TRUE(spinUntil([&] { return port->bannersShown(); }));
    flush();
    EXPECT_TRUE(lastIs("mode: do-not-disturb"));
    EXPECT_TRUE(port->enabled());
    desktop.inhibit(false);
    ASSERT_TRUE(spinUntil([&] { return lastIs("off: Do Not Disturb off"); }));
    EXPECT_FALSE(port->enabled());
}

// The settings are opened after the program's first frame: banners already hidden then are
// reported as the change they are to whoever follows, once.
TEST_F(DoNotDisturb, BannersHiddenBeforeTheSettingsAreOpenedAreReportedWhenTheyAre) {
    openPort(false);
    ASSERT_TRUE(spinUntil([&] { return lastIs("off: Do Not Disturb off"); }));
    desktop.banners(false);
    flush();
    EXPECT_EQ(reports.size(), 1u);
    if (!port->followSettings(&openGnomeBanners, desktop.keyfile))
        HALVYN_SKIP_WITHOUT_SERVICE() << "GNOME's notification schema is not installed";
    ASSERT_TRUE(spinUntil([&] { return lastIs("mode: do-not-disturb"); }));
    EXPECT_EQ(reports, (std::vector<std::string>{"off: Do Not Disturb off", "on: Do Not Disturb on", "mode: do-not-disturb"}));
    EXPECT_TRUE(port->followSettings(&openGnomeBanners, desktop.keyfile)) << "opened once";
    flush();
    EXPECT_EQ(reports.size(), 3u);
}

// Where GSettings holds no state of this desktop — neither XDG_CONFIG_HOME nor HOME set (GLib
// would read the database of the home the user database names, which need not be this session's),
// or the memory backend (the schema's defaults) — it is not read, and the notification server
// alone decides.
TEST_F(DoNotDisturb, WithoutTheDesktopsSettingsOnlyTheNotificationServerCounts) {
    std::string why;
    if (std::unique_ptr<BannerSetting>(openGnomeBanners(desktop.keyfile, nullptr, why)) == nullptr)
        HALVYN_SKIP_WITHOUT_SERVICE() << "GNOME's notification schema is not installed";
    struct Case {
        const char* what;
        std::vector<std::pair<const char*, const char*>> env;  // nullptr: unset
    } cases[] = {
        {"no home", {{"HOME", nullptr}, {"XDG_CONFIG_HOME", nullptr}}},
        {"memory backend", {{"GSETTINGS_BACKEND", "memory"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::unique_ptr<test::ScopedEnv>> env;
        for (auto [name, value] : c.env) {
            env.push_back(std::make_unique<test::ScopedEnv>(name, value ? value : ""));
            if (!value) ::unsetenv(name);
        }
        logs.lines.clear();
        reports.clear();
        DesktopDoNotDisturb port(*desktop.connection, runtime, Logger(&logs, "com.halvyn.app", "DND"));
        EXPECT_FALSE(port.followSettings(&openGnomeBanners));
        EXPECT_FALSE(port.hasSettings());
        ASSERT_FALSE(logs.lines.empty());
        EXPECT_NE(logs.lines.front().message.find("are not read"), std::string::npos) << logs.lines.front().message;
        Subscription s = follow(port);
        ASSERT_TRUE(spinUntil([&] { return lastIs("off: Do Not Disturb off"); }));
        desktop.inhibit(true);
        EXPECT_TRUE(spinUntil([&] { return lastIs("mode: do-not-disturb"); }));
        desktop.inhibit(false);
        EXPECT_TRUE(spinUntil([&] { return lastIs("off: Do Not Disturb off"); }));
    }
}

// Only GNOME's shell honours show-banners; elsewhere the setting is neither read nor paid for.
TEST(DesktopIsGnome, NamesGnomeAnywhereInTheList) {
    for (const char* yes : {"GNOME", "ubuntu:GNOME", "GNOME-Classic:GNOME", "Pop:GNOME", "GNOME-Flashback"})
        EXPECT_TRUE(desktopIsGnome(yes)) << yes;
    for (const char* no : {"", "KDE", "sway", "XFCE", "X-Cinnamon", "gnome", "GNOMEish", "Budgie:GNOMEX", ":"})
        EXPECT_FALSE(desktopIsGnome(no)) << no;
    EXPECT_FALSE(desktopIsGnome(nullptr));
}

}  // namespace

namespace context_testing {
namespace {

// The desktop's do not disturb drives the Focus rules as the simulated system's Focus does: on,
// off and on again, each change posted once and in the right direction, and logged as what it is.
class DoNotDisturbFocus : public ContextTest {
protected:
    void SetUp() override {
        if (!test::PrivateBus::available()) HALVYN_SKIP_WITHOUT_SERVICE() << "dbus-daemon and python3-dbusmock are needed";
        ASSERT_TRUE(desktop.start());
        // Its changes come on the virtual main queue, as the program's come on its own.
        port = std::make_unique<DesktopDoNotDisturb>(*desktop.connection, *time, Logger(&logs, "com.halvyn.app", "DND"));
        port->followSettings(&openGnomeBanners, desktop.keyfile);
        sim->useFocusStatus(port.get());
        defaults().set(keys::displayWhileActive, false);  // every change shows the notification
        startNotch();
        ctx->focus();
        time->runUntil(time->uptime());
    }
    void TearDown() override { ctx.reset(); }
    void turn(bool on) {
        desktop.inhibit(on);
        ASSERT_TRUE(spinUntil([&] { return port->enabled() == on; }));
        time->advance(seconds(10));
    }

    DesktopNotifications desktop;
    std::unique_ptr<DesktopDoNotDisturb> port;
};

TEST_F(DoNotDisturbFocus, OnOffOnEachPostOnce) {
    FocusManager& focus = ctx->focus();
    EXPECT_TRUE(logged("Do Not Disturb off"));
    EXPECT_FALSE(focus.isFocus.get());
    turn(true);
    EXPECT_TRUE(focus.isFocus.get());
    ASSERT_TRUE(focus.focusMode.get());
    EXPECT_EQ(focus.focusMode.get()->displayName(), "Do Not Disturb");
    EXPECT_EQ(focus.focusMode.get()->symbol, "moon.fill");
    EXPECT_TRUE(logged("Do Not Disturb on"));
    EXPECT_FALSE(logged("DND Enabled"));
    turn(false);
    EXPECT_FALSE(focus.isFocus.get());
    turn(true);
    EXPECT_TRUE(focus.isFocus.get());
    std::vector<std::string> shown;
    for (auto& c : calls.of("setNotification"))
        if (c.find("[true,\"isFocus\"") != std::string::npos) shown.push_back(c);
    EXPECT_EQ(shown.size(), 3u) << ::testing::PrintToString(calls.of("setNotification"));
}

}  // namespace
}  // namespace context_testing
}  // namespace halvyn
