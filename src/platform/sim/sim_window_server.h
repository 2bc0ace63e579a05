#pragma once

#include <map>
#include <set>

#include "platform/sim/effect_log.h"
#include "platform/overlay_placement.h"
#include "platform/window_server.h"

namespace halvyn {

// Windows and spaces as plain state. A panel that is ordered front is "open"; the effects
// "window" (owner, action open | close | frame, frame) follow what a user would see.
class SimWindowServer final : public WindowServer, public OverlayPlacement {
public:
    struct Window {
        PanelConfig config;
        Rect frame;
        int sharingType = 1;
        bool open = false;
        bool closed = false;
    };
    struct Space {
        int level = 0;
        bool shown = false;
        bool destroyed = false;
        std::set<WindowId> windows;
    };

    explicit SimWindowServer(EffectLog* effects = nullptr) : effects_(effects) {}

    WindowId createPanel(const PanelConfig& config) override;
    void orderFrontRegardless(WindowId window) override;
    void setSharingType(WindowId window, int sharingType) override;
    void setFrame(WindowId window, const Rect& frame) override;
    void close(WindowId window) override;

    SpaceId createSpace() override;
    void setSpaceLevel(SpaceId space, int level) override;
    void showSpaces(const std::vector<SpaceId>& spaces) override;
    void hideSpaces(const std::vector<SpaceId>& spaces) override;
    void destroySpace(SpaceId space) override;
    void addWindowsToSpaces(const std::vector<WindowId>& windows, const std::vector<SpaceId>& spaces) override;
    void removeWindowsFromSpaces(const std::vector<WindowId>& windows, const std::vector<SpaceId>& spaces) override;

    int activeSpaceType() const override { return activeSpaceType_; }
    bool coversLockScreen() const override { return lockScreenLayer; }
    std::vector<WindowInfo> onScreenWindows() const override;

    // Simulation controls.
    void setFullscreen(bool fullscreen) { activeSpaceType_ = fullscreen ? 4 : 0; }
    void setActiveSpaceType(int type) { activeSpaceType_ = type; }
    // false: like a desktop whose own locker owns the locked screen.
    bool lockScreenLayer = true;
    // Windows of other applications, by owner name.
    std::vector<WindowInfo> otherWindows;

    // Inspection.
    const Window* window(WindowId id) const;
    const Space* space(SpaceId id) const;
    // The open windows of an owner.
    std::vector<WindowId> openWindows(const std::string& owner) const;

private:
    void record(const Window& w, const char* action);

    EffectLog* effects_;
    std::map<WindowId, Window> windows_;
    std::map<SpaceId, Space> spaces_;
    WindowId nextWindow_ = 1;
    SpaceId nextSpace_ = 1;
    int activeSpaceType_ = 0;
};

}  // namespace halvyn
