// Sleep, wake and the screen lock against python3-dbusmock's logind and a screen saver on a
// private bus.

#include <gtest/gtest.h>

#include <QDBusConnection>

#include <memory>

#include "linux/services.h"
#include "platform/linux/linux_workspace.h"
#include "runtime/logger.h"

namespace halvyn {
namespace {

using test::spinUntil;

const std::string kLogin = "org.freedesktop.login1";

class Logind : public ::testing::Test {
protected:
    void SetUp() override {
        if (!test::PrivateBus::available()) GTEST_SKIP() << "dbus-daemon and python3-dbusmock are needed";
        ASSERT_TRUE(bus.start());
        ASSERT_TRUE(logind.start());
        ASSERT_TRUE(screenSaver.start());
        bus.send(kLogin, "/org/freedesktop/login1", "org.freedesktop.DBus.Mock.AddSession",
                 "string:c7 string:seat0 uint32:1000 string:someone boolean:true");
        ::setenv("XDG_SESSION_ID", "c7", 1);
        connection = std::make_unique<QDBusConnection>(
            QDBusConnection::connectToBus(QString::fromStdString(bus.address()), QStringLiteral("logind-test")));
        ws = std::make_unique<LinuxWorkspace>(*connection, *connection, Logger(&logs, "com.halvyn.app", "Workspace"));
        ::unsetenv("XDG_SESSION_ID");
        auto count = [this](const std::string& what) { return [this, what] { seen += what + " "; }; };
        subs.push_back(ws->observe(WorkspaceEvent::willSleep, count("sleep")));
        subs.push_back(ws->observe(WorkspaceEvent::didWake, count("wake")));
        for (const char* name : {"com.apple.screenIsLocked", "com.apple.screenIsUnlocked",
                                 "com.apple.screensaver.didstart", "com.apple.screensaver.didstop"})
            subs.push_back(ws->observeDistributed(name, count(std::string(name).substr(10))));
    }
    void TearDown() override {
        subs.clear();
        ws.reset();
        connection.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("logind-test"));
    }
    void session(const std::string& method, const std::string& args = {}) {
        bus.send(kLogin, "/org/freedesktop/login1/session/c7", "org.freedesktop.login1.Session." + method, args);
    }

    test::PrivateBus bus;
    test::DBusMock logind{bus, "logind", kLogin};
    test::DBusMock screenSaver = test::DBusMock::bare(bus, "org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver",
                                                      "org.freedesktop.ScreenSaver");
    std::unique_ptr<QDBusConnection> connection;
    CaptureLogSink logs;
    std::unique_ptr<LinuxWorkspace> ws;
    std::vector<Subscription> subs;
    std::string seen;
};

TEST_F(Logind, SleepWakeLockAndScreenSaverInOrderEachOnce) {
    EXPECT_EQ(ws->sessionPath().toStdString(), "/org/freedesktop/login1/session/c7");
    bus.emit(kLogin, "/org/freedesktop/login1", "org.freedesktop.login1.Manager", "PrepareForSleep", "b", "[True]");
    bus.emit(kLogin, "/org/freedesktop/login1", "org.freedesktop.login1.Manager", "PrepareForSleep", "b", "[False]");
    ASSERT_TRUE(spinUntil([&] { return seen == "sleep wake "; })) << seen;

    // The locker's hint after the Lock signal says nothing new.
    session("Lock");
    session("SetLockedHint", "boolean:true");
    session("Unlock");
    session("SetLockedHint", "boolean:false");
    ASSERT_TRUE(spinUntil([&] { return seen.ends_with("screenIsUnlocked "); })) << seen;
    EXPECT_EQ(seen, "sleep wake screenIsLocked screenIsUnlocked ");

    // A lock told by the hint alone.
    session("SetLockedHint", "boolean:true");
    ASSERT_TRUE(spinUntil([&] { return seen.ends_with("screenIsLocked "); })) << seen;

    bus.emit("org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver", "org.freedesktop.ScreenSaver",
             "ActiveChanged", "b", "[True]");
    ASSERT_TRUE(spinUntil([&] { return seen.ends_with("screensaver.didstart "); })) << seen;
    // A malformed signal is ignored.
    bus.emit(kLogin, "/org/freedesktop/login1", "org.freedesktop.login1.Manager", "PrepareForSleep", "s", "['yes']");
    bus.emit("org.freedesktop.ScreenSaver", "/org/freedesktop/ScreenSaver", "org.freedesktop.ScreenSaver",
             "ActiveChanged", "b", "[False]");
    ASSERT_TRUE(spinUntil([&] { return seen.ends_with("screensaver.didstop "); })) << seen;
    EXPECT_EQ(seen, "sleep wake screenIsLocked screenIsUnlocked screenIsLocked screensaver.didstart screensaver.didstop ");
}

TEST_F(Logind, RestartedLogindIsFollowedAgain) {
    logind.kill();
    ASSERT_TRUE(logind.start());
    bus.send(kLogin, "/org/freedesktop/login1", "org.freedesktop.DBus.Mock.AddSession",
             "string:c7 string:seat0 uint32:1000 string:someone boolean:true");
    bus.emit(kLogin, "/org/freedesktop/login1", "org.freedesktop.login1.Manager", "PrepareForSleep", "b", "[True]");
    session("SetLockedHint", "boolean:true");
    // The session is read again when logind returns, so the lock may be known before the signal.
    ASSERT_TRUE(spinUntil([&] { return seen == "sleep screenIsLocked " || seen == "screenIsLocked sleep "; })) << seen;
    EXPECT_TRUE(logs.lines.empty());
}

TEST(LogindAbsent, NoSessionIsOneLine) {
    test::PrivateBus bus;
    if (!test::PrivateBus::available()) GTEST_SKIP();
    ASSERT_TRUE(bus.start());
    CaptureLogSink logs;
    {
        auto c = QDBusConnection::connectToBus(QString::fromStdString(bus.address()), QStringLiteral("nologind"));
        LinuxWorkspace ws(c, c, Logger(&logs, "com.halvyn.app", "Workspace"));
        ws.postDistributed("x");
        // The session is read in the background: its absence is told when the bus answers.
        ASSERT_TRUE(spinUntil([&] { return !logs.lines.empty(); }));
        spinUntil([] { return false; }, 300);
    }
    QDBusConnection::disconnectFromBus(QStringLiteral("nologind"));
    ASSERT_EQ(logs.lines.size(), 1u);
}

}  // namespace
}  // namespace halvyn
