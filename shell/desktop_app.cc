#include "shell/desktop_app.h"

#include <cstdlib>

#include "app/context.h"
#include "notch/notch.h"
#include "settings/defaults.h"
#include "shell/context_levels.h"
#include "shell/desktop_platform.h"
#include "shell/notch_window.h"
#include "shell/real_time.h"
#include "shell/status_item.h"

namespace halvyn {

std::optional<std::filesystem::path> preferencesPath() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && *xdg && std::filesystem::path(xdg).is_absolute())
        return std::filesystem::path(xdg) / "halvyn" / "preferences.json";
    const char* home = std::getenv("HOME");
    if (home && *home) return std::filesystem::path(home) / ".config" / "halvyn" / "preferences.json";
    return std::nullopt;
}

DesktopApp::DesktopApp(LogSink* log, std::optional<std::filesystem::path> preferences) {
    auto runtime = std::make_unique<RealTime>();
    auto platform = std::make_unique<DesktopPlatform>(runtime->main(), log, preferences);
    platform_ = platform.get();
    ctx_ = std::make_unique<Context>(std::move(runtime), std::move(platform), log);
    // Levels come from the sources; with no audio, brightness or power service on this desktop
    // yet, every reading is absent and no display shows a made-up level.
    levels_ = std::make_unique<ContextLevels>(*ctx_);
    platform_->setPanelFactory([this](const PanelConfig& config) -> std::unique_ptr<QWidget> {
        if (config.owner != "Notch") return nullptr;
        return std::make_unique<NotchWindow>(*ctx_, levels_.get());
    });
}

DesktopApp::~DesktopApp() {
    status_.reset();
    enabledObserver_.reset();
}

NotchWindow* DesktopApp::notchWindow() const {
    const Notch& n = ctx_->notch();
    if (!n.panel()) return nullptr;
    return dynamic_cast<NotchWindow*>(platform_->qtWindows().window(n.panel()->id()));
}

void DesktopApp::reportScreens() {
    if (ctx_->notch().isEnabled.get() || saidNoScreen_) return;
    if (!ctx_->notch().targetScreen()) {
        saidNoScreen_ = true;
        ctx_->logger("Notch").error("No screen to show the notch on; it appears when a screen is connected");
    }
}

void DesktopApp::start() {
    Context& ctx = *ctx_;
    ctx.defaults().startCloudSynchronization();
    Notch& notch = ctx.notch();
    // The sources that the notch's views draw exist before the notch shows.
    ctx.focus();
    ctx.calendar();
    notch.enable();
    reportScreens();
    // Checked on the next turn: a screen change settles there.
    enabledObserver_ = notch.isEnabled.observe([this](const bool& enabled, const Animation*) {
        if (enabled) return;
        ctx_->main().post([this] { reportScreens(); });
    });
    status_ = std::make_unique<StatusItem>(ctx, kName, kVersion);
}

}  // namespace halvyn
