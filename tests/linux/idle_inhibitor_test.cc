// Keep-awake on the desktop against python3-dbusmock's logind and a mock screen saver on a
// private bus.

#include <gtest/gtest.h>

#include <QDBusConnection>

#include "linux/services.h"
#include "platform/linux/idle_inhibitor.h"
#include "runtime/logger.h"

namespace halvyn {
namespace {

using test::spinUntil;

const std::string kLogin = "org.freedesktop.login1";
const std::string kSaver = "org.freedesktop.ScreenSaver";

std::size_t count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

class IdleInhibitorTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!test::PrivateBus::available()) GTEST_SKIP() << "dbus-daemon and python3-dbusmock are needed";
        ASSERT_TRUE(bus.start());
    }
    void TearDown() override {
        inhibitor.reset();
        QDBusConnection::disconnectFromBus(QStringLiteral("inhibit-test"));
    }
    void connect() {
        auto c = QDBusConnection::connectToBus(QString::fromStdString(bus.address()), QStringLiteral("inhibit-test"));
        inhibitor = std::make_unique<IdleInhibitor>(c, c, Logger(&logs, "com.halvyn.app", "PowerAssertions"));
    }
    std::string inhibitors() const {
        return bus.send(kLogin, "/org/freedesktop/login1", "org.freedesktop.login1.Manager.ListInhibitors");
    }

    test::PrivateBus bus;
    CaptureLogSink logs;
    std::unique_ptr<IdleInhibitor> inhibitor;
};

TEST_F(IdleInhibitorTest, LogindHoldsOneIdleInhibitorPerAssertionUntilReleased) {
    test::DBusMock logind{bus, "logind", kLogin};
    ASSERT_TRUE(logind.start());
    connect();
    ASSERT_TRUE(inhibitor->available());
    const auto a = inhibitor->create("NoIdleSleepAssertion", "Screen locked");
    const auto b = inhibitor->create("NoDisplaySleepAssertion", "Screen locked");
    const auto c = inhibitor->create("PreventUserIdleDisplaySleep", "Screen locked");
    ASSERT_NE(a, PowerAssertions::kNone);
    EXPECT_NE(a, b);
    EXPECT_NE(b, c);
    const std::string list = inhibitors();
    EXPECT_EQ(count(list, "string \"idle\""), 3u) << list;
    EXPECT_EQ(count(list, "string \"Screen locked\""), 3u) << list;
    EXPECT_EQ(count(list, "string \"block\""), 3u) << list;

    inhibitor->release(b);
    inhibitor->release(b);  // twice, and an unknown one, do nothing more
    inhibitor->release(PowerAssertions::kNone);
    ASSERT_TRUE(spinUntil([&] { return count(inhibitors(), "\"idle\"") == 2; })) << inhibitors();
    inhibitor->release(a);
    inhibitor->release(c);
    ASSERT_TRUE(spinUntil([&] { return count(inhibitors(), "\"idle\"") == 0; })) << inhibitors();
    EXPECT_EQ(inhibitor->heldCount(), 0u);
    EXPECT_TRUE(logs.lines.empty());
}

TEST_F(IdleInhibitorTest, WithoutLogindTheScreenSaverInhibits) {
    auto saver = test::DBusMock::bare(bus, kSaver, "/org/freedesktop/ScreenSaver", kSaver);
    ASSERT_TRUE(saver.start());
    bus.send(kSaver, "/org/freedesktop/ScreenSaver", "org.freedesktop.DBus.Mock.AddMethod",
             "string:" + kSaver + " string:Inhibit string:ss string:u \"string:ret = 42\"");
    bus.send(kSaver, "/org/freedesktop/ScreenSaver", "org.freedesktop.DBus.Mock.AddMethod",
             "string:" + kSaver + " string:UnInhibit string:u string: string:");
    connect();
    ASSERT_TRUE(inhibitor->available());
    const auto id = inhibitor->create("NoIdleSleepAssertion", "Screen locked");
    ASSERT_NE(id, PowerAssertions::kNone);
    const std::string calls =
        bus.send(kSaver, "/org/freedesktop/ScreenSaver", "org.freedesktop.DBus.Mock.GetMethodCalls", "string:Inhibit");
    EXPECT_NE(calls.find("\"Screen locked\""), std::string::npos) << calls;
    inhibitor->release(id);
    ASSERT_TRUE(spinUntil([&] {
        return bus.send(kSaver, "/org/freedesktop/ScreenSaver", "org.freedesktop.DBus.Mock.GetMethodCalls",
                        "string:UnInhibit")
                   .find("uint32 42") != std::string::npos;
    }));
}

TEST_F(IdleInhibitorTest, NoServiceRefusesWithOneLine) {
    connect();
    EXPECT_FALSE(inhibitor->available());
    EXPECT_EQ(inhibitor->create("NoIdleSleepAssertion", "Screen locked"), PowerAssertions::kNone);
    EXPECT_EQ(inhibitor->create("NoDisplaySleepAssertion", "Screen locked"), PowerAssertions::kNone);
    EXPECT_EQ(logs.lines.size(), 1u);
}

}  // namespace
}  // namespace halvyn
