// The location port against a GeoClue2 mock (python3-dbusmock, tests/linux/geoclue_mock.py) on a
// private bus: a granted client reports its fix, a refused start is a denial, a GeoClue that is
// late, stalled or replaced is asked when it answers.

#include <gtest/gtest.h>

#include <memory>

#include "linux/services.h"
#include "platform/linux/geoclue_location.h"

namespace halvyn {
namespace {

using test::spinUntil;

const std::string kMock = std::string(HALVYN_SOURCE_DIR) + "/tests/linux/geoclue_mock.py";
const std::string kClient = "/org/freedesktop/GeoClue2/Client/1";

class GeoClue : public test::BusTest {
protected:
    void startMock(const std::string& parameters) {
        mock = std::make_unique<test::DBusMock>(bus, kMock, "org.freedesktop.GeoClue2", parameters);
        ASSERT_TRUE(mock->start());
    }
    void openPort() {
        port = std::make_unique<GeoClueLocation>(*connection, Logger(&logs, "com.halvyn.app", "Location"));
        LocationCallbacks c;
        c.didUpdateLocations = [this](const std::vector<GeoLocation>& l) { fixes.insert(fixes.end(), l.begin(), l.end()); };
        c.didFail = [this](const std::string& e) { errors.push_back(e); };
        c.didChangeAuthorization = [this] { ++authorizationChanges; };
        observer = port->observe(std::move(c));
    }
    std::string client(const std::string& property) {
        return bus.send("org.freedesktop.GeoClue2", kClient, "org.freedesktop.DBus.Properties.Get",
                        "string:org.freedesktop.GeoClue2.Client string:" + property);
    }

    std::unique_ptr<test::DBusMock> mock;
    std::unique_ptr<GeoClueLocation> port;
    Subscription observer;
    std::vector<GeoLocation> fixes;
    std::vector<std::string> errors;
    int authorizationChanges = 0;
};

TEST_F(GeoClue, AGrantedClientReportsItsFixAndStops) {
    startMock(R"({"latitude": 52.52, "longitude": 13.405, "accuracy": 5000})");
    openPort();
    EXPECT_EQ(port->authorizationStatus(), LocationAuthorization::notDetermined);
    // The first look at GeoClue settles the authorization; its fix goes to the observers.
    ASSERT_TRUE(spinUntil([&] { return fixes.size() == 1; })) << (errors.empty() ? "" : errors[0]);
    EXPECT_EQ(port->authorizationStatus(), LocationAuthorization::authorizedAlways);
    EXPECT_EQ(authorizationChanges, 1);
    EXPECT_DOUBLE_EQ(fixes[0].coordinate.latitude, 52.52);
    EXPECT_DOUBLE_EQ(fixes[0].coordinate.longitude, 13.405);
    EXPECT_EQ(fixes[0].altitude, 0);  // GeoClue's "unknown" altitude
    EXPECT_NE(client("DesktopId").find("app.halvyn.halvyn"), std::string::npos);
    EXPECT_NE(client("RequestedAccuracyLevel").find("uint32 4"), std::string::npos);
    // Once the fix came the client stops searching.
    ASSERT_TRUE(spinUntil([&] { return client("Active").find("boolean false") != std::string::npos; }));

    port->requestLocation();
    ASSERT_TRUE(spinUntil([&] { return fixes.size() == 2; }));
    EXPECT_TRUE(errors.empty());
}

TEST_F(GeoClue, ARefusedStartIsADenial) {
    startMock(R"({"deny": true})");
    openPort();
    ASSERT_TRUE(spinUntil([&] { return port->authorizationStatus() == LocationAuthorization::denied; }));
    EXPECT_EQ(authorizationChanges, 1);
    ASSERT_TRUE(spinUntil([&] { return !errors.empty(); }));
    EXPECT_NE(errors[0].find("Agent refused"), std::string::npos);
    EXPECT_TRUE(fixes.empty());
}

TEST_F(GeoClue, ASilentOneReportsNothing) {
    startMock(R"({"silent": true})");
    openPort();
    ASSERT_TRUE(spinUntil([&] { return port->authorizationStatus() == LocationAuthorization::authorizedAlways; }));
    port->requestLocation();  // one is on its way: nothing more is asked
    EXPECT_TRUE(fixes.empty());
    EXPECT_TRUE(errors.empty());
}

TEST_F(GeoClue, AbsentAtStartIsAskedOnceStarted) {
    openPort();
    ASSERT_TRUE(spinUntil([&] { return errors.size() == 1; }));
    port->requestLocation();
    ASSERT_TRUE(spinUntil([&] { return errors.size() == 2; }));
    ASSERT_EQ(logs.lines.size(), 1u) << "a missing GeoClue is said once";
    EXPECT_EQ(logs.lines[0].level, LogLevel::info) << "as news: many machines have none";
    EXPECT_EQ(port->authorizationStatus(), LocationAuthorization::notDetermined);

    startMock(R"({"latitude": 1, "longitude": 2})");
    ASSERT_TRUE(spinUntil([&] { return fixes.size() == 1; }));
    EXPECT_EQ(port->authorizationStatus(), LocationAuthorization::authorizedAlways);
}

TEST_F(GeoClue, StalledAtStartOrReplacedIsAskedWhenItAnswers) {
    startMock(R"({"latitude": 52.52, "longitude": 13.405})");
    mock->pause();
    EXPECT_LT(test::millisecondsOf([&] { openPort(); }), 1000) << "the port waits for nobody";
    spinUntil([] { return false; }, 3000);
    mock->resume();
    ASSERT_TRUE(spinUntil([&] { return fixes.size() == 1; })) << (errors.empty() ? "" : errors[0]);
    EXPECT_EQ(port->authorizationStatus(), LocationAuthorization::authorizedAlways);
    EXPECT_TRUE(errors.empty());

    // A new GeoClue process: the old client went with the old one; the next request asks anew.
    mock->kill();
    mock.reset();
    startMock(R"({"latitude": 3, "longitude": 4})");
    spinUntil([] { return false; }, 300);  // the port hears of the new owner
    port->requestLocation();
    ASSERT_TRUE(spinUntil([&] { return fixes.size() == 2; }));
    EXPECT_DOUBLE_EQ(fixes[1].coordinate.latitude, 3);
}

}  // namespace
}  // namespace halvyn
