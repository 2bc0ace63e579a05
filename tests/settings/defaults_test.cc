#include <gtest/gtest.h>

#include <set>

#include "settings/hud_settings.h"
#include "settings_fixture.h"

namespace halvyn {
namespace {

using testing::SettingsWorld;

TEST(SettingsTable, EveryKeyOnceInTableOrderWithItsSyncFlag) {
    const auto& all = allKeys();
    ASSERT_EQ(all.size(), 133u);
    EXPECT_EQ(all.front().name, "isFirstLaunch");
    EXPECT_EQ(all[6].name, "synchronizeSettings");
    EXPECT_EQ(all[9].name, "enableHaptics");
    EXPECT_EQ(all.back().name, "syncFolder");
    std::set<std::string_view> names;
    for (const auto& k : all) EXPECT_TRUE(names.insert(k.name).second) << k.name;

    const auto& synced = synchronizedKeyNames();
    EXPECT_EQ(synced.size(), 114u);
    EXPECT_EQ(synced.front(), "enableHaptics");
    EXPECT_EQ(synced.back(), "enableKeyboardBrightness");
    for (auto name : {"isFirstLaunch", "synchronizeSettings", "showOnDisplay", "notchAdjustedWidth",
                      "notchAdjustedHeight", "hasPromptedBluetoothPermission", "hasPromptedCalendarPermission",
                      "hasPromptedLocationPermission", "cachedWeather", "musicApp", "excludeSubscribedCalendars",
                      "earlyBirdUpdates", "launchAtLogin", "syncFolder"}) {
        ASSERT_NE(findKey(name), nullptr) << name;
        EXPECT_EQ(findKey(name)->sync, Sync::no) << name;
    }
    EXPECT_EQ(findKey("enableHaptic"), nullptr);
}

TEST(Defaults, FreshStoreReadsEveryDefaultWithoutStoringAnything) {
    SettingsWorld w;
    auto& d = w.defaults();
    EXPECT_EQ(d.get(keys::hudSpeed), HUDSpeed::fast);
    EXPECT_FALSE(d.get(keys::cachedWeather).has_value());

    // Defaults are registered, not stored; a key without a default registers nothing.
    EXPECT_TRUE(w.prefs().contents().empty());
    EXPECT_EQ(w.prefs().get("hudSpeed"), Value("fast"));
    EXPECT_EQ(w.prefs().get("lockScreenWidgetOrder"),
              Value(Value::Array{"battery", "connectivity", "focus", "calendar", "weather"}));
    EXPECT_FALSE(w.prefs().get("cachedWeather").has_value());
    // Every key's effective value is its stored default read back.
    for (const auto& k : allKeys()) {
        const Value expected = k.storedDefault ? *k.storedDefault : Value();
        EXPECT_EQ(k.effective(d), expected) << k.name;
    }
}

TEST(Defaults, WritesStoreTheStoredFormAndResetRestoresTheDefault) {
    SettingsWorld w;
    auto& d = w.defaults();
    d.set(keys::hudSpeed, HUDSpeed::smooth);
    d.set(keys::enableHaptics, false);
    d.set(keys::hudDuration, 2.25);
    d.set(keys::lockScreenWidgetOrder, WidgetOrder{LockScreenWidgetType::weather, LockScreenWidgetType::battery});
    Value weather = Value::object();
    weather.set("temperature", 21.5);
    weather.set("condition", "clear");
    d.set(keys::cachedWeather, JsonRecord(weather));

    EXPECT_EQ(w.prefs().stored("hudSpeed"), Value("smooth"));
    EXPECT_EQ(w.prefs().stored("enableHaptics"), Value(false));
    EXPECT_EQ(w.prefs().stored("hudDuration"), Value(2.25));
    EXPECT_EQ(w.prefs().stored("lockScreenWidgetOrder"), Value(Value::Array{"weather", "battery"}));
    ASSERT_TRUE(w.prefs().stored("cachedWeather")->isString());
    EXPECT_EQ(d.get(keys::cachedWeather), JsonRecord(weather));
    EXPECT_EQ(d.get(keys::hudSpeed), HUDSpeed::smooth);

    d.reset(keys::hudSpeed);
    EXPECT_FALSE(w.prefs().stored("hudSpeed").has_value());
    EXPECT_EQ(d.get(keys::hudSpeed), HUDSpeed::fast);
    // Writing no record removes the object.
    d.set(keys::cachedWeather, JsonRecord());
    EXPECT_FALSE(w.prefs().stored("cachedWeather").has_value());
    EXPECT_FALSE(d.get(keys::cachedWeather).has_value());
}

TEST(Defaults, StoredObjectsThatDoNotConvertReadAsDefaultAndAreKept) {
    SettingsWorld w;
    auto& d = w.defaults();
    const std::vector<std::pair<const char*, Value>> bad = {
        {"enableHaptics", Value("yes")},
        {"enableHaptics", Value(1)},
        {"hudDuration", Value(true)},
        {"hudDuration", Value("1.5")},
        {"hudSpeed", Value("turbo")},
        {"hudSpeed", Value("Fast")},  // raw values are case-sensitive
        {"hudSpeed", Value(1)},
        {"lockScreenWidgetOrder", Value(Value::Array{"battery", "clock"})},
        {"lockScreenWidgetOrder", Value(Value::Array{"battery", 3})},
        {"lockScreenWidgetOrder", Value("battery")},
        {"cachedWeather", Value("{\"temperature\": 21")},
        {"cachedWeather", Value("[1,2]")},
        {"cachedWeather", Value(Value::Object{{"temperature", 21}})},
    };
    for (const auto& [name, stored] : bad) {
        w.prefs().userSet(name, stored);
        const KeyInfo* k = findKey(name);
        const Value expected = k->storedDefault ? *k->storedDefault : Value();
        EXPECT_EQ(k->effective(d), expected) << name << " = " << stored.toJson();
        EXPECT_FALSE(k->converts(stored)) << name << " = " << stored.toJson();
        EXPECT_EQ(w.prefs().stored(name), stored) << name;
    }
    EXPECT_TRUE(d.get(keys::enableHaptics));
    EXPECT_EQ(d.get(keys::hudSpeed), HUDSpeed::fast);
    EXPECT_FALSE(d.get(keys::cachedWeather).has_value());
    // An empty list is a real choice, not a failure.
    w.prefs().userSet("lockScreenWidgetOrder", Value::array());
    EXPECT_TRUE(d.get(keys::lockScreenWidgetOrder).empty());
}

TEST(Defaults, StoreWithoutPreferencesReadsDefaults) {
    struct Bare final : Platform {};
    CaptureLogSink logs;
    Context ctx(std::make_unique<VirtualTime>(), std::make_unique<Bare>(), &logs);
    ctx.defaults().set(keys::hudSpeed, HUDSpeed::smooth);
    EXPECT_EQ(ctx.defaults().get(keys::hudSpeed), HUDSpeed::fast);
    ctx.defaults().startCloudSynchronization();
}

TEST(Defaults, ObserversGetOldAndNewOnTheMainQueueInOrder) {
    SettingsWorld w;
    auto& d = w.defaults();
    std::vector<std::pair<HUDSpeed, HUDSpeed>> seen;
    auto sub = d.observe(keys::hudSpeed, [&](const HUDSpeed& o, const HUDSpeed& n) { seen.emplace_back(o, n); });

    d.set(keys::hudSpeed, HUDSpeed::smooth);
    EXPECT_TRUE(seen.empty()) << "delivered inside the write instead of on the main queue";
    d.set(keys::hudSpeed, HUDSpeed::instant);
    w.time->runCurrent();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0], std::make_pair(HUDSpeed::fast, HUDSpeed::smooth));
    EXPECT_EQ(seen[1], std::make_pair(HUDSpeed::smooth, HUDSpeed::instant));

    // Writing the same value again is no change; another process's write is.
    d.set(keys::hudSpeed, HUDSpeed::instant);
    w.prefs().externalSet("hudSpeed", Value("fast"));
    w.time->runCurrent();
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[2], std::make_pair(HUDSpeed::instant, HUDSpeed::fast));

    // A stored object of the wrong kind is a change of the object; it reads as the default.
    d.set(keys::hudSpeed, HUDSpeed::smooth);
    w.prefs().userSet("hudSpeed", Value(7));
    w.time->runCurrent();
    ASSERT_EQ(seen.size(), 5u);
    EXPECT_EQ(seen[4], std::make_pair(HUDSpeed::smooth, HUDSpeed::fast));

    d.reset(keys::hudSpeed);
    w.time->runCurrent();
    ASSERT_EQ(seen.size(), 6u);
    EXPECT_EQ(seen[5], std::make_pair(HUDSpeed::fast, HUDSpeed::fast));
    // A delivery still pending when the subscription ends is dropped.
    d.set(keys::hudSpeed, HUDSpeed::smooth);
    sub.reset();
    w.time->runCurrent();
    EXPECT_EQ(seen.size(), 6u) << "observer called after its subscription ended";
}

TEST(Defaults, AChangeReachesOnlyItsKeysObserversEvenWhileTheyChange) {
    SettingsWorld w;
    auto& d = w.defaults();
    std::vector<std::string> heard;
    Subscription second, added;
    auto first = d.observe(keys::enableHaptics, [&](const bool&, const bool& now) {
        heard.push_back(std::string("first:") + (now ? "on" : "off"));
        second.reset();  // stops a later observer of the same key before it is reached
        added = d.observe(keys::enableHaptics, [&](const bool&, const bool&) { heard.push_back("added"); });
    });
    second = d.observe(keys::enableHaptics, [&](const bool&, const bool&) { heard.push_back("second"); });
    auto other = d.observe(keys::hudSpeed, [&](const HUDSpeed&, const HUDSpeed&) { heard.push_back("hudSpeed"); });
    d.set(keys::enableHaptics, false);
    w.time->runCurrent();
    EXPECT_EQ(heard, (std::vector<std::string>{"first:off"}));
    heard.clear();
    first.reset();
    d.set(keys::enableHaptics, true);
    d.set(keys::hudSpeed, HUDSpeed::smooth);
    w.time->runCurrent();
    EXPECT_EQ(heard, (std::vector<std::string>{"added", "hudSpeed"}));
}

TEST(OptionEnumerations, LikeButtonFollowsThePlayer) {
    auto like = [](bool automatic, MusicApp app) { return controlButton(ControlType::like, automatic, app); };
    EXPECT_EQ(like(true, MusicApp::spotify).symbol, "star.fill");
    EXPECT_EQ(like(true, MusicApp::spotify).title, "Favorite");
    EXPECT_EQ(like(false, MusicApp::music).symbol, "star.fill");
    EXPECT_EQ(like(false, MusicApp::spotify).symbol, "heart.fill");
    EXPECT_EQ(like(false, MusicApp::system).title, "Like");
    EXPECT_EQ(controlButton(ControlType::repeating, false, MusicApp::system).symbol, "repeat");
    EXPECT_EQ(controlButton(ControlType::copyLink, true, MusicApp::music).title, "Copy");
}

TEST(HUDSettings, SynchronizedUsesTheSharedKeysOtherwiseEachDisplaysOwn) {
    SettingsWorld w;
    auto& d = w.defaults();
    d.set(keys::hudDuration, 3.0);
    d.set(keys::hudSpeed, HUDSpeed::instant);
    d.set(keys::volumeDuration, 2.0);
    d.set(keys::volumeProgressStyle, HUDProgressStyle::accent);
    d.set(keys::hideVolumeLabel, true);
    d.set(keys::brightnessSpeed, HUDSpeed::smooth);
    d.set(keys::brightnessSymbolScaling, SymbolScaling::retain);
    d.set(keys::showBrightnessPercentage, true);

    const HUDSettings shared{3.0, HUDProgressStyle::white, HUDSpeed::instant, false, false, SymbolScaling::scale};
    EXPECT_EQ(hudSettings(d, HUDKind::volume), shared);
    EXPECT_EQ(hudSettings(d, HUDKind::brightness), shared);

    d.set(keys::synchronizedHUD, false);
    EXPECT_EQ(hudSettings(d, HUDKind::volume),
              (HUDSettings{2.0, HUDProgressStyle::accent, HUDSpeed::fast, false, true, SymbolScaling::scale}));
    EXPECT_EQ(hudSettings(d, HUDKind::brightness),
              (HUDSettings{1.5, HUDProgressStyle::white, HUDSpeed::smooth, true, false, SymbolScaling::retain}));
}

}  // namespace
}  // namespace halvyn
