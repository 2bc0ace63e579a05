#pragma once
// Spaces above everything else: windows placed in one stay visible above ordinary and fullscreen
// windows, at the space's absolute level, and, where the system lets them, over its lock screen.

#include <cstdint>
#include <vector>

#include "platform/window_server.h"

namespace halvyn {

using SpaceId = std::uint64_t;

class OverlayPlacement {
public:
    virtual ~OverlayPlacement() = default;

    virtual SpaceId createSpace() = 0;
    virtual void setSpaceLevel(SpaceId space, int level) = 0;
    virtual void showSpaces(const std::vector<SpaceId>& spaces) = 0;
    virtual void hideSpaces(const std::vector<SpaceId>& spaces) = 0;
    virtual void destroySpace(SpaceId space) = 0;
    virtual void addWindowsToSpaces(const std::vector<WindowId>& windows, const std::vector<SpaceId>& spaces) = 0;
    virtual void removeWindowsFromSpaces(const std::vector<WindowId>& windows,
                                         const std::vector<SpaceId>& spaces) = 0;

    // Whether a space shows its windows over the system's lock screen.
    virtual bool coversLockScreen() const { return true; }
};

}  // namespace halvyn
