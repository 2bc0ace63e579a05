#pragma once
// The outline the notch's state asks for: width, height, radii, shadow and fill, from the
// published state of the notch, four settings and the vertical swipe shown by the view.

#include "shell/outline.h"

namespace halvyn {

class Context;

struct VerticalSwipe {
    enum class Direction { none, up, down };
    Direction direction = Direction::none;
    double offset = 0;    // points shown while the finger moves
    double progress = 0;  // 0 to 1
};

OutlineMetrics outlineTarget(Context& ctx, const VerticalSwipe& swipe = {});

}  // namespace halvyn
