// Keep-awake on the desktop against python3-dbusmock's logind and a mock screen saver on a
// private bus, including a logind that stalls at start and one replaced by a new process.

#include <gtest/gtest.h>

#include <chrono>

#include "linux/services.h"
#include "platform/linux/idle_inhibitor.h"

namespace halvyn {
namespace {

using test::occurrences;
using test::spinUntil;

const std::string kLogin = "org.freedesktop.login1";
const std::string kSaver = "org.freedesktop.ScreenSaver";
const std::string kScreenSaverMock = std::string(HALVYN_SOURCE_DIR) + "/tests/linux/screensaver_mock.py";

class IdleInhibitorTest : public test::BusTest {
protected:
    void connect() {
        inhibitor = std::make_unique<IdleInhibitor>(*connection, *connection, Logger(&logs, "com.halvyn.app", "PowerAssertions"));
    }
    int idle() const {
        return occurrences(bus.send(kLogin, "/org/freedesktop/login1", "org.freedesktop.login1.Manager.ListInhibitors"),
                           "string \"idle\"");
    }

    std::unique_ptr<IdleInhibitor> inhibitor;
};

TEST_F(IdleInhibitorTest, LogindHoldsOneIdleInhibitorPerAssertionUntilReleased) {
    test::DBusMock logind{bus, "logind", kLogin};
    ASSERT_TRUE(logind.start());
    connect();
    ASSERT_TRUE(spinUntil([&] { return inhibitor->available() == true; }));
    const auto a = inhibitor->create("NoIdleSleepAssertion", "Screen locked");
    const auto b = inhibitor->create("NoDisplaySleepAssertion", "Screen locked");
    const auto c = inhibitor->create("PreventUserIdleDisplaySleep", "Screen locked");
    ASSERT_NE(a, PowerAssertions::kNone);
    EXPECT_NE(a, b);
    EXPECT_NE(b, c);
    ASSERT_TRUE(spinUntil([&] { return inhibitor->heldCount() == 3; }));
    const std::string list = bus.send(kLogin, "/org/freedesktop/login1", "org.freedesktop.login1.Manager.ListInhibitors");
    EXPECT_EQ(occurrences(list, "string \"idle\""), 3) << list;
    EXPECT_EQ(occurrences(list, "string \"Screen locked\""), 3) << list;
    EXPECT_EQ(occurrences(list, "string \"block\""), 3) << list;

    inhibitor->release(b);
    inhibitor->release(b);  // twice, and an unknown one, do nothing more
    inhibitor->release(PowerAssertions::kNone);
    ASSERT_TRUE(spinUntil([&] { return idle() == 2; }));
    inhibitor->release(a);
    inhibitor->release(c);
    ASSERT_TRUE(spinUntil([&] { return idle() == 0; }));
    EXPECT_EQ(inhibitor->heldCount(), 0u);
    EXPECT_TRUE(logs.lines.empty());
}

TEST_F(IdleInhibitorTest, WithoutLogindTheScreenSaverInhibits) {
    test::DBusMock saver{bus, kScreenSaverMock, kSaver};
    ASSERT_TRUE(saver.start());
    connect();
    const auto id = inhibitor->create("NoIdleSleepAssertion", "Screen locked");
    ASSERT_NE(id, PowerAssertions::kNone);
    auto calls = [&](const std::string& method) {
        return bus.send(kSaver, "/org/freedesktop/ScreenSaver", "org.freedesktop.DBus.Mock.GetMethodCalls",
                        "string:" + method);
    };
    ASSERT_TRUE(spinUntil([&] { return inhibitor->heldCount() == 1; }));
    EXPECT_NE(calls("Inhibit").find("\"Screen locked\""), std::string::npos) << calls("Inhibit");
    inhibitor->release(id);
    ASSERT_TRUE(spinUntil([&] { return calls("UnInhibit").find("uint32 42") != std::string::npos; }));
}

TEST_F(IdleInhibitorTest, NoServiceRefusesWithOneLine) {
    connect();
    ASSERT_TRUE(spinUntil([&] { return inhibitor->available().has_value(); }));
    EXPECT_FALSE(*inhibitor->available());
    EXPECT_EQ(inhibitor->create("NoIdleSleepAssertion", "Screen locked"), PowerAssertions::kNone);
    EXPECT_EQ(inhibitor->create("NoDisplaySleepAssertion", "Screen locked"), PowerAssertions::kNone);
    EXPECT_EQ(logs.lines.size(), 1u);
}

// The lock comes while logind is stalled: the assertions are given at once and the inhibitors
// taken when logind answers. logind is then restarted while the screen is locked: the inhibitor
// still wanted is taken from the new logind; one released meanwhile is not.
TEST_F(IdleInhibitorTest, AStalledOrRestartedLogindHoldsNothingUpAndIsAskedAgain) {
    test::DBusMock logind{bus, "logind", kLogin};
    ASSERT_TRUE(logind.start());
    logind.pause();
    const auto start = std::chrono::steady_clock::now();
    connect();
    const auto kept = inhibitor->create("NoIdleSleepAssertion", "Screen locked");
    const auto released = inhibitor->create("NoDisplaySleepAssertion", "Screen locked");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1000));
    ASSERT_NE(kept, PowerAssertions::kNone);
    spinUntil([] { return false; }, 3000);
    EXPECT_EQ(inhibitor->heldCount(), 0u);
    logind.resume();
    ASSERT_TRUE(spinUntil([&] { return idle() == 2 && inhibitor->heldCount() == 2; }, 15000));

    logind.kill();
    ASSERT_TRUE(spinUntil([&] { return inhibitor->heldCount() == 0; }));
    inhibitor->release(released);
    ASSERT_TRUE(logind.start());
    ASSERT_TRUE(spinUntil([&] { return idle() == 1 && inhibitor->heldCount() == 1; }, 15000));
    inhibitor->release(kept);
    ASSERT_TRUE(spinUntil([&] { return idle() == 0; }));
}

}  // namespace
}  // namespace halvyn
