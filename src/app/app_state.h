#pragma once
// The application-wide state: start-up (settings synchronisation, the settings observers that
// reach across managers, the first launch's permission pages or the notch), the status item and
// its menu, the activation policy and the application's windows, reopen, the last window closing
// and the end of the process. It decides; an AppShell shows.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/app_shell.h"
#include "app/status_menu.h"
#include "onboarding/permissions.h"
#include "runtime/lifetime.h"
#include "runtime/logger.h"
#include "runtime/properties.h"
#include "runtime/published.h"

namespace halvyn {

class Services;
class Defaults;
class Notch;
class NotchSources;
class ConnectivityManager;
class OSDUIManager;
class FocusManager;
class CalendarManager;
class WeatherManager;
class UpdateController;
class MusicManager;
class XPCManager;

class AppState {
public:
    // Window names.
    static constexpr const char* kSettings = "settings";
    static constexpr const char* kUpdate = "update";

    AppState(Services& ctx, Defaults& defaults, Notch& notch, NotchSources& sources, ConnectivityManager& connectivity,
             OSDUIManager& osdUI, FocusManager& focus, CalendarManager& calendar, WeatherManager& weather,
             UpdateController& updates, MusicManager& music, XPCManager& xpc);
    ~AppState();
    AppState(const AppState&) = delete;
    AppState& operator=(const AppState&) = delete;

    Owned<ActivationPolicy, AppState> activationPolicy{ActivationPolicy::accessory};
    Owned<bool, AppState> isStatusItemVisible{false};
    // The sorted names of the open windows.
    Owned<std::vector<std::string>, AppState> windows;

    // Where windows, the status item and the activation policy are shown. Set before `setup`;
    // without one, nothing is shown and every window counts as opened.
    void setShell(AppShell* shell) { shell_ = shell; }

    // Start-up, once: synchronised settings, the settings observers, the first launch's first
    // permission page (or the notch), the status item, the launch's update check.
    void setup();
    bool isSetUp() const { return setUp_; }
    bool hasStatusItem() const { return hasStatusItem_; }

    // The status item was clicked: the menu for the current state.
    Menu statusMenu();

    // Windows by name.
    void openWindow(const std::string& name);
    void closeWindow(const std::string& name);
    // The shell reports a window the user closed; the last one returns to accessory.
    void windowDidClose(const std::string& name);
    bool isWindowOpen(const std::string& name) const;

    void openSettings() { openWindow(kSettings); }
    // The application was launched again while it runs.
    void reopen();
    // The last window closed: back to accessory; the application keeps running.
    void lastWindowClosed();
    // The user quit: the system display is given back, then the process ends at once.
    void terminate();
    bool isTerminated() const { return terminated_; }

    // Permission pages: `showPage` opens or re-fronts one; `continuePage` runs its Continue and
    // opens the next (the onboarding window's Continue ends the first launch).
    void showPage(PermissionPage page);
    void continuePage(PermissionPage page);
    // The Continue of the frontmost open page (the one opened last); false when none is open.
    bool continueOnboarding();
    // The page windows open, in the order they were opened.
    const std::vector<PermissionPage>& openPages() const { return openPages_; }

    // The settings banners: shown while the source lacks its permission (calendar without full
    // access, location neither authorized nor while in use, Bluetooth not allowed).
    bool bannerNeeded(PermissionBanner which) const;
    BannerContent banner(PermissionBanner which) const;
    void bannerAction(PermissionBanner which);

    PermissionHelper& permissions() { return *permissions_; }
    std::string appName() const;
    std::string version() const;
    const PropertySet& properties() const { return properties_; }

private:
    class UpdateHost;

    void installObservers();
    void setActivationPolicy(ActivationPolicy policy);
    void setStatusItemVisible(bool visible);
    void setWindowOpen(const std::string& name, bool open);
    void finishFirstLaunch();
    void runPageContinue(PermissionPage page);
    void launchAtLoginChanged(bool registered);
    void swipeToDismissChanged(bool on);
    void enableFocusChanged(bool on);
    void displayWhileActiveChanged(bool on);
    void enableNowPlayingChanged(bool on);
    void reevaluateFocusActivity();
    // Hands the live activity on from the Focus one: the calendar or now-playing activity (forced)
    // when its source wants it, else none.
    void handBackFromFocus();
    void appendMediaItems(Menu& menu);
    void appendCalendarItems(Menu& menu);
    void appendContextSubmenus(Menu& menu);

    Services& ctx_;
    Defaults& defaults_;
    Notch& notch_;
    NotchSources& sources_;
    ConnectivityManager& connectivity_;
    OSDUIManager& osdUI_;
    FocusManager& focus_;
    CalendarManager& calendar_;
    WeatherManager& weather_;
    UpdateController& updates_;
    MusicManager& music_;
    XPCManager& xpc_;
    Logger logger_;
    Lifetime lifetime_;
    AppShell* shell_ = nullptr;
    std::unique_ptr<PermissionHelper> permissions_;
    std::unique_ptr<UpdateHost> updateHost_;
    std::vector<Subscription> cancellables;
    std::vector<PermissionPage> openPages_;
    bool setUp_ = false;
    bool hasStatusItem_ = false;
    bool terminated_ = false;
    PropertySet properties_;
};

}  // namespace halvyn
