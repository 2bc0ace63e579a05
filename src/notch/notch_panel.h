#pragma once
// The borderless, non-activating panel that carries the notch views: 576 × 320 points, centred
// on its screen and flush with its top edge. It never becomes key or main, so typing while the
// pointer is over the notch still goes to the front application.

#include "platform/screens.h"
#include "platform/window_server.h"

namespace halvyn {

// A borderless panel of the window server; without a window server it is inert.
class OverlayPanel {
public:
    OverlayPanel(WindowServer* server, const PanelConfig& config);

    WindowId id() const { return id_; }
    bool canBecomeKeyWindow() const { return false; }
    bool canBecomeMainWindow() const { return false; }

    void orderFrontRegardless();
    void setFrame(const Rect& frame);
    void close();

protected:
    WindowServer* server_;
    WindowId id_ = 0;
};

class NotchPanel : public OverlayPanel {
public:
    static constexpr double kWidth = 576;
    static constexpr double kHeight = 320;

    // Creates the panel with a zero content rectangle.
    explicit NotchPanel(WindowServer* server) : OverlayPanel(server, config()) {}

    static Rect frameFor(const Screen& screen);
    static PanelConfig config();

    // None (0) hides the window from screen capture; read-only (1) otherwise.
    void setSharingType(bool hideFromScreenCapture);
};

}  // namespace halvyn
