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
    // A change here, or from elsewhere at `at` seconds, and the synchronisation steps it queues.
    template <class T>
    void setHere(const Key<T>& key, const T& value) {
        w.defaults().set(key, value);
        w.time->runCurrent();
    }
    void remote(const std::string& key, std::optional<Value> value, double at) {
        w.cloud().externalChange(key, std::move(value), w.at(at));
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

TEST_F(CloudSync, EqualTimeMovesNothingAndANewerRemoteBecomesTheLocalStamp) {
    start();
    w.time->advance(seconds(10));
    setHere(keys::hudDuration, 2.0);
    std::vector<std::pair<double, double>> seen;
    auto sub = w.defaults().observe(keys::hudDuration, [&](const double& o, const double& n) { seen.emplace_back(o, n); });

    remote("hudDuration", Value(5.0), 10);
    EXPECT_EQ(w.defaults().get(keys::hudDuration), 2.0);
    EXPECT_EQ(w.cloud().get("hudDuration"), (CloudEntry{Value(5.0), w.at(10)})) << "nothing pushed back";

    remote("hudDuration", Value(3.0), 11);
    EXPECT_EQ(w.defaults().get(keys::hudDuration), 3.0);
    EXPECT_DOUBLE_EQ(localStamp("hudDuration"), 11.0);
    EXPECT_EQ(seen, (std::vector<std::pair<double, double>>{{2.0, 3.0}}));
}

// A stamp far in the future (a broken clock or tool elsewhere) must not pin the key: it counts
// from when it was first seen, so a later change here still wins and is pushed.
TEST_F(CloudSync, FutureStampCountsFromWhenItWasSeen) {
    start();
    w.time->advance(seconds(10));
    // Within the tolerance: taken as it is.
    remote("hudDuration", Value(2.0), 10 + 59);
    EXPECT_DOUBLE_EQ(localStamp("hudDuration"), 69.0);

    for (double far : {1e300, 1e9}) {
        w.time->advance(seconds(100));
        const double seenAt = toSeconds(w.time->uptime());
        remote("hudDuration", Value(4.0), far);
        EXPECT_EQ(w.defaults().get(keys::hudDuration), 4.0) << "a change from elsewhere is still taken";
        EXPECT_DOUBLE_EQ(localStamp("hudDuration"), seenAt) << far;

        // Seen again (unchanged) before the user's change: still the moment it was first seen.
        w.time->advance(seconds(1));
        w.defaults().synchronizer()->add({"hudDuration"});
        w.time->runCurrent();
        EXPECT_EQ(w.defaults().get(keys::hudDuration), 4.0);

        w.time->advance(seconds(1));
        setHere(keys::hudDuration, 3.0);
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

TEST_F(CloudSync, ChoiceMadeWhileSyncIsOffIsNotLostToAnOlderRemoteValue) {
    start();
    setHere(keys::synchronizeSettings, false);
    // Another machine changes the key at 5 s; here the user changes it at 10 s, sync off.
    w.cloud().externalChange("hudSpeed", Value("instant"), w.at(5));
    w.time->advance(seconds(10));
    setHere(keys::hudSpeed, HUDSpeed::smooth);
    EXPECT_FALSE(w.cloud().get("hudSpeed")->value == Value("smooth")) << "pushed while sync is off";
    EXPECT_DOUBLE_EQ(localStamp("hudSpeed"), 10.0);

    // On again: the user's later choice wins and goes out.
    setHere(keys::synchronizeSettings, true);
    EXPECT_EQ(w.defaults().get(keys::hudSpeed), HUDSpeed::smooth);
    EXPECT_EQ(w.cloud().get("hudSpeed"), (CloudEntry{Value("smooth"), w.at(10)}));

    // A change on the other machine after the user's still wins, as before.
    setHere(keys::synchronizeSettings, false);
    w.cloud().externalChange("hudSpeed", Value("fast"), w.at(20));
    setHere(keys::synchronizeSettings, true);
    EXPECT_EQ(w.defaults().get(keys::hudSpeed), HUDSpeed::fast);
}

TEST_F(CloudSync, KeysNotMarkedForSyncAreNeverSynchronised) {
    start();
    w.defaults().set(keys::showOnDisplay, DisplayType::builtInDisplay);
    w.defaults().set(keys::notchAdjustedWidth, 12.0);
    setHere(keys::isFirstLaunch, false);
    w.cloud().externalChange("musicApp", Value("spotify"), w.at(50));
    remote("synchronizeSettings", Value(false), 50);
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
    remote("idleDuration", Value(9.0), 2);
    EXPECT_EQ(w.defaults().get(keys::idleDuration), 9.0);
    EXPECT_EQ(w.cloud().get("idleDuration"), (CloudEntry{Value(9.0), w.at(2)}));
}

}  // namespace
}  // namespace halvyn
