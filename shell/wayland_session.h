#pragma once
// Which of the toolkit's platforms the program starts on. A Wayland compositor places a client's
// window only through the layer shell: where it offers it the notch is a layer surface; where it
// lacks it and an X server runs beside it (XWayland), the program runs on X11 and places itself
// there.

#include <optional>
#include <string>
#include <string_view>

struct wl_display;
struct wl_event_queue;

namespace halvyn {

// Set before the toolkit starts on a compositor with the layer shell: the toolkit then gives a
// window with the bypass hint (the notch's) no shell role, and the program gives it the layer one.
inline constexpr const char* kLayerShellBypassVariable = "QT_WAYLAND_USE_BYPASSWINDOWMANAGERHINT";

struct SessionPlan {
    // The toolkit platform to ask for; empty: leave the toolkit's own choice.
    std::string platform;
    // What the log says once about the choice; empty: nothing worth saying.
    std::string note;
    // False when the notch shows as an ordinary window that cannot be placed.
    bool placeable = true;
    // The notch is to be a layer surface of the Wayland compositor.
    bool layerShell = false;
};

// `requested`: QT_QPA_PLATFORM as the user set it; `layerShell`: whether the Wayland compositor
// offers the layer shell (nothing: no Wayland compositor answered); `x11`: DISPLAY is set.
SessionPlan planSession(std::string_view requested, std::optional<bool> layerShell, bool x11);

// Asks the compositor named by WAYLAND_DISPLAY (or its default socket) for its globals, within
// `timeoutMs`: whether it offers the layer shell, or nothing when it cannot be reached or does
// not answer in time.
std::optional<bool> waylandOffersLayerShell(int timeoutMs);

// Waits until the compositor has answered every request sent so far, dispatching the events of
// `queue` (nothing: the default queue) meanwhile, for at most `timeoutMs`; false when it did not
// answer in time or the connection failed.
bool waylandRoundtrip(wl_display* display, wl_event_queue* queue, int timeoutMs);

}  // namespace halvyn
