#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <tuple>
#include <vector>

#include "notch/notch_shape.h"

namespace halvyn {
namespace {

using Kind = PathSegment::Kind;

// Every coordinate of the path, control points included.
template <class F>
void forEachPoint(const Path& p, F f) {
    for (auto& s : p.segments()) {
        if (s.kind == Kind::close) continue;
        f(s.to);
        if (s.kind == Kind::quadCurve || s.kind == Kind::cubicCurve) f(s.control1);
        if (s.kind == Kind::cubicCurve) f(s.control2);
    }
}

TEST(NotchShape, SvgOfASmallOutline) {
    NotchShape shape{5, 10};
    EXPECT_EQ(shape.path({0, 0, 100, 40}).svg(),
              "M0 0 C2.761 0 5 2.239 5 5 L5 24 C5 29.601 5 32.401 6.09 34.54 C7.049 36.422 8.578 37.951 10.46 38.91 "
              "C12.599 40 15.399 40 21 40 L79 40 C84.601 40 87.401 40 89.54 38.91 C91.422 37.951 92.951 36.422 93.91 "
              "34.54 C95 32.401 95 29.601 95 24 L95 5 C95 2.239 97.239 0 100 0 Z");
    // Without radii the outline is the plain rectangle.
    EXPECT_EQ(NotchShape{}.path({10, 0, 4, 3}).svg(), "M10 0 L10 3 L14 3 L14 0 Z");
}

// The path above starts each bottom corner 16 before the corner (radius 10, smoothing 0.6); too
// small a rectangle gives up the smoothing before the radius.
TEST(NotchShape, BottomCornersGiveUpSmoothingBeforeTheRadius) {
    const Path tight = NotchShape{5, 10}.path({0, 0, 40, 20});
    ASSERT_EQ(tight.segments()[2].kind, Kind::line);
    EXPECT_DOUBLE_EQ(tight.segments()[2].to.y, 20 - 15);
}

TEST(NotchShape, RadiiAreClampedSoASmallRectangleNeverSelfIntersects) {
    // Radii far beyond the rectangle: the flares take half the width, nothing is left for the
    // bottom corners, and every point stays inside the rectangle in contour order.
    for (auto [t, b, w, h] : {std::tuple{50.0, 50.0, 20.0, 10.0}, {3.0, 40.0, 20.0, 10.0}, {9.0, 9.0, 30.0, 12.0},
                              {1e300, 1e300, 1.0, 1.0}}) {
        Path p = NotchShape{t, b}.path({0, 0, w, h});
        ASSERT_FALSE(p.empty());
        double lastX = -1;
        for (auto& s : p.segments()) {
            if (s.kind == Kind::close) continue;
            EXPECT_GE(s.to.x, 0);
            EXPECT_LE(s.to.x, w);
            EXPECT_GE(s.to.y, 0);
            EXPECT_LE(s.to.y, h);
            // The contour runs left to right: the end points never go back.
            EXPECT_GE(s.to.x, lastX - 1e-9) << t << " " << b;
            lastX = s.to.x;
        }
        // Left side of the body: flare end above (or at) the start of the bottom corner.
        const auto& segs = p.segments();
        EXPECT_LE(segs[1].to.y, segs[2].to.y);
    }
}

TEST(NotchShape, EmptyOrBadRectanglesGiveAnEmptyPathAndBadRadiiCountAsZero) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    NotchShape shape{5, 10};
    EXPECT_TRUE(shape.path({0, 0, 0, 32}).empty());
    EXPECT_TRUE(shape.path({0, 0, 200, 0}).empty());
    EXPECT_TRUE(shape.path({0, 0, -5, 32}).empty());
    EXPECT_TRUE(shape.path({0, 0, nan, 32}).empty());
    EXPECT_TRUE(shape.path({inf, 0, 20, 32}).empty());
    EXPECT_EQ(shape.path({0, 0, 0, 0}).svg(), "");

    EXPECT_EQ((NotchShape{nan, -4}).path({0, 0, 4, 3}).svg(), "M0 0 L0 3 L4 3 L4 0 Z");
    Path p = NotchShape{nan, nan}.path({0, 0, 100, 30});
    forEachPoint(p, [](PathPoint q) { EXPECT_TRUE(std::isfinite(q.x) && std::isfinite(q.y)); });
}

}  // namespace
}  // namespace halvyn
