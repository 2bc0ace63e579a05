#pragma once
// The outline of the notch: a body hanging from the top edge with rounded bottom corners, joined
// to the screen edge by two concave flares ("ears"). Kept as plain path data so the desktop
// program can paint it and tests can check it; coordinates are the view's (y grows downwards).

#include <string>
#include <vector>

namespace halvyn {

struct PathPoint {
    double x = 0;
    double y = 0;
    friend bool operator==(const PathPoint&, const PathPoint&) = default;
};

// A rectangle in the view's coordinates: origin at the top left.
struct PathRect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;
};

struct PathSegment {
    enum class Kind { move, line, quadCurve, cubicCurve, close };
    Kind kind = Kind::move;
    PathPoint to;       // end point (unused by close)
    PathPoint control1; // quad and cubic curves
    PathPoint control2; // cubic curves
};

class Path {
public:
    const std::vector<PathSegment>& segments() const { return segments_; }
    bool empty() const { return segments_.empty(); }

    void moveTo(PathPoint p) { segments_.push_back({PathSegment::Kind::move, p, {}, {}}); }
    void lineTo(PathPoint p) { segments_.push_back({PathSegment::Kind::line, p, {}, {}}); }
    void quadTo(PathPoint c, PathPoint p) { segments_.push_back({PathSegment::Kind::quadCurve, p, c, {}}); }
    void cubicTo(PathPoint c1, PathPoint c2, PathPoint p) {
        segments_.push_back({PathSegment::Kind::cubicCurve, p, c1, c2});
    }
    void close() { segments_.push_back({PathSegment::Kind::close, {}, {}, {}}); }

    // SVG path data ("M0 0 C… Z"), numbers with at most three decimals.
    std::string svg() const;

private:
    std::vector<PathSegment> segments_;
};

struct NotchShape {
    double topCornerRadius = 0;
    double bottomCornerRadius = 0;

    // The outline filling `rect`: one closed contour, the union of the body (inset horizontally
    // by the top radius, square top corners, rounded bottom corners) and the two flares. Radii
    // are clamped to what the rectangle can hold so the contour never crosses itself; an empty
    // or non-finite rectangle gives an empty path.
    Path path(const PathRect& rect) const;
};

}  // namespace halvyn
