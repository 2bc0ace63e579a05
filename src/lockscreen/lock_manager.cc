#include "lockscreen/lock_manager.h"

#include "hud/sound_manager.h"
#include "lockscreen/lock_seams.h"
#include "notch/gui_manager.h"
#include "platform/platform.h"
#include "platform/services.h"
#include "platform/workspace.h"
#include "settings/defaults.h"

namespace halvyn {

LockManager::LockManager(Services& ctx, Defaults& defaults, Notch& notch, NotchSources& sources, SoundManager& sounds,
                         GUIManager& gui, LockedScreenParts parts)
    : ctx_(ctx), defaults_(defaults), sources_(sources), sounds_(sounds), gui_(gui), parts_(std::move(parts)),
      notch(notch),
      lockDebounce(ctx.main(), "lockDebounce"),
      unlockDebounce(ctx.main(), "unlockDebounce"),
      wakeDebounce_(ctx.main(), "hasRecentlyWokeFromSleep") {
    properties_.add("isLocked", isLocked);
    properties_.add("hasScreensaver", hasScreensaver);
    properties_.add("hasRecentlyWokeFromSleep", hasRecentlyWokeFromSleep);

    sounds_.prepareAlert("lock", "caf");
    sounds_.prepareAlert("unlock", "caf");

    if (Workspace* ws = ctx.platform().workspace()) {
        const Lifetime::Token weak = lifetime_.token();
        auto on = [this, weak](void (LockManager::*handler)()) {
            return [this, weak, handler] {
                if (weak) (this->*handler)();
            };
        };
        cancellables.push_back(ws->observe(WorkspaceEvent::screensaverStarted,
                                           [this, weak] { if (weak) hasScreensaver.set(true); }));
        cancellables.push_back(ws->observe(WorkspaceEvent::screensaverStopped,
                                           [this, weak] { if (weak) hasScreensaver.set(false); }));
        cancellables.push_back(ws->observe(WorkspaceEvent::screenLocked, on(&LockManager::screenLocked)));
        cancellables.push_back(ws->observe(WorkspaceEvent::screenUnlocked, on(&LockManager::screenUnlocked)));
        cancellables.push_back(ws->observe(WorkspaceEvent::didWake, on(&LockManager::didWake)));
    }

    auto& registry = sources_;
    cancellables.push_back(registry.addLiveActivitySource(Notch::LiveActivity::isLocked, *this));
    cancellables.push_back(registry.setLockState(*this));
}

LockManager::~LockManager() = default;

bool LockManager::wantsLiveActivity() const {
    return defaults_.get(keys::enableLockScreen) && isLocked.get() && !hasScreensaver.get();
}

void LockManager::didWake() {
    hasRecentlyWokeFromSleep.set(true);
    wakeDebounce_.schedule(0.5, [this] { hasRecentlyWokeFromSleep.set(false); });
}

void LockManager::clearNotch() {
    if (notch.isExpanded.get()) notch.setExpanded(false, true);
    notch.setLiveActivity(false, Notch::LiveActivity::none, false, nullptr, 0.35);
    notch.setNotification(false, Notch::Notification::none, 0.35, 0);
}

void LockManager::screenLocked() {
    const Defaults& d = defaults_;
    if (isLocked.get() || !d.get(keys::enableLockScreen) || hasScreensaver.get()) {
        clearNotch();
        isLocked.set(true);
        return;
    }
    lockDebounce.cancel();
    unlockDebounce.cancel();
    isLocked.set(true);

    if (d.get(keys::allowCalendarWidgetWhenLocked)) {
        const Lifetime::Token weak = lifetime_.token();
        ctx_.main().post([this, weak] {
            if (!weak) return;
            if (auto* calendar = parts_.calendar.get()) calendar->refreshEvents();
        });
    }
    if (d.get(keys::allowWeatherWidgetWhenLocked)) {
        if (auto* weather = parts_.weather.get()) weather->startUpdating();
    }
    if (auto* panel = parts_.panel.get()) panel->show();

    // A lock that comes with waking from sleep does not chime.
    if (d.get(keys::playSoundOnLock) && !hasRecentlyWokeFromSleep.get()) sounds_.playAlert("lock");

    const Lifetime::Token weak = lifetime_.token();
    lockDebounce.schedule(0.2, [this, weak] {
        if (notch.isExpanded.get()) notch.setExpanded(false, true);
        ctx_.main().post([this, weak] {
            if (weak) notch.setLiveActivity(true, Notch::LiveActivity::isLocked, false, nullptr, 0.35);
        });
    });
}

void LockManager::screenUnlocked() {
    const Defaults& d = defaults_;
    if (!isLocked.get() || !d.get(keys::enableLockScreen) || hasScreensaver.get()) {
        // A panel shown before the screensaver started (or before the lock screen was turned off)
        // must not stay over the unlocked desktop, nor keep it awake.
        if (auto* panel = parts_.panel.get()) panel->hide();
        isLocked.set(false);
        const auto kind = notch.firstWantedLiveActivity();
        if (kind != Notch::LiveActivity::none) notch.setLiveActivity(true, kind, false, nullptr, 0.35);
        return;
    }
    if (auto* panel = parts_.panel.get()) panel->hide();

    // The system brings its own volume and brightness display back across the lock screen.
    if (d.get(keys::enableBrightness) || d.get(keys::enableVolume)) gui_.reapplySystemHUDSuppression();

    lockDebounce.cancel();
    unlockDebounce.cancel();
    isLocked.set(false, Animation::spring(0.35, 0.3));
    if (auto* weather = parts_.weather.get()) weather->stopUpdating();

    if (d.get(keys::playSoundOnUnlock)) sounds_.playAlert("unlock");

    unlockDebounce.schedule(0.475, [this] {
        const auto kind = notch.firstWantedLiveActivity();
        if (kind != Notch::LiveActivity::none)
            notch.setLiveActivity(true, kind, true, nullptr, 0.35);
        else
            notch.setLiveActivity(false, Notch::LiveActivity::none, false, nullptr, 0.35);
    });
}

}  // namespace halvyn
