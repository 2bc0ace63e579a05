#include "shell/qt_window_server.h"

#include "platform/linux/ewmh_watcher.h"

#include <QTimer>
#include <QWidget>

#include "runtime/logger.h"
#include "shell/qt_screens.h"

namespace halvyn {

QtWindowServer::QtWindowServer(const QtScreens& screens, Factory factory, LogSink* log)
    : screens_(screens), factory_(std::move(factory)), log_(log) {}

QtWindowServer::~QtWindowServer() = default;

WindowId QtWindowServer::createPanel(const PanelConfig& config) {
    const WindowId id = ++lastWindow_;
    std::unique_ptr<QWidget> w = factory_ ? factory_(config) : nullptr;
    if (!w) w = std::make_unique<QWidget>(nullptr, Qt::Tool | Qt::FramelessWindowHint);
    windows_.emplace(id, std::move(w));
    return id;
}

QWidget* QtWindowServer::window(WindowId id) const {
    auto it = windows_.find(id);
    return it == windows_.end() ? nullptr : it->second.get();
}

void QtWindowServer::orderFrontRegardless(WindowId id) {
    QWidget* w = window(id);
    if (!w) return;
    // The frame follows in the same turn; showing on the next one keeps the panel from flashing
    // at the screen's corner first.
    QTimer::singleShot(0, w, [w] {
        w->show();
        w->raise();
    });
}

void QtWindowServer::setSharingType(WindowId id, int sharingType) {
    // X11 and Wayland offer a window no way to stay out of screen captures.
    if (sharingType == 0 && window(id) && !saidCapture_) {
        saidCapture_ = true;
        Logger(log_, "com.halvyn.app", "NotchPanel")
            .info("This desktop cannot keep a window out of screen capture; the notch stays capturable");
    }
}

void QtWindowServer::setFrame(WindowId id, const Rect& frame) {
    if (QWidget* w = window(id)) {
        const QRect r = screens_.toToolkit(frame);
        w->move(r.topLeft());
    }
}

void QtWindowServer::close(WindowId id) {
    auto it = windows_.find(id);
    if (it == windows_.end()) return;
    it->second->hide();
    windows_.erase(it);
}

void QtWindowServer::setWindowManager(EwmhWatcher* wm) {
    wm_ = wm;
    activeObserver_.reset();
    fullscreenObserver_.reset();
    if (!wm) return;
    if (!raiseContext_) raiseContext_ = std::make_unique<QObject>();
    // The panels are out of the window manager's hands (they bypass it), so nothing it stacks is
    // kept below them: they are raised again after it has restacked. Posted, so the application
    // state has taken the change in (a panel it hides is not raised).
    auto raise = [this] {
        QTimer::singleShot(0, raiseContext_.get(), [this] {
            for (auto& [id, w] : windows_)
                if (w->isVisible()) w->raise();
        });
    };
    activeObserver_ = wm->onActiveChanged(raise);
    fullscreenObserver_ = wm->onFullscreenChanged(raise);
}

int QtWindowServer::activeSpaceType() const { return wm_ && wm_->activeIsFullscreen() ? 4 : 0; }

std::vector<WindowInfo> QtWindowServer::onScreenWindows() const {
    std::vector<WindowInfo> out;
    if (wm_)
        for (const XWindowInfo& w : wm_->clients()) out.push_back({w.window, w.name});
    return out;
}

}  // namespace halvyn
