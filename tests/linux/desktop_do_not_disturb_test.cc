// The desktop's do not disturb as the Focus log: a notification server mock (python3-dbusmock's
// notification_daemon with an "Inhibited" property) on a private bus, and GNOME's show-banners
// in a private GSettings key file changed by the gsettings tool. The Focus rules see the lines.

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

class DoNotDisturb : public ::testing::Test {
protected:
    void SetUp() override {
        if (!test::PrivateBus::available()) HALVYN_SKIP_WITHOUT_SERVICE() << "dbus-daemon and python3-dbusmock are needed";
        ASSERT_TRUE(bus.start());
        ASSERT_TRUE(server.start());
        ASSERT_NE(bus.send(kNotifications, kPath, "org.freedesktop.DBus.Mock.AddProperty",
                           "string:" + kNotifications + " string:Inhibited variant:boolean:false")
                      .find("method return"),
                  std::string::npos);
        connection = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(QString::fromStdString(bus.address()), QStringLiteral("dnd-test")));
        ASSERT_TRUE(connection->isConnected());
        config = test::privateFolder("halvyn-gsettings");
        keyfile = (config / "glib-2.0/settings/keyfile").string();
    }
    void TearDown() override {
        stream.reset();
        port.reset();
        connection.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("dnd-test"));
        std::filesystem::remove_all(config);
    }
    void openPort() {
        port = std::make_unique<DesktopDoNotDisturb>(*connection, runtime, Logger(&logs, "com.halvyn.app", "DND"), keyfile);
        stream = port->open({DesktopDoNotDisturb::standIn(), DesktopDoNotDisturb::standIn()},
                            [this](const LogEntry& e) { lines.push_back(e); }, [](const std::string&) {});
    }
    void inhibit(bool on) {
        bus.setProperty(kNotifications, kPath, kNotifications, "Inhibited", std::string("boolean:") + (on ? "true" : "false"));
    }
    void banners(bool show) {
        test::output("env GSETTINGS_BACKEND=keyfile XDG_CONFIG_HOME=" + config.string() +
                     " gsettings set org.gnome.desktop.notifications show-banners " + (show ? "true" : "false"));
    }
    bool lastSays(const char* registration) {
        for (auto it = lines.rbegin(); it != lines.rend(); ++it)
            if (it->category == "Registration") return it->message.find(registration) != std::string::npos;
        return false;
    }

    test::PrivateBus bus;
    test::DBusMock server{bus, "notification_daemon", kNotifications};
    RealTime runtime{1};
    std::unique_ptr<QDBusConnection> connection;
    std::filesystem::path config;
    std::string keyfile;
    CaptureLogSink logs;
    std::unique_ptr<DesktopDoNotDisturb> port;
    Subscription stream;
    std::vector<LogEntry> lines;
};

TEST_F(DoNotDisturb, TheNotificationServersInhibitionIsDoNotDisturb) {
    openPort();
    ASSERT_TRUE(spinUntil([&] { return !lines.empty(); }));  // the stream opens with the state as it is
    EXPECT_TRUE(lastSays("DND Enabled: NO"));
    inhibit(true);
    ASSERT_TRUE(spinUntil([&] { return lastSays("DND Enabled: YES"); }));
    // On: the registration first, then the state update naming the do-not-disturb mode.
    ASSERT_GE(lines.size(), 3u);
    const LogEntry& update = lines.back();
    EXPECT_EQ(update.category, "ServiceProvider");
    EXPECT_EQ(focus::identifier(update.message), "com.apple.donotdisturb.mode.default");
    EXPECT_EQ(focus::symbol(update.message), "moon.fill");
    EXPECT_EQ(focus::tint(update.message), "systemIndigoColor");
    EXPECT_EQ(focus::name(update.message), "Do Not Disturb");
    inhibit(false);
    ASSERT_TRUE(spinUntil([&] { return lastSays("DND Enabled: NO"); }));
    EXPECT_EQ(lines.back().message.find("YES"), std::string::npos);
}

TEST_F(DoNotDisturb, HiddenBannersAreDoNotDisturbAndEitherSourceKeepsItOn) {
    openPort();
    if (!port->hasSettings()) HALVYN_SKIP_WITHOUT_SERVICE() << "GNOME's notification schema is not installed";
    ASSERT_TRUE(spinUntil([&] { return !lines.empty(); }));
    banners(false);
    ASSERT_TRUE(spinUntil([&] { return lastSays("DND Enabled: YES"); }));
    inhibit(true);
    banners(true);
    // The settings show banners again, but the server still inhibits: still on, nothing said.
    ASSERT_TRUE(spinUntil([&] { return port->bannersShown(); }));
    bool flushed = false;
    runtime.post([&] { flushed = true; });
    ASSERT_TRUE(spinUntil([&] { return flushed; }));
    EXPECT_TRUE(lastSays("DND Enabled: YES"));
    EXPECT_TRUE(port->enabled());
    inhibit(false);
    ASSERT_TRUE(spinUntil([&] { return lastSays("DND Enabled: NO"); }));
    EXPECT_FALSE(port->enabled());
}

// Where GSettings holds no state of this desktop — neither XDG_CONFIG_HOME nor HOME set (GLib
// would read the database of the home the user database names, which need not be this session's),
// or the memory backend (the schema's defaults) — it is not read, and the notification server
// alone decides.
TEST_F(DoNotDisturb, WithoutTheDesktopsSettingsOnlyTheNotificationServerCounts) {
    if (!DesktopDoNotDisturb(*connection, runtime, Logger(nullptr, "", ""), keyfile).hasSettings())
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
        lines.clear();
        DesktopDoNotDisturb port(*connection, runtime, Logger(&logs, "com.halvyn.app", "DND"));
        EXPECT_FALSE(port.hasSettings());
        EXPECT_TRUE(port.available());
        ASSERT_FALSE(logs.lines.empty());
        EXPECT_NE(logs.lines.front().message.find("are not read"), std::string::npos) << logs.lines.front().message;
        Subscription s = port.open({DesktopDoNotDisturb::standIn()}, [this](const LogEntry& e) { lines.push_back(e); },
                                   [](const std::string&) {});
        ASSERT_TRUE(spinUntil([&] { return lastSays("DND Enabled: NO"); }));
        inhibit(true);
        EXPECT_TRUE(spinUntil([&] { return lastSays("DND Enabled: YES"); }));
        inhibit(false);
        EXPECT_TRUE(spinUntil([&] { return lastSays("DND Enabled: NO"); }));
    }
}

TEST_F(DoNotDisturb, OnlyTheStandInsHaveALogAndTheFocusDaemonsAreFound) {
    openPort();
    std::string error;
    Subscription other = port->open({12345}, [](const LogEntry&) {}, [&](const std::string& e) { error = e; });
    EXPECT_FALSE(other.active());
    EXPECT_FALSE(error.empty());
    struct NoProcesses : Processes {
        std::vector<RunningApplication> runningApplications() const override { return {}; }
        std::vector<RunningApplication> runningApplications(const std::string&) const override { return {}; }
        Subscription observeRunningApplications(std::function<void(const std::vector<RunningApplication>&)>) override { return {}; }
        std::optional<RunningApplication> frontmostApplication() const override { return std::nullopt; }
        Subscription observeActivation(std::function<void(const RunningApplication&)>) override { return {}; }
        bool sendSignal(ProcessID, ProcessSignal) override { return false; }
        ProcessStatus status(ProcessID) const override { return {}; }
        std::vector<std::string> onScreenWindowOwners() const override { return {}; }
        std::optional<std::string> pgrep(const std::string&) const override { return std::nullopt; }
    } none;
    StandInProcesses processes(none);
    EXPECT_EQ(focus::firstProcessID(*processes.pgrep("identityservicesd")), DesktopDoNotDisturb::standIn());
    EXPECT_EQ(focus::firstProcessID(*processes.pgrep("donotdisturbd")), DesktopDoNotDisturb::standIn());
    EXPECT_FALSE(processes.pgrep("sshd"));
}

}  // namespace

namespace context_testing {
namespace {

// The lines drive the Focus rules as the daemons' own would: on, off and on again, each change
// posted once and in the right direction.
class DoNotDisturbFocus : public ContextTest {
protected:
    DoNotDisturbFocus() {
        sim->simProcesses().reset({{311, "identityservicesd"}, {412, "donotdisturbd"}});
        defaults().set(keys::displayWhileActive, false);  // every change shows the notification
        startNotch();
        ctx->focus();
        time->runUntil(time->uptime());
    }
    void turn(bool on) {
        for (auto& l : DesktopDoNotDisturb::linesFor(on)) sim->simLogStream().write(l.process, l.category, l.message);
        time->advance(seconds(10));
    }
};

TEST_F(DoNotDisturbFocus, OnOffOnEachPostOnce) {
    FocusManager& focus = ctx->focus();
    turn(true);
    EXPECT_TRUE(focus.isFocus.get());
    ASSERT_TRUE(focus.focusMode.get());
    EXPECT_EQ(focus.focusMode.get()->displayName(), "Do Not Disturb");
    EXPECT_EQ(focus.focusMode.get()->symbol, "moon.fill");
    turn(false);
    EXPECT_FALSE(focus.isFocus.get());
    turn(true);
    EXPECT_TRUE(focus.isFocus.get());
    turn(true);  // no change: nothing posted
    std::vector<std::string> shown;
    for (auto& c : calls.of("setNotification"))
        if (c.find("[true,\"isFocus\"") != std::string::npos) shown.push_back(c);
    EXPECT_EQ(shown.size(), 3u) << ::testing::PrintToString(calls.of("setNotification"));
}

}  // namespace
}  // namespace context_testing
}  // namespace halvyn
