#include "lockscreen/lock_screen.h"

#include <limits>

#include "calendar/calendar_manager.h"
#include "app/context_fixture.h"
#include "lockscreen/lock_manager.h"
#include "nowplaying/music_manager.h"
#include "weather/weather_manager.h"
#include "runtime/owned_access.h"

namespace halvyn {
namespace {

using Flags = std::optional<LoginWindowFlags>;

std::string flags(std::string_view text) {
    const Flags f = parseLoginWindowPreferences(text);
    if (!f) return "error";
    return std::string(f->hasClock ? "clock " : "") + (f->hasMessage ? "message " : "") + (f->hasAvatar ? "avatar " : "") +
           (f->hasMultipleAccounts ? "accounts" : "");
}

TEST(LoginWindowPreferences, FlagsFollowTheirKeys) {
    EXPECT_EQ(flags("{ }"), "clock avatar ") << "nothing said: clock and picture, no message, one account";
    EXPECT_EQ(flags("{ HideUserAvatarAndName = 1; }"), "clock ");
    EXPECT_EQ(flags("{ HideUserAvatarAndName = 0; UsesLargeDateTime = 0; }"), "avatar ");
    // Only a text that reads as the number 0 hides the clock or keeps the picture.
    for (const char* zero : {"0", "\"0\"", "-0", "0.0", "00"})
        EXPECT_EQ(flags(std::string("{ UsesLargeDateTime = ") + zero + "; HideUserAvatarAndName = " + zero + "; }"),
                  "avatar ")
            << zero;
    for (const char* other : {"1", "NO", "\"\"", "\" 0\"", "0x0", "1e-400", "(0)", "{ a = 0; }", "<00>"})
        EXPECT_EQ(flags(std::string("{ UsesLargeDateTime = ") + other + "; HideUserAvatarAndName = " + other + "; }"),
                  "clock ")
            << "wrong type or not zero: " << other;
    EXPECT_EQ(flags("<plist><dict><key>UsesLargeDateTime</key><false/><key>HideUserAvatarAndName</key><integer>0"
                    "</integer></dict></plist>"),
              "avatar ");
    EXPECT_EQ(flags("<plist><dict><key>UsesLargeDateTime</key><real>0.5</real></dict></plist>"), "clock avatar ");

    EXPECT_EQ(flags("{ LoginwindowText = \" \\n\\t \"; }"), "clock avatar ") << "white space is no message";
    EXPECT_EQ(flags("{ LoginwindowText = \"Return to desk 4\"; }"), "clock message avatar ");
    EXPECT_EQ(flags("{ AccountInfo = { FirstLogins = { ann = 1; bob = 1; }; }; }"), "clock avatar accounts");
    EXPECT_EQ(flags("{ AccountInfo = { FirstLogins = { ann = 1; }; }; }"), "clock avatar ");
    EXPECT_EQ(flags("{ AccountInfo = { FirstLogins = (ann, bob); }; }"), "clock avatar ") << "a list is not accounts";
    EXPECT_EQ(flags("{ AccountInfo = (a, b); }"), "clock avatar ");
}

TEST(LoginWindowPreferences, BadInputIsRefused) {
    std::string error;
    for (const char* bad : {"", "2026-03-02 defaults[41]: Domain does not exist", "{ a = b", "(a, b)", "\"text\"",
                            "<plist><array/></plist>", "bplist00"}) {
        EXPECT_FALSE(parseLoginWindowPreferences(bad, &error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
    EXPECT_FALSE(parseLoginWindowPreferences(std::string(10000, '{'), &error));
    EXPECT_NE(error.find("nested too deeply"), std::string::npos);

    // 10 MB of entries, repeated keys among them, reads in linear time; the last value wins.
    std::string big = "{ UsesLargeDateTime = 1;\n";
    for (int i = 0; big.size() < 10'000'000; ++i) big += "k" + std::to_string(i % 200000) + " = \"" + std::string(20, 'x') + "\";\n";
    big += "UsesLargeDateTime = 0; }";
    EXPECT_EQ(flags(big), "avatar ");
}

class LockScreenTest : public context_testing::ContextTest {
protected:
    LockScreenTest() {
        startNotch();
        lock();
    }
    LockManager& lock() { return ctx->lock(); }
    LockScreen& screen() { return ctx->lockScreen(); }
    void post(WorkspaceEvent event) { sim->simWorkspace().post(event); }
    void screenLock() { post(WorkspaceEvent::screenLocked); }
    void screenUnlock() { post(WorkspaceEvent::screenUnlocked); }
    void setLoginWindow(std::optional<std::string> text) {
        sim->simProcesses().setOutput("/usr/bin/defaults", {"read", "/Library/Preferences/com.apple.loginwindow"},
                                      std::move(text));
    }
    std::vector<std::string> windows() const {
        std::vector<std::string> out;
        for (auto& e : sim->effects().ofKind("window")) {
            if (e.fields[0].second.asString() != "LockScreen") continue;
            out.push_back(e.fields[1].second.asString() + " " + e.fields[2].second.toJson());
        }
        return out;
    }
    std::size_t held() const { return sim->simPowerAssertions().held().size(); }
};

// The panel's frames, its fade, a lock during the fade, the widget conditions, keeping awake and the
// login window's layout are in the lock-screen scenarios' traces. Here: what those do not show.
TEST_F(LockScreenTest, PanelSitsAboveEverythingInItsOwnSpace) {
    screenLock();
    const WindowId id = screen().panel()->id();
    const auto* w = sim->simWindowServer().window(id);
    EXPECT_TRUE(w->config.releasedWhenClosed);
    EXPECT_EQ(w->config.level, 1000);
    // The panel sits in its own space at level 400, apart from the notch's.
    int spaces = 0;
    for (SpaceId s = 1; s < 10; ++s)
        if (auto* sp = sim->simWindowServer().space(s); sp && sp->windows.count(id)) {
            EXPECT_EQ(sp->level, 400);
            EXPECT_TRUE(sp->shown);
            ++spaces;
        }
    EXPECT_EQ(spaces, 1);
}

TEST_F(LockScreenTest, ShowNeedsLockAndTheRowFollowsCalendarAccess) {
    screen().show();
    EXPECT_FALSE(screen().isVisible.get()) << "not locked";

    // Only the calendar allowed, without full access: a panel with no row.
    for (const Key<bool>* key : {&keys::allowBatteryWidgetWhenLocked, &keys::allowConnectivityWidgetWhenLocked,
                                 &keys::allowFocusWidgetWhenLocked, &keys::allowNowPlayingWidgetWhenLocked,
                                 &keys::allowWeatherWidgetWhenLocked})
        defaults().set(*key, false);
    defaults().set(keys::allowCalendarWidgetWhenLocked, true);
    ctx->calendar();
    at(1);
    screenLock();
    EXPECT_TRUE(screen().isVisible.get());
    EXPECT_TRUE(screen().widgets.get().empty());
    sim->simCalendarStore().authorization = CalendarAuthorization::fullAccess;
    ctx->calendar().applicationDidBecomeActive();  // granted in the system's settings
    EXPECT_EQ(screen().widgets.get(), defaultWidgetOrder());
    screenUnlock();

    // No main display: visible, but nothing to lay over and nothing kept awake.
    defaults().set(keys::keepAwake, 5.0);
    sim->simScreens().set({});
    at(3);
    screenLock();
    EXPECT_TRUE(screen().isVisible.get());
    EXPECT_FALSE(screen().panel());
    EXPECT_EQ(held(), 0u);
}

TEST_F(LockScreenTest, KeepAwakeTakesOnlyPositiveMinutesAndOneGrantedAssertionIsEnough) {
    defaults().set(keys::keepAwake, 5.0);
    screenLock();
    ASSERT_EQ(held(), 3u);
    for (auto& [id, type] : sim->simPowerAssertions().held()) EXPECT_EQ(sim->simPowerAssertions().reasonOf(id), "Screen locked");
    screenUnlock();

    for (double minutes : {0.0, -3.0, std::numeric_limits<double>::quiet_NaN()}) {
        defaults().set(keys::keepAwake, minutes);
        screenLock();
        EXPECT_EQ(held(), 0u) << minutes;
        screenUnlock();
    }
    defaults().set(keys::keepAwake, 1.0);
    sim->simPowerAssertions().refused = {"NoIdleSleepAssertion", "NoDisplaySleepAssertion", "PreventUserIdleDisplaySleep"};
    screenLock();
    EXPECT_FALSE(screen().isAwake.get());
    screenUnlock();
    sim->simPowerAssertions().refused = {"NoDisplaySleepAssertion"};
    at(1000);
    screenLock();
    EXPECT_TRUE(screen().isAwake.get()) << "one granted is enough";
    EXPECT_EQ(held(), 2u);
    at(1060);
    EXPECT_EQ(held(), 0u);
}

TEST_F(LockScreenTest, LoginWindowTextThatDoesNotReadLeavesTheFlagsAsTheyWere) {
    setLoginWindow("{ HideUserAvatarAndName = 1; }");
    screenLock();
    EXPECT_TRUE(screen().hasAvatar.get()) << "read on a later turn";
    at(1);
    EXPECT_FALSE(screen().hasAvatar.get());
    screenUnlock();

    for (std::optional<std::string> bad : {std::optional<std::string>("defaults: no such domain"),
                                           std::optional<std::string>(), std::optional<std::string>("{ a = (; }")}) {
        logs.lines.clear();
        setLoginWindow(bad);
        at(now() + 1);
        screenLock();
        at(now() + 1);
        EXPECT_FALSE(screen().hasAvatar.get());
        EXPECT_TRUE(logged("Failed to parse plist: "));
        screenUnlock();
    }

    setLoginWindow("{ LoginwindowText = \"Property of ACME\"; UsesLargeDateTime = 0; }");
    at(now() + 1);
    screenLock();
    at(now() + 1);
    EXPECT_TRUE(screen().hasAvatar.get());
    EXPECT_DOUBLE_EQ(screen().topInset.get(), 982 * 0.0875);
    EXPECT_DOUBLE_EQ(screen().bottomInset.get(), 982 * 0.3);
}

TEST_F(LockScreenTest, AThousandLocksInASecondLeaveNothingHeld) {
    defaults().set(keys::keepAwake, 5.0);
    for (int i = 0; i < 1000; ++i) {
        at(1 + i * 0.001);
        screenLock();
        at(1 + i * 0.001 + 0.0005);
        screenUnlock();
    }
    at(3);
    EXPECT_EQ(held(), 0u);
    EXPECT_FALSE(screen().isAwake.get());
    EXPECT_FALSE(screen().isVisible.get());
    EXPECT_FALSE(lock().isLocked.get());
    EXPECT_TRUE(sim->simWindowServer().openWindows("LockScreen").empty());
    EXPECT_EQ(sim->effects().ofKind("powerAssertion").size(), 6000u) << "every assertion taken was released";

    screenLock();
    at(4);
    EXPECT_EQ(held(), 3u);
    EXPECT_EQ(sim->simWindowServer().openWindows("LockScreen").size(), 1u);
}

TEST_F(LockScreenTest, UnlockAfterTheLockScreenWasTurnedOffStillTakesThePanelAway) {
    defaults().set(keys::keepAwake, 5.0);
    screenLock();
    defaults().set(keys::enableLockScreen, false);
    screenUnlock();
    at(3);
    EXPECT_TRUE(sim->simWindowServer().openWindows("LockScreen").empty());
    EXPECT_EQ(held(), 0u);
}

TEST_F(LockScreenTest, WhereTheSessionsLockerOwnsTheScreenOnlyKeepAwakeRuns) {
    sim->simWindowServer().lockScreenLayer = false;
    defaults().set(keys::keepAwake, 1.0);
    for (int i = 0; i < 2; ++i) {
        screenLock();
        EXPECT_TRUE(screen().isVisible.get());
        EXPECT_FALSE(screen().panel());
        EXPECT_EQ(held(), 3u);
        screenUnlock();
        EXPECT_EQ(held(), 0u);
    }
    at(1);
    EXPECT_TRUE(windows().empty());
    int said = 0;
    for (auto& l : logs.lines) said += l.message.find("locker owns the locked screen") != std::string::npos;
    EXPECT_EQ(said, 1) << "said once";
    EXPECT_FALSE(logged("Failed to parse plist")) << "no login window to lay out around";
}

TEST_F(LockScreenTest, TheOpenPanelDrivesTheMediaPositionTimer) {
    MusicManager& music = ctx->music();
    int starts = 0, stops = 0;
    Subscription a = music.timerStartSignal.connect([&] { ++starts; });
    Subscription b = music.timerStopSignal.connect([&] { ++stops; });
    screenLock();
    EXPECT_EQ(starts, 1);
    screenUnlock();
    at(0.724);
    EXPECT_EQ(stops, 0) << "on screen while it fades";
    at(0.725);
    EXPECT_EQ(stops, 1);
    defaults().set(keys::allowNowPlayingWidgetWhenLocked, false);
    at(1);
    screenLock();
    screenUnlock();
    at(2);
    EXPECT_EQ(starts, 1);
    EXPECT_EQ(stops, 1);
}

TEST_F(LockScreenTest, WidgetSourcesRefreshWhileLocked) {
    defaults().set(keys::allowWeatherWidgetWhenLocked, true);
    sim->simLocation().authorization = LocationAuthorization::authorizedAlways;
    setAsOwner(ctx->weather().authorizationStatus, LocationAuthorization::authorizedAlways);
    screenLock();
    EXPECT_TRUE(ctx->weather().isUpdating());
    EXPECT_EQ(screen().widgets.get(), defaultWidgetOrder());
    screenUnlock();
    EXPECT_FALSE(ctx->weather().isUpdating()) << "unlocking cancels the hourly loop";

    // The calendar widget's events are read again on a later turn after locking.
    sim->simCalendarStore().authorization = CalendarAuthorization::fullAccess;
    ctx->calendar().applicationDidBecomeActive();  // granted in the system's settings
    defaults().set(keys::enableCalendar, true);
    defaults().set(keys::allowCalendarWidgetWhenLocked, true);
    at(10);
    const std::size_t before = sim->simCalendarStore().queries;
    screenLock();
    EXPECT_EQ(sim->simCalendarStore().queries, before);
    at(10.1);
    EXPECT_GT(sim->simCalendarStore().queries, before);
}

}  // namespace
}  // namespace halvyn
