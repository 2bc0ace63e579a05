#pragma once
// Windows of the window server.

#include <cstdint>
#include <string>
#include <vector>

#include "platform/geometry.h"

namespace halvyn {

using WindowId = std::uint32_t;

// How a borderless panel is made. The defaults are those of a non-activating overlay panel.
struct PanelConfig {
    std::string owner;                           // who owns it, for the record of effects
    std::uint32_t styleMask = 0x8080;            // non-activating panel, full-size content view
    int backing = 2;                             // buffered
    bool deferred = true;
    bool hasShadow = false;
    bool opaque = false;
    bool clearBackground = true;
    bool movable = false;
    bool releasedWhenClosed = false;
    int level = 1000;
    std::uint32_t collectionBehavior = 0x151;    // all spaces, stationary, ignores cycle, fullscreen auxiliary
    bool canBecomeKey = false;
    bool canBecomeMain = false;
    Rect contentRect;
};

struct WindowInfo {
    WindowId id = 0;
    std::string ownerName;
};

class WindowServer {
public:
    virtual ~WindowServer() = default;

    // Panels.
    virtual WindowId createPanel(const PanelConfig& config) = 0;
    virtual void orderFrontRegardless(WindowId window) = 0;
    // 0 none (hidden from capture), 1 read-only.
    virtual void setSharingType(WindowId window, int sharingType) = 0;
    virtual void setFrame(WindowId window, const Rect& frame) = 0;
    virtual void close(WindowId window) = 0;

    // The type of the active space; a type above 1 is a fullscreen space.
    virtual int activeSpaceType() const = 0;
    // The windows on screen, desktop elements excluded.
    virtual std::vector<WindowInfo> onScreenWindows() const = 0;
};

}  // namespace halvyn
