// The application state: start-up, the settings observers that reach across managers, windows,
// activation policy, the permission pages, the banners and the login item.

#include <gtest/gtest.h>

#include "app/app_state.h"
#include "nowplaying/music_manager.h"
#include "weather/weather_manager.h"
#include "notch/notch_fixture.h"
#include "runtime/owned_access.h"

namespace halvyn::testing {
namespace {

class AppStateTest : public NotchTest {
protected:
    // An installed program that went through onboarding, unless a test says otherwise.
    AppStateTest() { defaults().set(keys::isFirstLaunch, false); }
    AppState& app() { return ctx->appState(); }
    void start() {
        app().setShell(&sim->simAppShell());
        app().setup();
        time->advance(seconds(0.5));
    }
    std::vector<std::string> windowEffects() const {
        std::vector<std::string> out;
        for (auto& e : sim->effects().ofKind("window")) {
            const std::string owner = field(e, "owner").asString();
            if (owner != "Notch") out.push_back(field(e, "action").asString() + " " + owner);
        }
        return out;
    }
    bool showsActivity(L kind) { return notch().hasLiveActivity.get() && notch().liveActivity.get() == kind; }
};

// Start-up, the onboarding pages, reopening, the login item and the settings that reach across
// managers are in the app scenarios' traces. Here: what those do not show.
TEST_F(AppStateTest, StartUpRunsOnceWithTheStatusItemAsSet) {
    defaults().set(keys::hideMenuBarIcon, true);
    start();
    EXPECT_EQ(app().activationPolicy.get(), ActivationPolicy::accessory);
    EXPECT_TRUE(app().hasStatusItem());
    EXPECT_FALSE(app().isStatusItemVisible.get());
    app().setup();
    EXPECT_EQ(sim->effects().ofKind("http").size(), 1u) << "the launch's update check went out once";
}

TEST_F(AppStateTest, AProgramWithoutThePagesStartsWithTheNotch) {
    struct NoWindows final : AppShell {
        bool openWindow(const std::string&) override { return false; }
        void closeWindow(const std::string&) override {}
        void setStatusItemVisible(bool) override {}
        void terminate() override {}
    } shell;
    defaults().set(keys::isFirstLaunch, true);
    app().setShell(&shell);
    app().setup();
    time->advance(seconds(0.5));
    EXPECT_TRUE(notch().isEnabled.get());
    EXPECT_FALSE(defaults().get(keys::isFirstLaunch));
    EXPECT_EQ(app().activationPolicy.get(), ActivationPolicy::accessory);
    EXPECT_TRUE(app().windows.get().empty());
}

TEST_F(AppStateTest, AutomationIsAskedOfTheInstalledPlayerAndTheBrowserAndDenialOnlyLogs) {
    sim->simLauncher().installed = {"com.apple.Music", "com.google.Chrome"};
    sim->simLauncher().defaultBrowser = "com.google.Chrome";
    sim->simLauncher().automationStatus["com.google.Chrome"] = -1743;
    start();
    app().showPage(PermissionPage::music);
    app().continuePage(PermissionPage::music);
    app().continuePage(PermissionPage::browser);
    time->advance(seconds(0.1));
    EXPECT_EQ(sim->simLauncher().automationRequests,
              (std::vector<std::string>{"com.apple.Music", "com.google.Chrome"}));
    EXPECT_TRUE(logs.contains("Automation permission denied or failed for com.google.Chrome"));
    EXPECT_FALSE(logs.contains("denied or failed for com.apple.Music"));
    // Neither installed nor running: logged, and the question is still asked.
    app().permissions().requestAutomationPermission("com.example.Gone");
    time->advance(seconds(0.1));
    EXPECT_TRUE(logs.contains("Failed to find application with bundle identifier: com.example.Gone"));
    EXPECT_EQ(sim->simLauncher().automationRequests.back(), "com.example.Gone");
}

TEST_F(AppStateTest, ClosingAPageEndsOnboardingWithoutQuittingAndReopeningThenOpensTheSettings) {
    defaults().set(keys::isFirstLaunch, true);
    start();
    app().showPage(PermissionPage::music);  // re-fronted, not a second window
    EXPECT_EQ(windowEffects(), std::vector<std::string>{"open musicPermission"});
    app().windowDidClose("musicPermission");
    EXPECT_TRUE(app().windows.get().empty());
    EXPECT_EQ(app().activationPolicy.get(), ActivationPolicy::accessory);
    EXPECT_FALSE(sim->simAppShell().terminated);
    EXPECT_TRUE(app().openPages().empty());
    app().reopen();
    EXPECT_EQ(app().windows.get(), std::vector<std::string>{"settings"});
}

TEST_F(AppStateTest, AFailureToUnregisterTheLoginItemLeavesTheSetting) {
    start();
    defaults().set(keys::launchAtLogin, true);
    time->advance(seconds(0.1));
    ASSERT_TRUE(sim->simLoginItems().isRegistered());
    sim->simLoginItems().failure = "Permission denied";
    defaults().set(keys::launchAtLogin, false);
    time->advance(seconds(0.1));
    EXPECT_TRUE(sim->simLoginItems().isRegistered());
    EXPECT_FALSE(defaults().get(keys::launchAtLogin));  // as the user set it
    EXPECT_TRUE(logs.contains("Failed to unregister the login item: Permission denied"));
}

TEST_F(AppStateTest, FocusSettingsHandTheActivityBackButNeverTakeTheLocksPlace) {
    startEnabled();
    start();
    activity(L::isCalendar).wants = true;
    showActivity(L::isFocus);
    defaults().set(keys::displayWhileActive, true);
    // Remain-while-active off: the calendar takes over (forced).
    defaults().set(keys::displayWhileActive, false);
    time->advance(seconds(1));
    EXPECT_TRUE(showsActivity(L::isCalendar));

    // Focus turned off while the lock activity shows: the lock keeps its place.
    showActivity(L::isLocked);
    defaults().set(keys::enableFocus, false);
    time->advance(seconds(1));
    EXPECT_TRUE(showsActivity(L::isLocked));

    // Turned on again: the Focus activity starts on the next turn when its source wants it.
    for (L k : {L::isLocked, L::isFocus, L::isCalendar}) activity(k).wants = false;
    notch().setLiveActivity(false, L::none, false, {}, 0.35);
    time->advance(seconds(1));
    ASSERT_FALSE(notch().hasLiveActivity.get());
    activity(L::isFocus).wants = true;
    defaults().set(keys::enableFocus, true);
    EXPECT_FALSE(notch().hasLiveActivity.get());
    time->advance(seconds(1));
    EXPECT_TRUE(showsActivity(L::isFocus));
}

TEST_F(AppStateTest, SwipeToDismissOffRestoresOnlyWhatIsWantedAndNowPlayingOffEndsOnlyItsOwn) {
    startEnabled();
    start();
    // Only the lock wants one: nothing is started (the lock activity is never handed back this way).
    activity(L::isLocked).wants = true;
    defaults().set(keys::swipeToDismiss, false);
    time->advance(seconds(1));
    EXPECT_FALSE(notch().hasLiveActivity.get());
    activity(L::isLocked).wants = false;
    activity(L::isPlaying).wants = true;
    defaults().set(keys::swipeToDismiss, true);
    defaults().set(keys::swipeToDismiss, false);
    time->advance(seconds(1));
    EXPECT_TRUE(showsActivity(L::isPlaying));

    showActivity(L::isCalendar);
    defaults().set(keys::enableNowPlaying, false);
    time->advance(seconds(1));
    EXPECT_TRUE(showsActivity(L::isCalendar));
}

TEST_F(AppStateTest, ScreenCaptureSettingReachesTheOpenWindow) {
    start();
    ASSERT_TRUE(notch().panel());
    const auto* window = sim->simWindowServer().window(notch().panel()->id());
    ASSERT_TRUE(window);
    EXPECT_EQ(window->sharingType, 1);
    defaults().set(keys::hideFromScreenCapture, true);
    time->advance(seconds(0.1));
    EXPECT_EQ(sim->simWindowServer().window(notch().panel()->id())->sharingType, 0);
}

TEST_F(AppStateTest, ExcludingInaptSourcesStopsACallCountingAsPlaying) {
    startEnabled();
    start();
    MusicManager& music = ctx->music();
    defaults().set(keys::excludeInaptSources, false);
    time->advance(seconds(0.1));
    setAsOwner(music.appBundleId, std::string("us.zoom.xos"));
    setAsOwner(music.isPlaying, true);
    notch().setLiveActivity(true, L::isPlaying, false, {}, 0.35);
    time->advance(seconds(1));
    ASSERT_TRUE(showsActivity(L::isPlaying));
    defaults().set(keys::excludeInaptSources, true);
    time->advance(seconds(1));
    EXPECT_FALSE(music.isPlaying.get());
    EXPECT_FALSE(notch().hasLiveActivity.get());
    // A player that is no chat application is left alone.
    setAsOwner(music.appBundleId, std::string("com.apple.Safari"));
    setAsOwner(music.isPlaying, true);
    defaults().set(keys::excludeInaptSources, false);
    defaults().set(keys::excludeInaptSources, true);
    time->advance(seconds(0.1));
    EXPECT_TRUE(music.isPlaying.get());
}

TEST_F(AppStateTest, BannersFollowThePromptedFlags) {
    start();
    EXPECT_TRUE(app().bannerNeeded(PermissionBanner::calendar));  // not determined
    EXPECT_TRUE(app().bannerNeeded(PermissionBanner::location));
    EXPECT_FALSE(app().bannerNeeded(PermissionBanner::bluetooth));  // allowed
    BannerContent calendar = app().banner(PermissionBanner::calendar);
    EXPECT_EQ(calendar.text, "Halvyn needs your permission \n to access your events.");
    EXPECT_EQ(calendar.buttonTitle, "Ask Permission...");
    app().bannerAction(PermissionBanner::location);  // asks; the answer marks it prompted
    time->advance(seconds(0.1));
    EXPECT_TRUE(defaults().get(keys::hasPromptedLocationPermission));
    EXPECT_FALSE(app().bannerNeeded(PermissionBanner::location));  // authorized now
    const BannerContent location = app().banner(PermissionBanner::location);
    EXPECT_EQ(location.buttonTitle, "Open Settings...");
    app().bannerAction(PermissionBanner::location);
    ASSERT_EQ(sim->effects().ofKind("openURL").size(), 1u);
    EXPECT_EQ(field(sim->effects().ofKind("openURL")[0], "url").asString(),
              "x-apple.systempreferences:com.apple.preference.security?Privacy_LocationServices");
    // Bluetooth never offers to ask: only the settings, once the system has an answer.
    sim->simBluetooth().setAuthorization(BluetoothAuthorization::notDetermined);
    time->advance(seconds(0.1));
    EXPECT_EQ(app().banner(PermissionBanner::bluetooth).action, BannerAction::none);
    EXPECT_TRUE(app().bannerNeeded(PermissionBanner::bluetooth));
}

TEST_F(AppStateTest, TheLocationBannerHidesExactlyWhenTheWeatherMayAskForTheLocation) {
    start();
    using A = LocationAuthorization;
    for (A a : {A::notDetermined, A::restricted, A::denied, A::authorizedAlways, A::authorizedWhenInUse}) {
        sim->simLocation().authorization = a;
        sim->simLocation().postAuthorizationChange();
        time->advance(seconds(0.1));
        const std::size_t before = sim->simLocation().requests;
        ctx->weather().fetchWeather();
        time->advance(seconds(0.1));
        const bool asked = sim->simLocation().requests > before;
        EXPECT_EQ(asked, a == A::authorizedAlways || a == A::authorizedWhenInUse) << static_cast<int>(a);
        EXPECT_NE(app().bannerNeeded(PermissionBanner::location), asked) << static_cast<int>(a);
    }
}

}  // namespace
}  // namespace halvyn::testing
