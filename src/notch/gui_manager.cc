#include "notch/gui_manager.h"

#include <string>

#include "app/context.h"
#include "notch/notch_sources.h"
#include "platform/darwin_notify.h"
#include "platform/platform.h"
#include "platform/system_info.h"

namespace halvyn {

namespace {
constexpr const char* kDashboardControls = "com.apple.GameOverlayUI.dashboardControlsVisibilityChanged";

SystemVersion runningVersion(Context& ctx) {
    auto* info = ctx.platform().systemInfo();
    return info ? info->version() : SystemVersion{};
}
}  // namespace

void GUIManager::suppressSystemHUD(bool release) {
    auto* notify = ctx_.platform().darwinNotify();
    if (!notify) return;
    // Failures of these calls are ignored: the system display simply stays as it is.
    auto token = notify->registerCheck(kDashboardControls);
    Logger log = ctx_.logger("GUIManager");
    auto dispatch = notify->registerDispatch(kDashboardControls, std::string(Context::kSubsystem) + ".dashboardControlsVisibility",
                                             [log](NotifyToken t) { log.info("Token changed: %d", t); });
    if (dispatch) {
        if (token) notify->cancel(*token);
        token = dispatch;
    }
    if (!token) return;
    notify->setState(*token, release ? 0 : 1);
    notify->cancel(*token);
}

void setSystemHUDSuppressed(Context& ctx, bool suppressed) {
    if (runningVersion(ctx).major >= 26) {
        ctx.guiManager().suppressSystemHUD(!suppressed);
        return;
    }
    if (auto* hud = ctx.systemHUD()) {
        if (suppressed)
            hud->suppressSystemHUD();
        else
            hud->restoreSystemHUD();
    }
}

void reapplySystemHUDSuppression(Context& ctx) {
    const int major = runningVersion(ctx).major;
    if (major < 15 || major >= 26) return;
    if (auto* hud = ctx.systemHUD()) hud->suspendDisplayProcess();
}

}  // namespace halvyn
