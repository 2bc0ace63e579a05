#pragma once
// Watches fullscreen spaces, sleep and wake, and the screen lock, and hides, shows or re-arms
// the notch at the right moments.

#include <memory>
#include <vector>

#include "runtime/debounce.h"
#include "runtime/properties.h"
#include "runtime/published.h"

namespace halvyn {

class Services;
class GUIManager;
class Defaults;
class Notch;

class ScreenManager {
public:
    ScreenManager(Services& ctx, Defaults& defaults, Notch& notch, GUIManager& gui);
    ScreenManager(const ScreenManager&) = delete;
    ScreenManager& operator=(const ScreenManager&) = delete;

    // True for 0.5 s after sleep or wake.
    Owned<bool, ScreenManager> hasRecentlySleptOrWake{false};
    // The active space is a fullscreen space.
    Owned<bool, ScreenManager> isFullscreen{false};

    const PropertySet& properties() const { return properties_; }

private:
    bool activeSpaceIsFullscreen() const;
    void screenLocked();
    void screenUnlocked();
    void sleptOrWoke();
    void woke();
    void activeSpaceChanged();
    bool suppressesSystemHUD() const;

    Services& ctx_;
    GUIManager& gui_;
    Notch& notch;
    Defaults& defaults_;
    std::vector<Subscription> cancellables;
    Debounce sleepWakeDebounce;
    PropertySet properties_;
};

}  // namespace halvyn
