#include "lockscreen/lock_screen.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "calendar/calendar_manager.h"
#include "lockscreen/lock_manager.h"
#include "nowplaying/music_manager.h"
#include "platform/platform.h"
#include "platform/processes.h"
#include "platform/services.h"
#include "settings/defaults.h"
#include "settings/property_list.h"
#include "weather/weather_manager.h"

namespace halvyn {

// MARK: - Panel

PanelConfig LockScreenPanel::config() {
    PanelConfig c;
    c.owner = "LockScreen";
    c.releasedWhenClosed = true;
    c.contentRect = Rect{};
    return c;
}

Rect LockScreenPanel::frameFor(const Screen& screen) {
    return {screen.frame.midX() - kWidth / 2, screen.frame.y, kWidth, screen.frame.height};
}

// MARK: - Login-window preferences

namespace {

// The text of a preference value as the preferences tool prints it: numbers and Booleans as
// numbers, text as it is; collections and data have no numeric text.
std::optional<double> numericText(const Value& v) {
    if (v.isBool()) return v.asBool() ? 1.0 : 0.0;
    if (v.isNumber()) return v.asNumber();
    if (!v.isString()) return std::nullopt;
    // Only plain decimal numbers: "0", "-0", "0.0"; no spaces, hex or exponents.
    const std::string& s = v.asString();
    std::size_t i = (!s.empty() && (s[0] == '-' || s[0] == '+')) ? 1 : 0;
    const std::size_t digits = i;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i;
    if (i == digits) return std::nullopt;
    if (i < s.size() && s[i] == '.') {
        const std::size_t fraction = ++i;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i;
        if (i == fraction) return std::nullopt;
    }
    if (i != s.size()) return std::nullopt;
    return std::strtod(s.c_str(), nullptr);
}

bool isNumberZero(const Value* v) {
    if (!v) return false;
    const auto n = numericText(*v);
    return n && *n == 0;
}

bool isBlank(const std::string& s) {
    return std::all_of(s.begin(), s.end(), [](char c) {
        return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
    });
}

}  // namespace

std::optional<LoginWindowFlags> parseLoginWindowPreferences(std::string_view text, std::string* error) {
    std::string why;
    auto doc = parsePropertyList(text, &why);
    if (!doc || !doc->isObject()) {
        if (error) *error = doc ? "the property list is not a dictionary" : why;
        return std::nullopt;
    }
    LoginWindowFlags f;
    const Value* clock = doc->find("UsesLargeDateTime");
    f.hasClock = !isNumberZero(clock);
    if (const Value* message = doc->find("LoginwindowText"))
        f.hasMessage = message->isString() ? !isBlank(message->asString()) : !message->isNull();
    const Value* avatar = doc->find("HideUserAvatarAndName");
    f.hasAvatar = !avatar || isNumberZero(avatar);
    if (const Value* accounts = doc->find("AccountInfo"); accounts && accounts->isObject())
        if (const Value* logins = accounts->find("FirstLogins"); logins && logins->isObject())
            f.hasMultipleAccounts = logins->asObject().size() > 1;
    return f;
}

// MARK: - LockScreen

LockScreen::LockScreen(Services& ctx, Defaults& defaults, LockManager& lock, CalendarManager& calendar,
                       WeatherManager& weather, MusicManager& music)
    : ctx_(ctx), defaults_(defaults), lock_(lock), calendar_(calendar), weather_(weather), music_(music),
      space(ctx.platform().overlayPlacement(), kSpaceLevel), hideDebounce(ctx.main(), "hideDebounce") {
    properties_.add("isVisible", isVisible);
    properties_.add("isAwake", isAwake);
    properties_.add("hasClock", hasClock);
    properties_.add("hasMessage", hasMessage);
    properties_.add("hasAvatar", hasAvatar);
    properties_.add("hasMultipleAccounts", hasMultipleAccounts);
    properties_.add("topInset", topInset);
    properties_.add("bottomInset", bottomInset);
    properties_.add("widgets", widgets);

    const Lifetime::Token weak = lifetime_.token();
    auto relayout = [this, weak] {
        if (weak) updateLayout();
    };
    Defaults& d = defaults_;
    cancellables.push_back(d.observe(keys::lockScreenWidgetOrder, [relayout](auto&, auto&) { relayout(); }));
    for (const Key<bool>* key : {&keys::allowBatteryWidgetWhenLocked, &keys::allowConnectivityWidgetWhenLocked,
                                 &keys::allowFocusWidgetWhenLocked, &keys::allowCalendarWidgetWhenLocked,
                                 &keys::allowWeatherWidgetWhenLocked})
        cancellables.push_back(d.observe(*key, [relayout](const bool&, const bool&) { relayout(); }));
    if (Screens* screens = ctx.platform().screens()) {
        cancellables.push_back(screens->observeParameters([this, weak] {
            if (!weak) return;
            placePanel();
            updateLayout();
        }));
    }
    observeAuthorizations();
    updateLayout();
}

LockScreen::~LockScreen() {
    releaseAssertions();
    if (windowController) {
        space.remove(windowController->id());
        windowController->close();
    }
}

std::optional<Screen> LockScreen::screen() const {
    const Screens* port = ctx_.platform().screens();
    if (!port) return std::nullopt;
    for (const Screen& s : port->screens())
        if (s.displayNumber && s.mainDisplay) return s;
    return std::nullopt;
}

void LockScreen::show() {
    const Defaults& d = defaults_;
    const LockManager& lock = lock_;
    const bool anyWidget = d.get(keys::allowBatteryWidgetWhenLocked) || d.get(keys::allowConnectivityWidgetWhenLocked) ||
                           d.get(keys::allowFocusWidgetWhenLocked) || d.get(keys::allowNowPlayingWidgetWhenLocked) ||
                           d.get(keys::allowCalendarWidgetWhenLocked) || d.get(keys::allowWeatherWidgetWhenLocked);
    if (isVisible.get() || !lock.isLocked.get() || lock.hasScreensaver.get() || !anyWidget) return;

    hideDebounce.cancel();
    WindowServer* server = ctx_.platform().windowServer();
    // Where the session's locker owns the locked screen there is nothing to lay out around.
    const OverlayPlacement* overlay = ctx_.platform().overlayPlacement();
    const bool coversLockScreen = overlay && overlay->coversLockScreen();
    const Lifetime::Token weak = lifetime_.token();
    if (coversLockScreen)
        ctx_.main().post([this, weak] {
            if (weak) readLoginWindowPreferences();
        });
    isVisible.set(true);

    const auto target = screen();
    if (!target) return;
    observeAuthorizations();
    updateLayout();
    if (!coversLockScreen) {
        // The session's own locker owns the locked screen: no panel, keep-awake only.
        if (!saidNoLayer_) {
            saidNoLayer_ = true;
            ctx_.logger("LockScreen").info("The session's locker owns the locked screen; no panel is laid over it");
        }
    } else if (windowController) {
        // Locked again while the last panel faded out: that panel stays, its close is cancelled.
        placePanel();
    } else {
        windowController = std::make_unique<LockScreenPanel>(server);
        windowController->orderFrontRegardless();
        windowController->setFrame(LockScreenPanel::frameFor(*target));
        space.add(windowController->id());
        setAppeared(true);
    }
    keepAwake("Screen locked");
}

void LockScreen::hide() {
    if (!isVisible.get()) return;
    hideDebounce.cancel();
    isVisible.set(false, Animation::easeOut(kFadeOut));
    releaseAssertions();
    const Lifetime::Token weak = lifetime_.token();
    hideDebounce.schedule(kFadeOut, [this, weak] {
        if (weak) closePanel();
    });
}

void LockScreen::closePanel() {
    if (!windowController) return;
    // The panel goes now, so a lock in the same turn builds a new one that this close leaves alone.
    std::shared_ptr<LockScreenPanel> panel = std::move(windowController);
    setAppeared(false);
    const Lifetime::Token weak = lifetime_.token();
    ctx_.main().post([this, weak, panel] {
        if (!weak) {
            panel->close();
            return;
        }
        space.remove(panel->id());
        panel->close();
    });
}

void LockScreen::placePanel() {
    if (!windowController) return;
    if (const auto target = screen()) windowController->setFrame(LockScreenPanel::frameFor(*target));
}

void LockScreen::setAppeared(bool appeared) {
    if (hasAppeared.get() == appeared) return;
    hasAppeared.set(appeared);
    if (!defaults_.get(keys::allowNowPlayingWidgetWhenLocked)) return;
    MusicManager* music = &music_;
    if (appeared) {
        music->timerStartSignal.emit();
        music->syncControlState(ControlType::shuffle);
        music->syncControlState(ControlType::repeating);
    } else {
        music->timerStopSignal.emit();
    }
}

// MARK: - Login window

void LockScreen::readLoginWindowPreferences() {
    Processes* processes = ctx_.platform().processes();
    if (!processes) {
        applyLoginWindowText(std::nullopt);
        return;
    }
    const Lifetime::Token weak = lifetime_.token();
    MainQueue& main = ctx_.main();
    ctx_.background().post([this, weak, processes, &main] {
        auto text = processes->output(kDefaultsPath, {"read", kLoginWindowDomain});
        main.post([this, weak, text = std::move(text)] {
            if (weak) applyLoginWindowText(text);
        });
    });
}

void LockScreen::applyLoginWindowText(const std::optional<std::string>& text) {
    std::string error = std::string(kDefaultsPath) + " could not be run";
    const auto flags = text ? parseLoginWindowPreferences(*text, &error) : std::nullopt;
    if (!flags) {
        ctx_.logger("LockScreen").error("Failed to parse plist: %{public}s", error);
        return;
    }
    hasClock.set(flags->hasClock);
    hasMessage.set(flags->hasMessage);
    hasAvatar.set(flags->hasAvatar);
    hasMultipleAccounts.set(flags->hasMultipleAccounts);
    updateLayout();
}

// MARK: - Keep awake

void LockScreen::keepAwake(const std::string& reason) {
    const double minutes = defaults_.get(keys::keepAwake);
    if (!(minutes > 0)) return;
    releaseAssertions();
    PowerAssertions* power = ctx_.platform().powerAssertions();
    if (!power) return;
    idleAssertionID = power->create("NoIdleSleepAssertion", reason);
    noDisplayAssertionID = power->create("NoDisplaySleepAssertion", reason);
    preventUserIdleDisplayAssertionID = power->create("PreventUserIdleDisplaySleep", reason);
    if (idleAssertionID == PowerAssertions::kNone && noDisplayAssertionID == PowerAssertions::kNone &&
        preventUserIdleDisplayAssertionID == PowerAssertions::kNone)
        return;
    isAwake.set(true);
    const Lifetime::Token weak = lifetime_.token();
    sleepTask = ctx_.main().postAfter(seconds(minutes * 60), [this, weak] {
        if (weak) releaseAssertions();
    });
}

void LockScreen::releaseAssertions() {
    if (isAwake.get()) {
        if (PowerAssertions* power = ctx_.platform().powerAssertions()) {
            for (auto* id : {&idleAssertionID, &noDisplayAssertionID, &preventUserIdleDisplayAssertionID}) {
                power->release(*id);
                *id = PowerAssertions::kNone;
            }
        }
        isAwake.set(false);
    }
    sleepTask.cancel();
}

// MARK: - Layout

void LockScreen::observeAuthorizations() {
    const Lifetime::Token weak = lifetime_.token();
    auto relayout = [this, weak](const auto&, const Animation*) {
        if (weak) updateLayout();
    };
    if (!calendarAuthorization_.active())
        calendarAuthorization_ = calendar_.authorizationStatus.observe(relayout);
    if (!weatherAuthorization_.active()) weatherAuthorization_ = weather_.authorizationStatus.observe(relayout);
}

void LockScreen::updateLayout() {
    const double height = [&] {
        const auto s = screen();
        return s ? s->frame.height : 0.0;
    }();
    topInset.set(height * (hasClock.get() ? 0.2625 : 0.0875));
    if (hasMessage.get() || hasMultipleAccounts.get())
        bottomInset.set(height * 0.3);
    else
        bottomInset.set(height * (hasAvatar.get() ? 0.225 : 0.1375));

    const Defaults& d = defaults_;
    const CalendarManager* calendar = &calendar_;
    const WeatherManager* weather = &weather_;
    const bool hasRow = d.get(keys::allowBatteryWidgetWhenLocked) || d.get(keys::allowConnectivityWidgetWhenLocked) ||
                        d.get(keys::allowFocusWidgetWhenLocked) ||
                        (d.get(keys::allowCalendarWidgetWhenLocked) && calendar &&
                         calendar->authorizationStatus.get() == CalendarAuthorization::fullAccess) ||
                        (d.get(keys::allowWeatherWidgetWhenLocked) && weather &&
                         allowsLocation(weather->authorizationStatus.get()));
    widgets.set(hasRow ? d.get(keys::lockScreenWidgetOrder) : WidgetOrder{});
}

}  // namespace halvyn
