#pragma once
// Which of the toolkit's platforms the program starts on. A Wayland compositor places a client's
// window only through the layer shell; where it lacks it and an X server runs beside it
// (XWayland), the program runs on X11 and places itself there.

#include <optional>
#include <string>
#include <string_view>

namespace halvyn {

struct SessionPlan {
    // The toolkit platform to ask for; empty: leave the toolkit's own choice.
    std::string platform;
    // What the log says once about the choice; empty: nothing worth saying.
    std::string note;
    // False when the notch shows as an ordinary window that cannot be placed.
    bool placeable = true;
};

// `requested`: QT_QPA_PLATFORM as the user set it; `layerShell`: whether the Wayland compositor
// offers the layer shell (nothing: no Wayland compositor answered); `x11`: DISPLAY is set.
SessionPlan planSession(std::string_view requested, std::optional<bool> layerShell, bool x11);

// Asks the compositor named by WAYLAND_DISPLAY (or its default socket) for its globals, within
// `timeoutMs`: whether it offers the layer shell, or nothing when it cannot be reached or does
// not answer in time.
std::optional<bool> waylandOffersLayerShell(int timeoutMs);

}  // namespace halvyn
