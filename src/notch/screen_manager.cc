#include "notch/screen_manager.h"

#include "notch/gui_manager.h"
#include "notch/notch.h"
#include "platform/platform.h"
#include "platform/services.h"
#include "platform/window_server.h"
#include "platform/workspace.h"
#include "settings/defaults.h"
#include "settings/keys.h"

namespace halvyn {

ScreenManager::ScreenManager(Services& ctx, Defaults& defaults, Notch& notch, GUIManager& gui)
    : ctx_(ctx), gui_(gui), notch(notch), defaults_(defaults), sleepWakeDebounce(ctx.main(), "sleepWakeDebounce") {
    isFullscreen = activeSpaceIsFullscreen();
    if (auto* ws = ctx.platform().workspace()) {
        cancellables.push_back(ws->observe(WorkspaceEvent::screenLocked, [this] { screenLocked(); }));
        cancellables.push_back(ws->observe(WorkspaceEvent::screenUnlocked, [this] { screenUnlocked(); }));
        cancellables.push_back(ws->observe(WorkspaceEvent::didWake, [this] { woke(); }));
        cancellables.push_back(ws->observe(WorkspaceEvent::screensDidWake, [this] { woke(); }));
        cancellables.push_back(ws->observe(WorkspaceEvent::willSleep, [this] { sleptOrWoke(); }));
        cancellables.push_back(ws->observe(WorkspaceEvent::screensDidSleep, [this] { sleptOrWoke(); }));
        cancellables.push_back(ws->observe(WorkspaceEvent::activeSpaceDidChange, [this] { activeSpaceChanged(); }));
    }
    properties_.add("hasRecentlySleptOrWake", hasRecentlySleptOrWake);
    properties_.add("isFullscreen", isFullscreen);
}

bool ScreenManager::activeSpaceIsFullscreen() const {
    auto* server = ctx_.platform().windowServer();
    return server && server->activeSpaceType() > 1;
}

bool ScreenManager::suppressesSystemHUD() const {
    const auto& d = defaults_;
    return d.get(keys::enableBrightness) || d.get(keys::enableVolume);
}

void ScreenManager::screenLocked() {
    // The notch must be there on the lock screen even when a fullscreen space took it away.
    if (defaults_.get(keys::disableWhileInFullscreen)) notch.enable();
}

void ScreenManager::screenUnlocked() {
    if (defaults_.get(keys::disableWhileInFullscreen) && isFullscreen) notch.disable(false);
}

void ScreenManager::sleptOrWoke() {
    hasRecentlySleptOrWake = true;
    sleepWakeDebounce.schedule(0.5, [this] { hasRecentlySleptOrWake = false; });
}

void ScreenManager::woke() {
    if (suppressesSystemHUD()) gui_.reapplySystemHUDSuppression();
    sleptOrWoke();
}

void ScreenManager::activeSpaceChanged() {
    const auto& d = defaults_;
    const bool hideWhileInFullscreen = d.get(keys::hideWhileInFullscreen);
    const bool hideCalendarWhileInFullscreen = d.get(keys::hideCalendarWhileInFullscreen);
    const bool disableWhileInFullscreen = d.get(keys::disableWhileInFullscreen);
    if (!hideWhileInFullscreen && !hideCalendarWhileInFullscreen && !disableWhileInFullscreen) return;

    isFullscreen = activeSpaceIsFullscreen();
    const bool fullscreen = isFullscreen;

    if (disableWhileInFullscreen) {
        if (fullscreen) {
            notch.disable(false);
        } else {
            notch.enable();
            const auto kind = notch.firstWantedLiveActivity();
            if (kind != Notch::LiveActivity::none) notch.setLiveActivity(true, kind, true, {}, 0.35);
        }
        return;
    }

    if (suppressesSystemHUD()) gui_.reapplySystemHUDSuppression();
    if (notch.hasNotification) return;
    const auto current = notch.liveActivity.get();
    if (hideWhileInFullscreen && fullscreen && current == Notch::LiveActivity::isPlaying) {
        notch.setLiveActivity(false, Notch::LiveActivity::none, false, {}, 0.35);
    } else if (hideCalendarWhileInFullscreen && fullscreen && current == Notch::LiveActivity::isCalendar) {
        notch.setLiveActivity(false, Notch::LiveActivity::none, false, {}, 0.35);
    } else if (!fullscreen) {
        const auto kind = notch.firstWantedLiveActivity();
        if (kind != Notch::LiveActivity::none) notch.setLiveActivity(true, kind, false, {}, 0.35);
    }
}

}  // namespace halvyn
