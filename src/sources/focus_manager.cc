#include "sources/focus_manager.h"

#include "lockscreen/lock_manager.h"
#include "platform/focus_status.h"
#include "platform/platform.h"
#include "platform/services.h"
#include "settings/defaults.h"

namespace halvyn {

namespace {

using N = Notch::Notification;
using L = Notch::LiveActivity;

FocusMode builtIn(const char* id, const char* symbol, const char* tint, const char* key) {
    return FocusMode{id, symbol, tint, std::nullopt, std::string(key)};
}

}  // namespace

namespace focus {

const std::map<std::string, FocusMode, std::less<>>& builtInModes() {
    static const std::map<std::string, FocusMode, std::less<>> modes = [] {
        std::map<std::string, FocusMode, std::less<>> m;
        for (auto& mode : {
                 builtIn("com.apple.donotdisturb.mode.default", "moon.fill", "IndigoColor", "focus.donotdisturb"),
                 builtIn("com.apple.focus.personal-time", "person.fill", "PurpleColor", "focus.personal"),
                 builtIn("com.apple.focus.work", "person.lanyardcard.fill", "TealColor", "focus.work"),
                 builtIn("com.apple.sleep.sleep-mode", "bed.double.fill", "TealColor", "focus.sleep"),
                 builtIn("com.apple.donotdisturb.mode.driving", "car.fill", "IndigoColor", "focus.driving"),
                 builtIn("com.apple.donotdisturb.mode.workout", "figure.run", "GreenColor", "focus.fitness"),
                 builtIn("com.apple.focus.reading", "book.closed.fill", "ReddishOrangeColor", "focus.reading"),
                 builtIn("com.apple.focus.mindfulness", "apple.mindfulness", "TealColor", "focus.mindfulness"),
                 builtIn("com.apple.focus.gaming", "rocket.fill", "SkyColor", "focus.gaming"),
                 builtIn("com.apple.focus.reduce-interruptions", "apple.intelligence", "PurpleColor",
                         "focus.reduce-interruptions"),
             })
            m.emplace(mode.identifier, mode);
        return m;
    }();
    return modes;
}

std::optional<std::string> localizedName(std::string_view key) {
    static const std::pair<std::string_view, const char*> table[] = {
        {"focus.donotdisturb", "Do Not Disturb"}, {"focus.personal", "Personal"},
        {"focus.work", "Work"},                   {"focus.sleep", "Sleep"},
        {"focus.driving", "Driving"},             {"focus.fitness", "Fitness"},
        {"focus.reading", "Reading"},             {"focus.mindfulness", "Mindfulness"},
        {"focus.gaming", "Gaming"},               {"focus.reduce-interruptions", "Reduce Interruptions"},
    };
    for (auto& [k, text] : table)
        if (k == key) return std::string(text);
    return std::nullopt;
}

}  // namespace focus

std::string FocusMode::displayName() const {
    if (nameKey) {
        if (auto text = focus::localizedName(*nameKey)) return *text;
        return *nameKey;
    }
    return rawName.value_or("");
}

Value toValue(const FocusMode& m) {
    return Value(Value::Object{{"identifier", Value(m.identifier)},
                               {"symbol", Value(m.symbol)},
                               {"tintColor", Value(m.tintColor)},
                               {"rawName", m.rawName ? Value(*m.rawName) : Value()},
                               {"nameKey", m.nameKey ? Value(*m.nameKey) : Value()}});
}

FocusManager::FocusManager(Services& ctx, Defaults& defaults, Notch& notch, NotchSources& sources, LockManager& lock)
    : ctx_(ctx), defaults_(defaults), notch_(notch), sources_(sources), lock_(lock) {
    properties_.add("isFocus", isFocus);
    properties_.add("focusMode", focusMode);
    properties_.add("hasBeenFocused", hasBeenFocused);

    auto& registry = sources_;
    cancellables_.push_back(registry.addNotificationSource(N::isFocus, *this));
    cancellables_.push_back(registry.addLiveActivitySource(L::isFocus, *this));

    const Lifetime::Token weak = lifetime_.token();
    cancellables_.push_back(defaults_.observe(keys::enableFocus, [this, weak](bool, bool on) {
        if (weak && on) startFollowing();
    }));
    startFollowing();
}

FocusManager::~FocusManager() = default;

bool FocusManager::lockedOrScreensaver() const {
    LockManager& lock = lock_;
    return lock.isLocked.get() || lock.hasScreensaver.get();
}

bool FocusManager::canShowFocusActivity() const {
    const Defaults& d = defaults_;
    return d.get(keys::enableFocus) && d.get(keys::displayWhileActive) && !lockedOrScreensaver();
}

bool FocusManager::wantsLiveActivity() const { return canShowFocusActivity() && isFocus.get(); }

bool FocusManager::allowsNotification(Notch::Notification) const {
    const Defaults& d = defaults_;
    if (!d.get(keys::enableFocus)) return false;
    return !lock_.isLocked.get() || d.get(keys::allowFocusWhenLocked);
}

void FocusManager::startFollowing() {
    following_.reset();
    FocusStatus* status = ctx_.platform().focusStatus();
    if (!status) return;
    const Lifetime::Token weak = lifetime_.token();
    auto say = [this](const std::string& said) {
        if (!said.empty()) ctx_.logger("FocusManager").info("%{public}s", said);
    };
    following_ = status->follow(FocusReports{
        [this, weak, say](const ReportedFocusMode& mode, const std::string& said) {
            if (!weak) return;
            say(said);
            modeActive(mode);
        },
        [this, weak, say](bool on, const std::string& said) {
            if (!weak) return;
            say(said);
            switched(on);
        },
        [this, weak](const std::optional<std::string>& error) {
            if (!weak) return;
            if (error) ctx_.logger("FocusManager").error("%{public}s", *error);
            following_.reset();
        }});
}

void FocusManager::stopTracking() {
    following_.reset();
    focusMode.set(std::nullopt);
    isFocus.set(false);
}

void FocusManager::setMode(FocusMode mode) {
    if (isFocus.get() && focusMode.get() && focusMode.get()->identifier == mode.identifier) return;
    focusMode.set(std::move(mode), Animation::critical(0.3));
    postChange();
}

void FocusManager::modeActive(const ReportedFocusMode& mode) {
    const Animation spring = Animation::critical(0.3);
    if (!hasBeenFocused.get()) {
        hasBeenFocused.set(true);
        isFocus.set(true, spring);
    }
    if (mode.identifier) {
        const auto& modes = focus::builtInModes();
        if (auto it = modes.find(*mode.identifier); it != modes.end()) {
            setMode(it->second);
            return;
        }
    }
    if (mode.identifier && mode.symbol && mode.tint && mode.name) {
        setMode(FocusMode{*mode.identifier, *mode.symbol, *mode.tint, *mode.name, std::nullopt});
        return;
    }
    focusMode.set(std::nullopt, spring);
}

void FocusManager::switched(bool enabled) {
    if (enabled && !hasBeenFocused.get()) return;  // the mode follows
    if (enabled == isFocus.get()) return;
    isFocus.set(enabled, Animation::critical(0.3));
    postChange();
}

void FocusManager::postChange() {
    const Defaults& d = defaults_;
    if (!d.get(keys::enableFocus)) return;
    Notch& notch = notch_;
    const Lifetime::Token weak = lifetime_.token();
    const bool activity = canShowFocusActivity();
    if (isFocus.get()) {
        if (!activity) {
            ctx_.main().post([this, weak] {
                if (!weak) return;
                Notch& n = notch_;
                if (n.notificationIntent.get() == N::isFocus) return;
                n.setNotification(true, N::isFocus, 0.35, defaults_.get(keys::focusDuration));
            });
            return;
        }
        if (notch.isExpanded.get()) notch.setExpanded(false, false);
        ctx_.main().post([this, weak] {
            if (weak) notch_.setLiveActivity(true, L::isFocus, false, {}, 0.35);
        });
        return;
    }
    if (!activity) {
        notch.setNotification(true, N::isFocus, 0.35, d.get(keys::focusDuration));
        return;
    }
    auto& sources = sources_;
    auto wants = [&sources](L kind) {
        const LiveActivitySource* s = sources.liveActivitySource(kind);
        return s && s->wantsLiveActivity();
    };
    if (wants(L::isCalendar))
        notch.setLiveActivity(true, L::isCalendar, true, {}, 0.35);
    else if (wants(L::isPlaying))
        notch.setLiveActivity(true, L::isPlaying, true, {}, 0.35);
    else
        notch.setLiveActivity(false, L::none, false, {}, 0.35);
}

}  // namespace halvyn
