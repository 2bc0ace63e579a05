#pragma once
// Hides the system's own volume and brightness display: on systems from 26 on through the
// game-overlay visibility signal, on earlier ones through the display-process suppression (the
// OSDUIManager, built after the managers that ask for it).

#include "runtime/seam.h"

namespace halvyn {

class Services;
class SystemHUDSuppression;

class GUIManager {
public:
    GUIManager(Services& ctx, Seam<SystemHUDSuppression> displayProcess)
        : ctx_(ctx), displayProcess_(std::move(displayProcess)) {}

    // false suppresses the system display, true releases it.
    void suppressSystemHUD(bool release);
    // Takes (suppressed true) or gives back the system display the way the running system needs.
    void setSystemHUDSuppressed(bool suppressed);
    // After wake, a space change or an unlock: holds a display process that slipped through again
    // (systems 15 up to 26; nothing elsewhere). The caller checks the volume and brightness settings.
    void reapplySystemHUDSuppression();

private:
    int runningMajorVersion() const;

    Services& ctx_;
    Seam<SystemHUDSuppression> displayProcess_;
};

}  // namespace halvyn
