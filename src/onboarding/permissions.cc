#include "onboarding/permissions.h"

#include <memory>

#include "platform/app_launcher.h"
#include "platform/platform.h"
#include "platform/processes.h"
#include "platform/services.h"

namespace halvyn {

namespace {

constexpr PermissionPage kPages[] = {PermissionPage::music, PermissionPage::browser, PermissionPage::bluetooth,
                                     PermissionPage::calendar, PermissionPage::onboarding};

std::string named(std::string_view appName, const char* text) { return std::string(appName) + text; }

}  // namespace

const char* windowName(PermissionPage page) {
    switch (page) {
        case PermissionPage::music: return "musicPermission";
        case PermissionPage::browser: return "browserPermission";
        case PermissionPage::bluetooth: return "bluetoothPermission";
        case PermissionPage::calendar: return "calendarPermission";
        case PermissionPage::onboarding: return "onboarding";
    }
    return "onboarding";
}

std::optional<PermissionPage> pageForWindow(std::string_view name) {
    for (PermissionPage p : kPages)
        if (name == windowName(p)) return p;
    return std::nullopt;
}

std::optional<PermissionPage> nextPage(PermissionPage page) {
    switch (page) {
        case PermissionPage::music: return PermissionPage::browser;
        case PermissionPage::browser: return PermissionPage::bluetooth;
        // Both lead to the onboarding window; the calendar page is opened on its own, not by the chain.
        case PermissionPage::bluetooth:
        case PermissionPage::calendar: return PermissionPage::onboarding;
        case PermissionPage::onboarding: return std::nullopt;
    }
    return std::nullopt;
}

PageContent pageContent(PermissionPage page, std::string_view appName) {
    switch (page) {
        case PermissionPage::music:
            return {"music.note", "Media Player",
                    named(appName, " needs your permission to show \n and control what your player plays."), "Continue"};
        case PermissionPage::browser:
            return {"globe", "Web Browser",
                    named(appName, " needs your permission to identify \n and focus tabs with playing audio."),
                    "Continue"};
        case PermissionPage::bluetooth:
            return {"headphones", "Bluetooth", named(appName, " needs your permission \n to access battery data."),
                    "Continue"};
        case PermissionPage::calendar:
            return {"calendar", "Calendar", named(appName, " needs your permission \n to access your events."),
                    "Continue"};
        case PermissionPage::onboarding:
            return {"sparkles", named("Welcome to ", std::string(appName).c_str()),
                    "Click the notch, or swipe down on it, to see \n what is playing, your battery, "
                    "accessories and more.",
                    "Continue"};
    }
    return {};
}

BannerContent bannerContent(PermissionBanner banner, std::string_view appName, bool prompted) {
    BannerContent b;
    b.symbol = "hand.raised.fill";
    const char* pane = "";
    switch (banner) {
        case PermissionBanner::calendar:
            b.text = named(appName, " needs your permission \n to access your events.");
            pane = "x-apple.systempreferences:com.apple.preference.security?Privacy_Calendars";
            break;
        case PermissionBanner::location:
            b.text = named(appName, " needs your permission \n to determine your location.");
            pane = "x-apple.systempreferences:com.apple.preference.security?Privacy_LocationServices";
            break;
        case PermissionBanner::bluetooth:
            b.text = named(appName, " needs your permission \n to access battery data.");
            pane = "x-apple.systempreferences:com.apple.preference.security?Privacy_Bluetooth";
            break;
    }
    b.settingsURL = pane;
    if (prompted) {
        b.buttonTitle = "Open Settings...";
        b.action = BannerAction::openSettings;
    } else if (banner != PermissionBanner::bluetooth) {
        // Bluetooth is asked for by the onboarding's Bluetooth page only: its banner has no asking button.
        b.buttonTitle = "Ask Permission...";
        b.action = BannerAction::askPermission;
    }
    return b;
}

PermissionHelper::PermissionHelper(Services& ctx, std::function<void()> activate)
    : ctx_(ctx), activate_(std::move(activate)), logger_(ctx.logger("PermissionHelper")) {}

bool PermissionHelper::isApplicationInstalled(const std::string& bundleId) const {
    // The launcher answers only for an application that is present where it was found.
    AppLauncher* launcher = ctx_.platform().appLauncher();
    return launcher && launcher->urlForApplication(bundleId).has_value();
}

std::optional<std::string> PermissionHelper::defaultBrowserBundleIdentifier() const {
    AppLauncher* launcher = ctx_.platform().appLauncher();
    if (!launcher) return std::nullopt;
    auto id = launcher->defaultApplicationForURL("http://example.com");
    if (id && id->empty()) return std::nullopt;
    return id;
}

void PermissionHelper::requestAutomationPermission(const std::string& bundleId) {
    AppLauncher* launcher = ctx_.platform().appLauncher();
    if (!launcher) return;
    Processes* processes = ctx_.platform().processes();
    const bool running = processes && !processes->runningApplications(bundleId).empty();
    if (!running) {
        if (auto url = launcher->urlForApplication(bundleId))
            launcher->openApplication(*url, bundleId, false);
        else
            logger_.error("Failed to find application with bundle identifier: %{public}s", bundleId);
    }
    // The system prompt waits for the user: asked off the main queue, answered on it.
    MainQueue* main = &ctx_.main();
    Logger logger = logger_;
    std::function<void()> activate = activate_;
    ctx_.background().post([launcher, main, bundleId, logger, activate]() mutable {
        const int status = launcher->requestAutomation(bundleId);
        main->post([status, bundleId, logger, activate] {
            if (status != 0) {
                logger.error("Automation permission denied or failed for %{public}s", bundleId);
                return;
            }
            if (activate) activate();
        });
    });
}

}  // namespace halvyn
