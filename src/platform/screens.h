#pragma once
// The system's screen list and its changes.

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "platform/geometry.h"
#include "runtime/published.h"

namespace halvyn {

struct Screen {
    // The display number of the screen's device description; absent when the system gave none.
    std::optional<std::uint32_t> displayNumber;
    bool builtIn = false;      // the display is the built-in panel
    bool mainDisplay = false;  // the display that carries the menu bar
    Rect frame;
    Rect visibleFrame;
    double safeAreaTop = 0;
    // Widths of the two areas beside the camera housing; both present only on a notched screen.
    std::optional<double> auxiliaryTopLeft;
    std::optional<double> auxiliaryTopRight;

    bool hasAuxiliaryTopAreas() const { return auxiliaryTopLeft.has_value() && auxiliaryTopRight.has_value(); }
    // Built-in only when the system gave a display number for it.
    bool isBuiltIn() const { return displayNumber.has_value() && builtIn; }

    friend bool operator==(const Screen&, const Screen&) = default;
};

class Screens {
public:
    virtual ~Screens() = default;
    // The screens in the system's order.
    virtual std::vector<Screen> screens() const = 0;
    // Screen parameters changed (screens added, removed, resized, rearranged); on the main queue.
    virtual Subscription observeParameters(std::function<void()> cb) = 0;
};

}  // namespace halvyn
