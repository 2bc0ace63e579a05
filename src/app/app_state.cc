#include "app/app_state.h"

#include <algorithm>

#include "calendar/calendar_manager.h"
#include "calendar/upcoming_event.h"
#include "hud/osdui_manager.h"
#include "notch/notch.h"
#include "notch/notch_sources.h"
#include "nowplaying/music_manager.h"
#include "nowplaying/xpc_manager.h"
#include "platform/bluetooth.h"
#include "platform/bundle.h"
#include "platform/location.h"
#include "platform/login_items.h"
#include "platform/platform.h"
#include "platform/player_scripting.h"
#include "platform/services.h"
#include "platform/url_opener.h"
#include "settings/defaults.h"
#include "settings/keys.h"
#include "sources/connectivity_manager.h"
#include "sources/focus_manager.h"
#include "updates/update_controller.h"
#include "weather/weather_manager.h"

namespace halvyn {

namespace {
using L = Notch::LiveActivity;
constexpr double kActivityDuration = 0.35;

// Whether the source of that activity wants it now (asked through the notch's registry).
bool wants(NotchSources& sources, L kind) {
    LiveActivitySource* source = sources.liveActivitySource(kind);
    return source && source->wantsLiveActivity();
}
}  // namespace


// The update window goes through the update controller; this host passes its opening and closing
// on to the shell's update window and keeps `windows` in step.
class AppState::UpdateHost final : public UpdateWindowHost {
public:
    UpdateHost(AppState& state, UpdateWindowHost* inner) : state_(state), inner_(inner) {}
    void open() override {
        if (inner_) inner_->open();
        state_.setWindowOpen(kUpdate, true);
    }
    void close() override {
        if (inner_) inner_->close();
        state_.setWindowOpen(kUpdate, false);
    }
    void resize(double height) override {
        if (inner_) inner_->resize(height);
    }
    UpdateWindowHost* inner() const { return inner_; }

private:
    AppState& state_;
    UpdateWindowHost* inner_;
};

AppState::AppState(Services& ctx, Defaults& defaults, Notch& notch, NotchSources& sources,
                   ConnectivityManager& connectivity, OSDUIManager& osdUI, FocusManager& focus,
                   CalendarManager& calendar, WeatherManager& weather, UpdateController& updates, MusicManager& music,
                   XPCManager& xpc)
    : ctx_(ctx), defaults_(defaults), notch_(notch), sources_(sources), connectivity_(connectivity), osdUI_(osdUI),
      focus_(focus), calendar_(calendar), weather_(weather), updates_(updates), music_(music), xpc_(xpc),
      logger_(ctx.logger("AppState")) {
    const Lifetime::Token weak = lifetime_.token();
    permissions_ = std::make_unique<PermissionHelper>(ctx, [this, weak] {
        if (weak && shell_) shell_->activate();
    });
    properties_.add("activationPolicy", [this] { return Value(caseName(activationPolicy.get())); },
                    [this](std::function<void()> cb) {
                        return activationPolicy.observe([cb = std::move(cb)](auto&, const Animation*) { cb(); });
                    });
    properties_.add("isStatusItemVisible", isStatusItemVisible);
    properties_.add("windows",
                    [this] {
                        Value::Array names;
                        for (auto& n : windows.get()) names.emplace_back(n);
                        return Value(std::move(names));
                    },
                    [this](std::function<void()> cb) {
                        return windows.observe([cb = std::move(cb)](auto&, const Animation*) { cb(); });
                    });
}

AppState::~AppState() {
    lifetime_.end();
    // The controller outlives this state: it gets the shell's window back.
    if (updateHost_ && updates_.windowHost() == updateHost_.get()) updates_.setWindowHost(updateHost_->inner());
}

std::string AppState::appName() const {
    Bundle* b = ctx_.platform().bundle();
    std::string name = b ? b->info().name : std::string();
    return name.empty() ? std::string("Halvyn") : name;
}

std::string AppState::version() const {
    Bundle* b = ctx_.platform().bundle();
    return b ? b->info().version : std::string();
}

// MARK: - Start-up

void AppState::setup() {
    if (setUp_) return;
    setUp_ = true;
    Defaults& d = defaults_;
    // An application menu with "Edit" and "View" exists only where the system gives every
    // application one; neither the desktop program nor halvyn-sim has it, so hiding them is nothing.

    // Registers the synchronised keys when "synchronizeSettings" is on, and follows that setting.
    d.startCloudSynchronization();
    installObservers();
    if (d.get(keys::isFirstLaunch)) {
        setActivationPolicy(ActivationPolicy::regular);
        showPage(kFirstPermissionPage);
    } else {
        notch_.enable();
    }
    hasStatusItem_ = true;
    setStatusItemVisible(!d.get(keys::hideMenuBarIcon));

    // The update window is followed from here on; then the launch's update check.
    UpdateController& updates = updates_;
    updateHost_ = std::make_unique<UpdateHost>(*this, updates.windowHost());
    updates.setWindowHost(updateHost_.get());
    updates.periodicCheck();
}

void AppState::installObservers() {
    Defaults& d = defaults_;
    auto guarded = [this](auto fn) {
        return lifetime_.guard([fn](const auto&, const auto& now) { fn(now); });
    };
    // Followed by their owners, with the reactions start-up gives them: "synchronizeSettings" (the
    // settings store, from startCloudSynchronization), "warnOnLowConnectBattery" and
    // "lowConnectBatteryThreshold" (the accessory source), "enableCalendar" and the other calendar
    // settings, and "enableQuickPeek" (the calendar source, which ends a showing quick peek).
    cancellables.push_back(d.observe(keys::launchAtLogin, guarded([this](bool on) { launchAtLoginChanged(on); })));
    cancellables.push_back(d.observe(keys::hideMenuBarIcon, guarded([this](bool hide) {
        if (hasStatusItem_) setStatusItemVisible(!hide);
    })));
    cancellables.push_back(
        d.observe(keys::hideFromScreenCapture, guarded([this](bool) { notch_.updateSharingType(); })));
    cancellables.push_back(
        d.observe(keys::showOnDisplay, guarded([this](DisplayType) { notch_.screenParametersChanged(); })));
    cancellables.push_back(d.observe(keys::swipeToDismiss, guarded([this](bool on) { swipeToDismissChanged(on); })));
    cancellables.push_back(d.observe(keys::enableFocus, guarded([this](bool on) { enableFocusChanged(on); })));
    cancellables.push_back(
        d.observe(keys::displayWhileActive, guarded([this](bool on) { displayWhileActiveChanged(on); })));
    osdUI_.followSettings();
    cancellables.push_back(
        d.observe(keys::enableNowPlaying, guarded([this](bool on) { enableNowPlayingChanged(on); })));
    cancellables.push_back(
        d.observe(keys::excludeInaptSources, guarded([this](bool) { music_.reevaluateExclusion(); })));
    cancellables.push_back(d.observe(keys::allowFocusWhenLocked, guarded([this](bool) { reevaluateFocusActivity(); })));
    cancellables.push_back(d.observe(keys::silenceUpdatePrompt, guarded([this](bool silenced) {
        UpdateController& updates = updates_;
        if (silenced) {
            updates.closeUpdateWindow();
            return;
        }
        const Lifetime::Token alive = lifetime_.token();
        updates.checkForUpdates([this, alive] {
            if (alive) updates_.showUpdateWindowIfAvailable();
        });
    })));
    cancellables.push_back(
        d.observe(keys::earlyBirdUpdates, guarded([this](bool on) {
            const Lifetime::Token alive = lifetime_.token();
            updates_.earlyBirdChanged(on, [this, alive] {
                if (alive) setActivationPolicy(ActivationPolicy::regular);
            });
        })));
}

// MARK: - Settings reactions

void AppState::launchAtLoginChanged(bool registered) {
    LoginItems* items = ctx_.platform().loginItems();
    if (!items) {
        logger_.error("Cannot %{public}s the login item: this system has no login items",
                      registered ? "register" : "unregister");
        return;
    }
    std::string error;
    // A failure leaves the setting as the user set it; the next change tries again.
    if (!items->setRegistered(registered, &error))
        logger_.error("Failed to %{public}s the login item: %{public}s", registered ? "register" : "unregister",
                      error.empty() ? std::string("unknown error") : error);
}

void AppState::swipeToDismissChanged(bool on) {
    if (on) return;
    Notch& notch = notch_;
    if (notch.hasLiveActivity.get() || notch.preferredLiveActivity() == L::none) return;
    const L wanted = notch.firstWantedLiveActivity();
    if (wanted != L::none) notch.setLiveActivity(true, wanted, false, {}, kActivityDuration);
}

void AppState::handBackFromFocus() {
    Notch& notch = notch_;
    // Another activity (the lock's, say) keeps its place: only the Focus one is handed back.
    if (notch.hasLiveActivity.get() && notch.liveActivity.get() != L::isFocus) return;
    if (wants(sources_, L::isCalendar))
        notch.setLiveActivity(true, L::isCalendar, true, {}, kActivityDuration);
    else if (wants(sources_, L::isPlaying))
        notch.setLiveActivity(true, L::isPlaying, true, {}, kActivityDuration);
    else if (notch.hasLiveActivity.get())
        notch.setLiveActivity(false, L::none, false, {}, kActivityDuration);
}

void AppState::enableFocusChanged(bool on) {
    if (on) {
        // The focus source restarts its tracking itself; the activity follows on the next turn.
        const Lifetime::Token weak = lifetime_.token();
        ctx_.main().post([this, weak] {
            if (weak && wants(sources_, L::isFocus))
                notch_.setLiveActivity(true, L::isFocus, false, {}, kActivityDuration);
        });
        return;
    }
    focus_.stopTracking();
    handBackFromFocus();
}

void AppState::displayWhileActiveChanged(bool on) {
    Notch& notch = notch_;
    if (on) {
        if (wants(sources_, L::isFocus)) notch.setLiveActivity(true, L::isFocus, false, {}, kActivityDuration);
        return;
    }
    if (notch.hasLiveActivity.get() && notch.liveActivity.get() == L::isFocus) handBackFromFocus();
}

void AppState::enableNowPlayingChanged(bool on) {
    Notch& notch = notch_;
    if (on) {
        if (wants(sources_, L::isPlaying)) notch.setLiveActivity(true, L::isPlaying, false, {}, kActivityDuration);
        return;
    }
    if (notch.hasLiveActivity.get() && notch.liveActivity.get() == L::isPlaying)
        notch.setLiveActivity(false, L::none, false, {}, kActivityDuration);
}

void AppState::reevaluateFocusActivity() {
    Notch& notch = notch_;
    const bool shows = notch.hasLiveActivity.get() && notch.liveActivity.get() == L::isFocus;
    const bool wanted = wants(sources_, L::isFocus);
    if (wanted && !shows)
        notch.setLiveActivity(true, L::isFocus, false, {}, kActivityDuration);
    else if (!wanted && shows)
        handBackFromFocus();
}

// MARK: - Activation, windows, status item

void AppState::setActivationPolicy(ActivationPolicy policy) {
    activationPolicy.set(policy);
    if (shell_) shell_->setActivationPolicy(policy);
}

void AppState::setStatusItemVisible(bool visible) {
    isStatusItemVisible.set(visible);
    if (shell_) shell_->setStatusItemVisible(visible);
}

void AppState::setWindowOpen(const std::string& name, bool open) {
    std::vector<std::string> names = windows.get();
    auto it = std::lower_bound(names.begin(), names.end(), name);
    const bool present = it != names.end() && *it == name;
    if (open == present) return;
    if (open)
        names.insert(it, name);
    else
        names.erase(it);
    windows.set(std::move(names));
    if (!open) {
        if (auto page = pageForWindow(name)) std::erase(openPages_, *page);
    }
}

bool AppState::isWindowOpen(const std::string& name) const {
    const auto& names = windows.get();
    return std::binary_search(names.begin(), names.end(), name);
}

void AppState::openWindow(const std::string& name) {
    if (name == kUpdate) {
        updates_.showUpdateWindow();
        return;
    }
    if (shell_ && !shell_->openWindow(name)) {
        logger_.error("No %{public}s window in this program", name);
        return;
    }
    setWindowOpen(name, true);
}

void AppState::closeWindow(const std::string& name) {
    if (!isWindowOpen(name)) return;
    if (name == kUpdate) {
        updates_.closeUpdateWindow();
        return;
    }
    if (shell_) shell_->closeWindow(name);
    setWindowOpen(name, false);
}

void AppState::windowDidClose(const std::string& name) {
    if (name == kUpdate) {
        // The controller's own state follows the window the user closed.
        if (updates_.isWindowOpen()) updates_.closeUpdateWindow();
    } else {
        setWindowOpen(name, false);
    }
    if (windows.get().empty()) lastWindowClosed();
}

void AppState::reopen() {
    if (activationPolicy.get() != ActivationPolicy::regular) openSettings();
}

void AppState::lastWindowClosed() {
    // Whatever is still open goes with it; the application keeps running in the status item.
    for (const std::string& name : std::vector<std::string>(windows.get())) closeWindow(name);
    setActivationPolicy(ActivationPolicy::accessory);
}

void AppState::terminate() {
    if (terminated_) return;
    terminated_ = true;
    logger_.info("Terminating");
    osdUI_.applicationWillTerminate();
    if (shell_) shell_->terminate();
}

// MARK: - Permission pages

void AppState::showPage(PermissionPage page) {
    const std::string name = windowName(page);
    openWindow(name);
    if (!isWindowOpen(name)) {
        // A program without the page could never leave the first launch: it starts without it.
        if (defaults_.get(keys::isFirstLaunch)) {
            logger_.info("Onboarding is skipped: this program cannot show its pages");
            finishFirstLaunch();
        }
        return;
    }
    // The frontmost page is the last one shown.
    std::erase(openPages_, page);
    openPages_.push_back(page);
}

bool AppState::continueOnboarding() {
    if (openPages_.empty()) return false;
    continuePage(openPages_.back());
    return true;
}

void AppState::continuePage(PermissionPage page) {
    runPageContinue(page);
    // A page gives way to the next one, which opens first: the application never passes through
    // "no window open" (which would end its regular activation) in the middle of the chain.
    const auto next = nextPage(page);
    if (next) showPage(*next);
    closeWindow(windowName(page));
    if (!next) finishFirstLaunch();
}

void AppState::runPageContinue(PermissionPage page) {
    PermissionHelper& p = *permissions_;
    switch (page) {
        case PermissionPage::music:
            if (p.isApplicationInstalled(PermissionHelper::kSpotify))
                p.requestAutomationPermission(PermissionHelper::kSpotify);
            else if (p.isApplicationInstalled(PermissionHelper::kMusic))
                p.requestAutomationPermission(PermissionHelper::kMusic);
            break;
        case PermissionPage::browser: {
            const auto browser = p.defaultBrowserBundleIdentifier();
            if (browser && (*browser == PermissionHelper::kSafari || *browser == PermissionHelper::kChrome) &&
                p.isApplicationInstalled(*browser))
                p.requestAutomationPermission(*browser);
            break;
        }
        case PermissionPage::bluetooth:
            // The accessory source follows the answer (its authorization status).
            defaults_.set(keys::hasPromptedBluetoothPermission, true);
            if (Bluetooth* bluetooth = ctx_.platform().bluetooth()) bluetooth->requestAuthorization();
            break;
        case PermissionPage::calendar:
            calendar_.requestAccess([](bool) {});
            break;
        case PermissionPage::onboarding: break;
    }
}

void AppState::finishFirstLaunch() {
    defaults_.set(keys::isFirstLaunch, false);
    setActivationPolicy(ActivationPolicy::accessory);
    notch_.enable();
}

// MARK: - Banners

bool AppState::bannerNeeded(PermissionBanner which) const {
    switch (which) {
        case PermissionBanner::calendar:
            return calendar_.authorizationStatus.get() != CalendarAuthorization::fullAccess;
        case PermissionBanner::location: return !allowsLocation(weather_.authorizationStatus.get());
        case PermissionBanner::bluetooth:
            return connectivity_.authorizationStatus.get() != BluetoothAuthorization::allowedAlways;
    }
    return false;
}

BannerContent AppState::banner(PermissionBanner which) const {
    const Defaults& d = defaults_;
    bool prompted = false;
    switch (which) {
        case PermissionBanner::calendar: prompted = d.get(keys::hasPromptedCalendarPermission); break;
        case PermissionBanner::location: prompted = d.get(keys::hasPromptedLocationPermission); break;
        case PermissionBanner::bluetooth:
            prompted = d.get(keys::hasPromptedBluetoothPermission) ||
                       connectivity_.authorizationStatus.get() != BluetoothAuthorization::notDetermined;
            break;
    }
    return bannerContent(which, appName(), prompted);
}

void AppState::bannerAction(PermissionBanner which) {
    const BannerContent b = banner(which);
    switch (b.action) {
        case BannerAction::none: return;
        case BannerAction::openSettings:
            if (UrlOpener* opener = ctx_.platform().urlOpener(); opener && !opener->openURL(b.settingsURL))
                logger_.error("Could not open %{public}s", b.settingsURL);
            return;
        case BannerAction::askPermission:
            if (which == PermissionBanner::calendar)
                calendar_.requestAccess([](bool) {});
            else if (which == PermissionBanner::location) {
                // The weather source records "hasPromptedLocationPermission" when the answer comes.
                if (Location* location = ctx_.platform().location()) location->requestWhenInUseAuthorization();
            }
            return;
    }
}

}  // namespace halvyn
