#include "notch/gui_manager.h"

#include <string>

#include "notch/notch_sources.h"
#include "platform/darwin_notify.h"
#include "platform/platform.h"
#include "platform/services.h"
#include "platform/system_info.h"

namespace halvyn {

namespace {
constexpr const char* kDashboardControls = "com.apple.GameOverlayUI.dashboardControlsVisibilityChanged";
}  // namespace

int GUIManager::runningMajorVersion() const {
    auto* info = ctx_.platform().systemInfo();
    return info ? info->version().major : 0;
}

void GUIManager::suppressSystemHUD(bool release) {
    auto* notify = ctx_.platform().darwinNotify();
    if (!notify) return;
    // Failures of these calls are ignored: the system display simply stays as it is.
    auto token = notify->registerCheck(kDashboardControls);
    Logger log = ctx_.logger("GUIManager");
    auto dispatch = notify->registerDispatch(kDashboardControls,
                                             std::string(Services::kSubsystem) + ".dashboardControlsVisibility",
                                             [log](NotifyToken t) { log.info("Token changed: %d", t); });
    if (dispatch) {
        if (token) notify->cancel(*token);
        token = dispatch;
    }
    if (!token) return;
    notify->setState(*token, release ? 0 : 1);
    notify->cancel(*token);
}

void GUIManager::setSystemHUDSuppressed(bool suppressed) {
    if (runningMajorVersion() >= 26) {
        suppressSystemHUD(!suppressed);
        return;
    }
    if (auto* hud = displayProcess_.get()) {
        if (suppressed)
            hud->suppressSystemHUD();
        else
            hud->restoreSystemHUD();
    }
}

void GUIManager::reapplySystemHUDSuppression() {
    const int major = runningMajorVersion();
    if (major < 15 || major >= 26) return;
    if (auto* hud = displayProcess_.get()) hud->suspendDisplayProcess();
}

}  // namespace halvyn
