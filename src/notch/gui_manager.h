#pragma once
// Hides the system's own volume and brightness display on systems from 26 on, through the
// game-overlay visibility signal. Earlier systems use the display-process suppression instead;
// the two free functions below pick the right way for the running system.

namespace halvyn {

class Context;

class GUIManager {
public:
    explicit GUIManager(Context& ctx) : ctx_(ctx) {}

    // false suppresses the system display, true releases it.
    void suppressSystemHUD(bool release);

private:
    Context& ctx_;
};

// Takes (suppressed true) or gives back the system display the way the running system needs.
void setSystemHUDSuppressed(Context& ctx, bool suppressed);
// After wake, a space change or an unlock: holds a display process that slipped through again
// (systems 15 up to 26; nothing elsewhere). The caller checks the volume and brightness settings.
void reapplySystemHUDSuppression(Context& ctx);

}  // namespace halvyn
