#pragma once
// The window-server port on the desktop: panels are toolkit windows made by a factory (the
// notch's panel shows the notch view); frames come in the system's points and are placed through
// the screens adapter's coordinates. This desktop has no private spaces and no fullscreen-space
// notion: spaces are accepted and do nothing, and the active space is an ordinary one.

#include <functional>
#include <map>
#include <memory>

#include "platform/window_server.h"

class QWidget;

namespace halvyn {

class LogSink;
class QtScreens;

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

    SpaceId createSpace() override { return ++lastSpace_; }
    void setSpaceLevel(SpaceId, int) override {}
    void showSpaces(const std::vector<SpaceId>&) override {}
    void hideSpaces(const std::vector<SpaceId>&) override {}
    void destroySpace(SpaceId) override {}
    void addWindowsToSpaces(const std::vector<WindowId>&, const std::vector<SpaceId>&) override {}
    void removeWindowsFromSpaces(const std::vector<WindowId>&, const std::vector<SpaceId>&) override {}

    int activeSpaceType() const override { return 0; }
    std::vector<WindowInfo> onScreenWindows() const override { return {}; }

    QWidget* window(WindowId id) const;

private:
    const QtScreens& screens_;
    Factory factory_;
    LogSink* log_;
    std::map<WindowId, std::unique_ptr<QWidget>> windows_;
    WindowId lastWindow_ = 0;
    SpaceId lastSpace_ = 0;
    bool saidCapture_ = false;
};

}  // namespace halvyn
