#include "shell/desktop_app.h"

#include <QEvent>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "app/app_state.h"
#include "app/context.h"
#include "lockscreen/lock_manager.h"
#include "notch/notch.h"
#include "platform/linux/xdg_autostart.h"
#include "platform/preferences.h"
#include "nowplaying/music_manager.h"
#include "settings/defaults.h"
#include "settings/keys.h"
#include "shell/context_levels.h"
#include "shell/desktop_platform.h"
#include "shell/desktop_shell.h"
#include "shell/notch_window.h"
#include "shell/permission_pages.h"
#include "shell/now_playing_view.h"
#include "shell/real_time.h"
#include "shell/status_item.h"
#include "shell/update_window.h"
#include "updates/update_controller.h"

namespace halvyn {

namespace {
// With HALVYN_FRAME_LOG set, each painted frame of the notch is written to standard error as
// "frame NANOSECONDS NOTIFICATION ACTIVITY [TITLE]" (wall clock; "none" when nothing shows; the
// now-playing title when there is one), so that a test or a measurement can tell when a change
// outside the program reached the screen.
class FrameLog final : public QObject {
public:
    FrameLog(const Notch& notch, const MusicManager& music) : notch_(notch), music_(music) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            timespec t{};
            ::clock_gettime(CLOCK_REALTIME, &t);
            const bool showing = notch_.hasNotification.get();
            const bool live = notch_.hasLiveActivity.get();
            const std::string& title = music_.currentTrack.get().title;
            std::fprintf(stderr, "frame %lld %s %s%s%s\n", static_cast<long long>(t.tv_sec) * 1000000000LL + t.tv_nsec,
                         showing ? caseName(notch_.notification.get()) : "none",
                         live ? caseName(notch_.liveActivity.get()) : "none", title.empty() ? "" : " ", title.c_str());
        }
        return QObject::eventFilter(watched, event);
    }

private:
    const Notch& notch_;
    const MusicManager& music_;
};
}  // namespace

std::optional<std::filesystem::path> preferencesPath() {
    const auto config = xdgConfigHome();
    if (!config) return std::nullopt;
    return *config / "halvyn" / "preferences.json";
}

DesktopApp::DesktopApp(LogSink* log, std::optional<std::filesystem::path> preferences) {
    auto runtime = std::make_unique<RealTime>();
    auto platform = std::make_unique<DesktopPlatform>(runtime->main(), runtime->background(), log, preferences);
    platform_ = platform.get();
    ctx_ = std::make_unique<Context>(std::move(runtime), std::move(platform), log);
    // Every manager exists from here on: the notch's views draw the Focus and calendar sources,
    // and the screen lock is followed as soon as the desktop says anything about it.
    ctx_->assemble();
    // The synchronised settings go to the folder the user chose, from start-up and at once on
    // every later choice.
    platform_->setSyncFolder(ctx_->defaults().get(keys::syncFolder));
    syncFolderObserver_ = ctx_->defaults().observe(
        keys::syncFolder, [this](const std::string&, const std::string& folder) { platform_->setSyncFolder(folder); });
    // Levels come from the sources; with no audio, brightness or power service on this desktop
    // yet, every reading is absent and no display shows a made-up level.
    levels_ = std::make_unique<ContextLevels>(*ctx_);
    platform_->setPanelFactory([this](const PanelConfig& config) -> std::unique_ptr<QWidget> {
        if (config.owner != "Notch") return nullptr;
        auto window = std::make_unique<NotchWindow>(*ctx_, levels_.get());
        // The program's own view asks for the playing position; a scenario's views do it by action.
        window->scene().nowPlaying().setDrivesPositionTimer(true);
        window->setMenu([this] { return status_ ? status_->menu() : nullptr; });
        if (std::getenv("HALVYN_FRAME_LOG")) {
            auto* log = new FrameLog(ctx_->notch(), ctx_->music());
            log->setParent(window.get());  // goes with the window
            window->installEventFilter(log);
        }
        return window;
    });
    shell_ = std::make_unique<DesktopShell>(ctx_->appState(), nullptr);
    registerSettingsWindows(*shell_, *ctx_);
}

DesktopApp::~DesktopApp() {
    AppState& state = ctx_->appState();
    state.setShell(nullptr);
    // Ended some other way than "Quit" (a signal, the session): the system display still
    // comes back.
    if (state.isSetUp()) state.terminate();
    if (updateWindow_) ctx_->updates().setWindowHost(nullptr);
    updateWindow_.reset();
    shell_.reset();
    saveProblemObserver_.reset();
    status_.reset();
    enabledObserver_.reset();
    syncFolderObserver_.reset();
    afterFirstFrame_.reset();
    // The notch window's views read the context's sources, which go before the notch does: the
    // window goes first (ended while the notch is open, its now-playing view says goodbye to them).
    if (const NotchPanel* panel = ctx_->notch().panel()) platform_->qtWindows().close(panel->id());
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

void DesktopApp::reopen() {
    ctx_->logger("AppState").info("Launched again: the running instance stays");
    ctx_->appState().reopen();
}

void DesktopApp::start() {
    Context& ctx = *ctx_;
    Notch& notch = ctx.notch();
    AppState& state = ctx.appState();
    status_ = std::make_unique<StatusItem>(state, ctx.logger("AppState"));
    shell_->setStatusItem(status_.get());
    if (Preferences* prefs = ctx.platform().preferences()) {
        status_->setSaveProblem(prefs->saveProblem());
        saveProblemObserver_ = prefs->observeSaveProblem([this, prefs] { status_->setSaveProblem(prefs->saveProblem()); });
    }
    updateWindow_ = std::make_unique<QtUpdateWindow>(ctx);
    ctx.updates().setWindowHost(updateWindow_.get());
    state.setShell(shell_.get());
    state.setup();
    reportScreens();
    startAfterFirstFrame();
    // Checked on the next turn: a screen change settles there.
    enabledObserver_ = notch.isEnabled.observe([this](const bool& enabled, const Animation*) {
        if (enabled) return;
        ctx_->main().post([this] { reportScreens(); });
    });
}

void DesktopApp::startAfterFirstFrame() {
    // Without a first frame on its way (no screen, no notch yet, a window never exposed) the
    // wait is bounded.
    constexpr int kLongestWaitMs = 1000;
    afterFirstFrame_ = std::make_unique<QTimer>();
    afterFirstFrame_->setSingleShot(true);
    QObject::connect(afterFirstFrame_.get(), &QTimer::timeout, afterFirstFrame_.get(), [this] {
        if (NotchWindow* window = notchWindow()) window->setFirstFramePainted(nullptr);
        platform_->startAfterFirstFrame();
        status_->rebuild();
    });
    NotchWindow* window = notchWindow();
    if (window) window->setFirstFramePainted([this] {
        if (afterFirstFrame_) afterFirstFrame_->start(0);
    });
    afterFirstFrame_->start(window ? kLongestWaitMs : 0);
}

}  // namespace halvyn
