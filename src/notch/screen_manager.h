#pragma once
// Watches fullscreen spaces, sleep and wake, and the screen lock, and hides, shows or re-arms
// the notch at the right moments.

#include <memory>
#include <vector>

#include "runtime/debounce.h"
#include "runtime/properties.h"
#include "runtime/published.h"

namespace halvyn {

class Context;
class Notch;

class ScreenManager {
public:
    explicit ScreenManager(Context& ctx);
    ScreenManager(const ScreenManager&) = delete;
    ScreenManager& operator=(const ScreenManager&) = delete;

    // True for 0.5 s after sleep or wake.
    Published<bool> hasRecentlySleptOrWake{false};
    // The active space is a fullscreen space.
    Published<bool> isFullscreen{false};

    const PropertySet& properties() const { return properties_; }

private:
    bool activeSpaceIsFullscreen() const;
    void screenLocked();
    void screenUnlocked();
    void sleptOrWoke();
    void woke();
    void activeSpaceChanged();
    bool suppressesSystemHUD() const;

    Context& ctx_;
    Notch& notch;
    std::vector<Subscription> cancellables;
    Debounce sleepWakeDebounce;
    PropertySet properties_;
};

}  // namespace halvyn
