#pragma once
// The window-server port on the desktop: panels are toolkit windows made by a factory (the
// notch's panel shows the notch view); frames come in the system's points and are placed through
// the screens adapter's coordinates. This desktop has no private spaces: spaces are accepted and
// do nothing. The active space is a fullscreen one while the window manager shows the active
// window fullscreen, when there is a window manager to ask.

#include <functional>
#include <map>
#include <memory>

#include "platform/window_server.h"
#include "runtime/published.h"

class QObject;
class QWidget;

namespace halvyn {

class LogSink;
class QtScreens;
class EwmhWatcher;

class QtWindowServer final : public WindowServer {
public:
    using Factory = std::function<std::unique_ptr<QWidget>(const PanelConfig&)>;

    QtWindowServer(const QtScreens& screens, Factory factory, LogSink* log);
    ~QtWindowServer() override;

    WindowId createPanel(const PanelConfig& config) override;
    void orderFrontRegardless(WindowId window) override;
    void setSharingType(WindowId window, int sharingType) override;
    void setFrame(WindowId window, const Rect& frame) override;
    void close(WindowId window) override;

    // 4, a fullscreen space, while the active window is fullscreen; 0 otherwise.
    int activeSpaceType() const override;
    std::vector<WindowInfo> onScreenWindows() const override;
    // Follows the window manager: the panels showing are raised again whenever the active window
    // or its fullscreen state changes, so that a fullscreen window never covers them.
    void setWindowManager(EwmhWatcher* wm);

    QWidget* window(WindowId id) const;

private:
    const QtScreens& screens_;
    Factory factory_;
    LogSink* log_;
    std::map<WindowId, std::unique_ptr<QWidget>> windows_;
    WindowId lastWindow_ = 0;
    bool saidCapture_ = false;
    const EwmhWatcher* wm_ = nullptr;
    Subscription activeObserver_, fullscreenObserver_;
    std::unique_ptr<QObject> raiseContext_;  // the posted raises go with the server
};

}  // namespace halvyn
