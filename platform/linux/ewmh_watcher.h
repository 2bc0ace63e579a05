#pragma once
// The active window of an X11 desktop as its window manager publishes it (EWMH): whether it is
// fullscreen, its process and its application identifier, and the windows the manager lists.
// Followed on property-change events, never by polling.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "runtime/logger.h"
#include "runtime/published.h"

namespace halvyn {

struct XWindowInfo {
    std::uint32_t window = 0;
    std::int32_t pid = 0;              // 0 when the window does not say
    std::string applicationId;         // the desktop-file name: the GTK application id, else the window class
    std::string name;                  // the process's name, else the window class

    friend bool operator==(const XWindowInfo&, const XWindowInfo&) = default;
};

class EwmhWatcher {
public:
    // Connects to `display` (nothing: $DISPLAY). Absent (not connected, one line said) when
    // there is no X server; a window manager without EWMH leaves it connected but quiet.
    EwmhWatcher(const std::optional<std::string>& display, Logger logger);
    ~EwmhWatcher();
    EwmhWatcher(const EwmhWatcher&) = delete;
    EwmhWatcher& operator=(const EwmhWatcher&) = delete;

    bool connected() const;
    bool activeIsFullscreen() const { return fullscreen_; }
    std::optional<XWindowInfo> active() const { return active_; }
    // The managed windows, in the manager's order.
    std::vector<XWindowInfo> clients() const;

    Subscription onFullscreenChanged(std::function<void()> cb) { return fullscreenChanged_.connect(std::move(cb)); }
    Subscription onActiveChanged(std::function<void()> cb) { return activeChanged_.connect(std::move(cb)); }
    Subscription onClientsChanged(std::function<void()> cb) { return clientsChanged_.connect(std::move(cb)); }

private:
    struct X;
    void events();
    void refreshActive();
    void refreshFullscreen();
    void lost();
    void drainLater();
    XWindowInfo describe(std::uint32_t window) const;

    Logger logger_;
    std::unique_ptr<X> x_;
    std::optional<XWindowInfo> active_;
    bool fullscreen_ = false;
    bool drainAsked_ = false;
    Signal<> fullscreenChanged_, activeChanged_, clientsChanged_;
};

}  // namespace halvyn
