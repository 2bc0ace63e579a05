#include <gtest/gtest.h>

#include "settings/icloud_synchronizer.h"
#include "settings_fixture.h"

namespace halvyn {
namespace {

using testing::SettingsWorld;

std::string stamp(std::string_view key) { return iCloudSynchronizer::timestampName(key); }

class CloudSync : public ::testing::Test {
protected:
    void start() {
        w.defaults().startCloudSynchronization();
        w.time->runCurrent();
    }
    double localStamp(std::string_view key) {
        auto v = w.prefs().stored(stamp(key));
        return v && v->isNumber() ? v->asNumber() - 1767603600.0 : -1e9;
    }
    SettingsWorld w;
};

TEST_F(CloudSync, RegistersTheSynchronisedKeysInTableOrderOnTheBackgroundQueue) {
    w.defaults().startCloudSynchronization();
    auto* sync = w.defaults().synchronizer();
    ASSERT_NE(sync, nullptr);
    const auto keys = sync->keys();
    ASSERT_EQ(keys.size(), synchronizedKeyNames().size());
    for (std::size_t i = 0; i < keys.size(); ++i) EXPECT_EQ(keys[i], synchronizedKeyNames()[i]);
    EXPECT_FALSE(sync->contains("synchronizeSettings"));
    EXPECT_FALSE(sync->contains("cachedWeather"));
    EXPECT_FALSE(w.logs.contains("[Defaults.iCloud] Try synchronizing")) << "steps ran on the caller's thread";
    w.time->runCurrent();
    EXPECT_TRUE(w.logs.contains("[Defaults.iCloud] Try synchronizing"));
    EXPECT_TRUE(w.logs.contains("[Defaults.iCloud] Complete synchronization"));
    // Nothing has a time stamp yet: nothing moves either way.
    EXPECT_TRUE(w.cloud().entries().empty());
    EXPECT_TRUE(w.prefs().contents().empty());
}

TEST_F(CloudSync, LocalChangeIsPushedWithItsTime) {
    start();
    w.time->advance(seconds(5));
    w.defaults().set(keys::hudSpeed, HUDSpeed::smooth);
    EXPECT_TRUE(w.cloud().entries().empty());
    w.time->runCurrent();
    auto e = w.cloud().get("hudSpeed");
    ASSERT_TRUE(e);
    EXPECT_EQ(e->value, Value("smooth"));
    EXPECT_EQ(e->time, w.at(5));
    EXPECT_DOUBLE_EQ(localStamp("hudSpeed"), 5.0);
    EXPECT_GE(w.cloud().synchronizeCount(), 1);

    // A reset travels as a removal.
    w.time->advance(seconds(1));
    w.defaults().reset(keys::hudSpeed);
    w.time->runCurrent();
    EXPECT_EQ(w.cloud().get("hudSpeed"), (CloudEntry{std::nullopt, w.at(6)}));
}

TEST_F(CloudSync, LaterSideWinsOnExternalChange) {
    start();
    w.time->advance(seconds(10));
    w.defaults().set(keys::hudDuration, 2.0);
    w.time->runCurrent();

    std::vector<std::pair<double, double>> seen;
    auto sub = w.defaults().observe(keys::hudDuration, [&](const double& o, const double& n) { seen.emplace_back(o, n); });

    // Older than the local change: the local value wins and is pushed back.
    w.cloud().externalChange("hudDuration", Value(4.0), w.at(9));
    w.time->runCurrent();
    EXPECT_EQ(w.defaults().get(keys::hudDuration), 2.0);
    EXPECT_EQ(w.cloud().get("hudDuration"), (CloudEntry{Value(2.0), w.at(10)}));

    // Equal time: nothing moves.
    w.cloud().externalChange("hudDuration", Value(5.0), w.at(10));
    w.time->runCurrent();
    EXPECT_EQ(w.defaults().get(keys::hudDuration), 2.0);

    // Newer: pulled, observers hear it, the remote time becomes the local stamp, nothing pushed back.
    w.cloud().externalChange("hudDuration", Value(3.0), w.at(11));
    const int syncsBefore = w.cloud().synchronizeCount();
    w.time->runCurrent();
    EXPECT_EQ(w.defaults().get(keys::hudDuration), 3.0);
    EXPECT_DOUBLE_EQ(localStamp("hudDuration"), 11.0);
    EXPECT_EQ(w.cloud().get("hudDuration"), (CloudEntry{Value(3.0), w.at(11)}));
    EXPECT_EQ(w.cloud().synchronizeCount(), syncsBefore + 1);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0], std::make_pair(2.0, 3.0));

    // A removal on the other machine removes the local object.
    w.cloud().externalChange("hudDuration", std::nullopt, w.at(12));
    w.time->runCurrent();
    EXPECT_FALSE(w.prefs().stored("hudDuration").has_value());
    EXPECT_EQ(w.defaults().get(keys::hudDuration), 1.5);
}

// A stamp far in the future (a broken clock or tool elsewhere) must not pin the key: it counts
// from when it was first seen, so a later change here still wins and is pushed.
TEST_F(CloudSync, FutureStampCountsFromWhenItWasSeen) {
    start();
    w.time->advance(seconds(10));
    // Within the tolerance: taken as it is.
    w.cloud().externalChange("hudDuration", Value(2.0), w.at(10 + 59));
    w.time->runCurrent();
    EXPECT_DOUBLE_EQ(localStamp("hudDuration"), 69.0);

    for (double far : {1e300, 1e9}) {
        w.time->advance(seconds(100));
        const double seenAt = toSeconds(w.time->uptime());
        w.cloud().externalChange("hudDuration", Value(4.0), w.at(far));
        w.time->runCurrent();
        EXPECT_EQ(w.defaults().get(keys::hudDuration), 4.0) << "a change from elsewhere is still taken";
        EXPECT_DOUBLE_EQ(localStamp("hudDuration"), seenAt) << far;

        // Seen again (unchanged) before the user's change: still the moment it was first seen.
        w.time->advance(seconds(1));
        w.defaults().synchronizer()->add({"hudDuration"});
        w.time->runCurrent();
        EXPECT_EQ(w.defaults().get(keys::hudDuration), 4.0);

        w.time->advance(seconds(1));
        w.defaults().set(keys::hudDuration, 3.0);
        w.time->runCurrent();
        EXPECT_EQ(w.defaults().get(keys::hudDuration), 3.0) << "the later local change is not reverted";
        EXPECT_EQ(w.cloud().get("hudDuration"), (CloudEntry{Value(3.0), w.at(seenAt + 2)}));
    }

    // A local stamp from the future (an edited settings file) is not pushed as it is.
    w.time->advance(seconds(10));
    w.prefs().set(stamp("enableHaptics"), Value(1e300), Preferences::Origin::sync);
    w.prefs().set("enableHaptics", Value(false), Preferences::Origin::sync);
    w.defaults().synchronizer()->add({"enableHaptics"});
    w.time->runCurrent();
    auto e = w.cloud().get("enableHaptics");
    ASSERT_TRUE(e);
    EXPECT_EQ(e->time, w.at(toSeconds(w.time->uptime())));
}

TEST_F(CloudSync, OnlyOneSideStampedThatSideWinsWhenKeysAreAdded) {
    // Remote only.
    w.cloud().set("enableHaptics", CloudEntry{Value(false), w.at(-100)});
    // Local only, with a value stored by an earlier run.
    w.prefs().userSet("naturalMovement", Value(true));
    w.prefs().userSet(stamp("naturalMovement"), Value(1767603600.0 - 50));
    // A remote value of the wrong kind is taken as it is and reads as the default.
    w.cloud().set("swipeToSkip", CloudEntry{Value("maybe"), w.at(-10)});
    start();
    EXPECT_FALSE(w.defaults().get(keys::enableHaptics));
    EXPECT_EQ(w.cloud().get("naturalMovement"), (CloudEntry{Value(true), w.at(-50)}));
    EXPECT_EQ(w.prefs().stored("swipeToSkip"), Value("maybe"));
    EXPECT_TRUE(w.defaults().get(keys::swipeToSkip));
}

TEST_F(CloudSync, TurningSyncOffStopsItAndLeavesValuesTurningItOnResumes) {
    start();
    w.defaults().set(keys::enableHaptics, false);
    w.time->runCurrent();
    w.defaults().set(keys::synchronizeSettings, false);
    w.time->runCurrent();
    EXPECT_TRUE(w.defaults().synchronizer()->keys().empty());
    EXPECT_FALSE(w.defaults().get(keys::enableHaptics)) << "turning sync off changed a value";

    w.time->advance(seconds(1));
    w.defaults().set(keys::swipeToSkip, false);
    w.cloud().externalChange("enableHaptics", Value(true), w.at(100));
    w.time->runCurrent();
    EXPECT_FALSE(w.cloud().get("swipeToSkip").has_value()) << "pushed while sync is off";
    EXPECT_FALSE(w.defaults().get(keys::enableHaptics)) << "pulled while sync is off";

    // On again: the keys are added back and the newer remote value arrives.
    w.defaults().set(keys::synchronizeSettings, true);
    w.time->runCurrent();
    EXPECT_EQ(w.defaults().synchronizer()->keys().size(), synchronizedKeyNames().size());
    EXPECT_TRUE(w.defaults().get(keys::enableHaptics));
}

TEST_F(CloudSync, ChoiceMadeWhileSyncIsOffIsNotLostToAnOlderRemoteValue) {
    start();
    w.defaults().set(keys::synchronizeSettings, false);
    w.time->runCurrent();
    // Another machine changes the key at 5 s; here the user changes it at 10 s, sync off.
    w.cloud().externalChange("hudSpeed", Value("instant"), w.at(5));
    w.time->advance(seconds(10));
    w.defaults().set(keys::hudSpeed, HUDSpeed::smooth);
    w.time->runCurrent();
    EXPECT_FALSE(w.cloud().get("hudSpeed")->value == Value("smooth")) << "pushed while sync is off";
    EXPECT_DOUBLE_EQ(localStamp("hudSpeed"), 10.0);

    // On again: the user's later choice wins and goes out.
    w.defaults().set(keys::synchronizeSettings, true);
    w.time->runCurrent();
    EXPECT_EQ(w.defaults().get(keys::hudSpeed), HUDSpeed::smooth);
    EXPECT_EQ(w.cloud().get("hudSpeed"), (CloudEntry{Value("smooth"), w.at(10)}));

    // A change on the other machine after the user's still wins, as before.
    w.defaults().set(keys::synchronizeSettings, false);
    w.time->runCurrent();
    w.cloud().externalChange("hudSpeed", Value("fast"), w.at(20));
    w.defaults().set(keys::synchronizeSettings, true);
    w.time->runCurrent();
    EXPECT_EQ(w.defaults().get(keys::hudSpeed), HUDSpeed::fast);
}

TEST_F(CloudSync, KeysNotMarkedForSyncAreNeverSynchronised) {
    start();
    w.defaults().set(keys::showOnDisplay, DisplayType::builtInDisplay);
    w.defaults().set(keys::notchAdjustedWidth, 12.0);
    w.defaults().set(keys::isFirstLaunch, false);
    w.time->runCurrent();
    w.cloud().externalChange("musicApp", Value("spotify"), w.at(50));
    w.cloud().externalChange("synchronizeSettings", Value(false), w.at(50));
    w.time->runCurrent();
    EXPECT_FALSE(w.cloud().get("showOnDisplay").has_value());
    EXPECT_FALSE(w.cloud().get("notchAdjustedWidth").has_value());
    EXPECT_FALSE(w.cloud().get("isFirstLaunch").has_value());
    EXPECT_EQ(w.defaults().get(keys::musicApp), MusicApp::system);
    EXPECT_TRUE(w.defaults().get(keys::synchronizeSettings));
    EXPECT_FALSE(w.prefs().stored(stamp("showOnDisplay")).has_value());
}

TEST_F(CloudSync, StepsRunInTheOrderTheyWereQueued) {
    start();
    // A local change at t=1 and, before its step ran, a newer remote change at t=2: the local
    // step runs first, finds the remote side newer and pulls; nothing older is pushed over it.
    w.time->advance(seconds(1));
    w.defaults().set(keys::idleDuration, 7.0);
    w.cloud().externalChange("idleDuration", Value(9.0), w.at(2));
    w.time->runCurrent();
    EXPECT_EQ(w.defaults().get(keys::idleDuration), 9.0);
    EXPECT_EQ(w.cloud().get("idleDuration"), (CloudEntry{Value(9.0), w.at(2)}));
}

}  // namespace
}  // namespace halvyn
