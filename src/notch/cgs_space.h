#pragma once
// A private window-server space at a fixed absolute level. Windows placed in it stay visible
// above fullscreen spaces and on the lock screen. Created shown; hidden and destroyed with it.

#include <set>

#include "platform/overlay_placement.h"

namespace halvyn {

class CGSSpace {
public:
    // Without overlay placement the space is inert.
    CGSSpace(OverlayPlacement* server, int level);
    ~CGSSpace();
    CGSSpace(const CGSSpace&) = delete;
    CGSSpace& operator=(const CGSSpace&) = delete;

    SpaceId identifier() const { return identifier_; }
    const std::set<WindowId>& windows() const { return windows_; }
    // Moves the windows that left the set out of the space and those that joined into it.
    void setWindows(std::set<WindowId> windows);
    void add(WindowId window);
    void remove(WindowId window);

private:
    OverlayPlacement* server_;
    SpaceId identifier_ = 0;
    std::set<WindowId> windows_;
};

}  // namespace halvyn
