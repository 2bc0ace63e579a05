// Sleep, wake and the screen lock against python3-dbusmock's logind and a screen saver on a
// private bus, including services that stall at start or are replaced by a new process.

#include <gtest/gtest.h>

#include <memory>

#include "linux/services.h"
#include "platform/linux/linux_workspace.h"

namespace halvyn {
namespace {

using test::occurrences;
using test::spinUntil;

const std::string kLogin = "org.freedesktop.login1";
const std::string kSaver = "org.freedesktop.ScreenSaver";
const std::string kLogindSession = std::string(HALVYN_SOURCE_DIR) + "/tests/linux/logind_session.py";
const std::string kScreenSaverMock = std::string(HALVYN_SOURCE_DIR) + "/tests/linux/screensaver_mock.py";

class Logind : public test::BusTest {
protected:
    void started() override {
        ASSERT_TRUE(logind.start());
        ASSERT_TRUE(screenSaver.start());
        bus.send(kLogin, "/org/freedesktop/login1", "org.freedesktop.DBus.Mock.AddSession",
                 "string:c7 string:seat0 uint32:1000 string:someone boolean:true");
    }
    // The workspace on the bus; how long its construction took.
    long long connect() {
        test::ScopedEnv id("XDG_SESSION_ID", "c7");
        const long long took = test::millisecondsOf(
            [&] { ws = std::make_unique<LinuxWorkspace>(*connection, *connection, Logger(&logs, "com.halvyn.app", "Workspace")); });
        for (const auto& [event, name] : {std::pair{WorkspaceEvent::willSleep, "sleep"}, {WorkspaceEvent::didWake, "wake"},
                                          {WorkspaceEvent::screenLocked, "screenIsLocked"},
                                          {WorkspaceEvent::screenUnlocked, "screenIsUnlocked"},
                                          {WorkspaceEvent::screensaverStarted, "screensaver.didstart"},
                                          {WorkspaceEvent::screensaverStopped, "screensaver.didstop"}})
            subs.push_back(ws->observe(event, [this, what = std::string(name)] { seen += what + " "; }));
        return took;
    }
    void session(const std::string& method, const std::string& args = {}) {
        bus.send(kLogin, "/org/freedesktop/login1/session/c7", "org.freedesktop.login1.Session." + method, args);
    }
    void saver(const std::string& method, const std::string& args = {}) {
        bus.send(kSaver, "/org/freedesktop/ScreenSaver", "org.freedesktop.ScreenSaver." + method, args);
    }

    test::DBusMock logind{bus, "logind", kLogin};
    test::DBusMock screenSaver{bus, kScreenSaverMock, kSaver};
    std::unique_ptr<LinuxWorkspace> ws;
    std::vector<Subscription> subs;
    std::string seen;
};

TEST_F(Logind, SleepWakeLockAndScreenSaverInOrderEachOnce) {
    connect();
    ASSERT_TRUE(spinUntil([&] { return ws->sessionPath().toStdString() == "/org/freedesktop/login1/session/c7"; }));
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

    saver("SetActive", "boolean:true");
    ASSERT_TRUE(spinUntil([&] { return seen.ends_with("screensaver.didstart "); })) << seen;
    // A malformed signal is ignored.
    bus.emit(kLogin, "/org/freedesktop/login1", "org.freedesktop.login1.Manager", "PrepareForSleep", "s", "['yes']");
    saver("SetActive", "boolean:false");
    ASSERT_TRUE(spinUntil([&] { return seen.ends_with("screensaver.didstop "); })) << seen;
    EXPECT_EQ(seen, "sleep wake screenIsLocked screenIsUnlocked screenIsLocked screensaver.didstart screensaver.didstop ");
    EXPECT_TRUE(logs.lines.empty());
}

// Both services hold their names but do not answer while the program starts: it does not wait
// for them, and what they say arrives when they resume. Each stall is said once, however often
// the question is asked again meanwhile.
TEST_F(Logind, ServicesStalledAtStartAreReadWhenTheyResume) {
    session("SetLockedHint", "boolean:true");
    saver("SetActive", "boolean:true");
    logind.pause();
    screenSaver.pause();
    EXPECT_LT(connect(), 1000);
    spinUntil([] { return false; }, 4500);  // longer than two questions' time-outs
    EXPECT_EQ(seen, "");
    EXPECT_TRUE(ws->sessionPath().isEmpty());
    logind.resume();
    screenSaver.resume();
    ASSERT_TRUE(spinUntil([&] { return seen.find("screenIsLocked") != std::string::npos &&
                                       seen.find("screensaver.didstart") != std::string::npos; }, 15000))
        << seen;
    EXPECT_EQ(ws->sessionPath().toStdString(), "/org/freedesktop/login1/session/c7");
    ASSERT_EQ(logs.lines.size(), 2u);
    EXPECT_TRUE(logs.contains("logind does not answer; followed as soon as it does"));
    EXPECT_TRUE(logs.contains("The screen saver does not answer; followed as soon as it does"));
    session("SetLockedHint", "boolean:false");
    ASSERT_TRUE(spinUntil([&] { return seen.ends_with("screenIsUnlocked "); })) << seen;
}

// A replacement is read again: the lock and the screen saver that changed while the services
// were away are told without any signal, and each departure is one line.
TEST_F(Logind, ReplacedServicesAreReadAgainAndTheirLeavingSaidOnce) {
    connect();
    session("SetLockedHint", "boolean:true");
    saver("SetActive", "boolean:true");
    ASSERT_TRUE(spinUntil([&] { return occurrences(seen, "screenIsLocked") == 1 && occurrences(seen, "didstart") == 1; }))
        << seen;

    logind.kill();
    screenSaver.kill();
    // Nothing runs a screen saver any more; the lock stays as it was last known.
    ASSERT_TRUE(spinUntil([&] { return seen.ends_with("screensaver.didstop "); })) << seen;
    ASSERT_TRUE(spinUntil([&] { return logs.lines.size() == 2; }));

    test::DBusMock newLogind(bus, kLogindSession, kLogin, R"({"session": "c7", "locked": false})");
    test::DBusMock newSaver(bus, kScreenSaverMock, kSaver, R"({"active": true})");
    ASSERT_TRUE(newLogind.start());
    ASSERT_TRUE(newSaver.start());
    ASSERT_TRUE(spinUntil([&] { return occurrences(seen, "screenIsUnlocked") == 1 && occurrences(seen, "didstart") == 2; }))
        << seen;
    bus.emit(kLogin, "/org/freedesktop/login1", "org.freedesktop.login1.Manager", "PrepareForSleep", "b", "[True]");
    ASSERT_TRUE(spinUntil([&] { return seen.ends_with("sleep "); })) << seen;
    EXPECT_EQ(logs.lines.size(), 2u);
    EXPECT_TRUE(logs.contains("logind left the system bus; sleep, wake and the screen lock are not followed until it returns"));
    EXPECT_TRUE(logs.contains("The screen saver left the session bus; followed again when it returns"));
}

class LogindAbsent : public test::BusTest {};

TEST_F(LogindAbsent, NoLogindIsOneLine) {
    {
        LinuxWorkspace ws(*connection, *connection, Logger(&logs, "com.halvyn.app", "Workspace"));
        ASSERT_TRUE(spinUntil([&] { return !logs.lines.empty(); }));
        spinUntil([] { return false; }, 300);
    }
    ASSERT_EQ(logs.lines.size(), 1u);
    EXPECT_TRUE(logs.contains("No logind on the system bus; sleep, wake and the screen lock are followed once it starts"));
}

}  // namespace
}  // namespace halvyn
