#pragma once
// Points on screen, origin at the bottom left, y growing upwards (as the window server reports).

namespace halvyn {

struct Rect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;

    double minX() const { return x; }
    double minY() const { return y; }
    double maxX() const { return x + width; }
    double maxY() const { return y + height; }
    double midX() const { return x + width / 2; }

    friend bool operator==(const Rect&, const Rect&) = default;
};

}  // namespace halvyn
