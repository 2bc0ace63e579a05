#pragma once
// The permissions the notch's sources need: asking the system to let the program automate a
// media player or a browser, the chain of permission pages that the first launch walks through,
// and the permission banners of the settings views. Pages and banners are models: texts, buttons
// and what their buttons do; a shell draws them.

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "runtime/logger.h"

namespace halvyn {

class Services;

// The pages, each shown in its own window (named by `windowName`).
enum class PermissionPage { music, browser, bluetooth, calendar, onboarding };

// The page the first launch opens.
inline constexpr PermissionPage kFirstPermissionPage = PermissionPage::music;

// "musicPermission", "browserPermission", "bluetoothPermission", "calendarPermission", "onboarding".
const char* windowName(PermissionPage page);
std::optional<PermissionPage> pageForWindow(std::string_view name);
// The page that the Continue of `page` opens; nothing after the onboarding window, whose Continue
// ends the first launch.
std::optional<PermissionPage> nextPage(PermissionPage page);

struct PageContent {
    std::string symbol;         // the page's symbol (icon table name)
    std::string title;
    std::string reason;         // why the program asks; "\n" where the line breaks
    std::string continueTitle;  // "Continue"
};
PageContent pageContent(PermissionPage page, std::string_view appName);

// The banners of the settings views for a permission a source needs.
enum class PermissionBanner { calendar, location, bluetooth };
enum class BannerAction { none, askPermission, openSettings };

struct BannerContent {
    std::string symbol;       // "hand.raised.fill"
    std::string text;         // the application's name and why it asks
    std::string buttonTitle;  // "Ask Permission...", "Open Settings..." or empty (no button)
    BannerAction action = BannerAction::none;
    std::string settingsURL;  // the system settings pane "Open Settings..." opens
};
// `prompted`: the user was already asked (the banner's "hasPrompted…" setting; for Bluetooth
// also an authorization that is no longer undetermined).
BannerContent bannerContent(PermissionBanner banner, std::string_view appName, bool prompted);

// Asks the system for permissions to automate other applications; keeps no state.
class PermissionHelper {
public:
    static constexpr const char* kSpotify = "com.spotify.client";
    static constexpr const char* kMusic = "com.apple.Music";
    static constexpr const char* kSafari = "com.apple.Safari";
    static constexpr const char* kChrome = "com.google.Chrome";

    // `activate` brings the program to the front once a permission was granted.
    PermissionHelper(Services& ctx, std::function<void()> activate);

    // Opens the application (without bringing it forward) when it is not running, then asks once
    // for permission to automate it, off the main queue; the outcome is logged.
    void requestAutomationPermission(const std::string& bundleId);
    bool isApplicationInstalled(const std::string& bundleId) const;
    // The bundle identifier of the application that opens web addresses; nothing when unknown.
    std::optional<std::string> defaultBrowserBundleIdentifier() const;

private:
    Services& ctx_;
    std::function<void()> activate_;
    Logger logger_;
};

}  // namespace halvyn
