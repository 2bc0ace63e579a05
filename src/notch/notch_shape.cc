#include "notch/notch_shape.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace halvyn {

namespace {

// Control-point distance of a cubic that follows a quarter circle of radius 1.
constexpr double kQuarter = 0.5522847498307936;

double finiteOrZero(double v) { return std::isfinite(v) ? v : 0.0; }

void appendNumber(std::string& out, double v) {
    char buf[48];
    if (std::fabs(v) < 0.0005) v = 0;  // no "-0"
    std::snprintf(buf, sizeof buf, "%.3f", v);
    std::string s(buf);
    if (auto dot = s.find('.'); dot != std::string::npos) {
        while (s.back() == '0') s.pop_back();
        if (s.back() == '.') s.pop_back();
    }
    out += s;
}

void appendPoint(std::string& out, PathPoint p) {
    appendNumber(out, p.x);
    out += ' ';
    appendNumber(out, p.y);
}

}  // namespace

std::string Path::svg() const {
    std::string out;
    for (const auto& s : segments_) {
        if (!out.empty()) out += ' ';
        switch (s.kind) {
            case PathSegment::Kind::move:
                out += 'M';
                appendPoint(out, s.to);
                break;
            case PathSegment::Kind::line:
                out += 'L';
                appendPoint(out, s.to);
                break;
            case PathSegment::Kind::quadCurve:
                out += 'Q';
                appendPoint(out, s.control1);
                out += ' ';
                appendPoint(out, s.to);
                break;
            case PathSegment::Kind::cubicCurve:
                out += 'C';
                appendPoint(out, s.control1);
                out += ' ';
                appendPoint(out, s.control2);
                out += ' ';
                appendPoint(out, s.to);
                break;
            case PathSegment::Kind::close:
                out += 'Z';
                break;
        }
    }
    return out;
}

namespace {

// A continuous ("smooth") corner: instead of a quarter circle that meets the straight edges with
// a jump in curvature, the curve starts (1 + smoothing) × radius before the corner on each edge
// with zero curvature, eases into a shorter circular arc and out again. `corner` is the corner
// point of the square, `in` the unit direction the contour travels towards it and `out` the one
// it leaves along; the contour is expected at `corner - in * extent(r)`.
struct ContinuousCorner {
    double radius = 0;
    double smoothing = 0;
    double extent() const { return (1 + smoothing) * radius; }
};

constexpr double kSmoothing = 0.6;
constexpr double kPi = 3.14159265358979323846;

// The largest corner of radius `r` that fits `budget` along each edge: the smoothing gives way
// first, then the radius.
ContinuousCorner fitCorner(double r, double budget) {
    r = std::min(r, budget);
    if (r <= 0) return {};
    return {r, std::clamp(budget / r - 1, 0.0, kSmoothing)};
}

void appendCorner(Path& path, PathPoint corner, PathPoint in, PathPoint out, const ContinuousCorner& k) {
    const double R = k.radius, s = k.smoothing, p = k.extent();
    const double deg = kPi / 180;
    const double arcMeasure = 90 * (1 - s);
    const double arcSection = std::sin(arcMeasure / 2 * deg) * R * std::sqrt(2.0);
    const double alpha = (90 - arcMeasure) / 2;
    const double p3ToP4 = R * std::tan(alpha / 2 * deg);
    const double beta = 45 * s;
    const double c = p3ToP4 * std::cos(beta * deg);
    const double d = c * std::tan(beta * deg);
    const double b = (p - arcSection - c - d) / 3;
    const double a = 2 * b;
    // (u, v): distance along `in` relative to the corner, and along `out`.
    auto at = [&](double u, double v) { return PathPoint{corner.x + in.x * u + out.x * v, corner.y + in.y * u + out.y * v}; };
    const double u3 = -p + a + b + c, v3 = d;     // where the arc starts
    const double u4 = -d, v4 = p - a - b - c;     // where it ends (the mirror image)
    path.cubicTo(at(-p + a, 0), at(-p + a + b, 0), at(u3, v3));
    // The arc, as one cubic along its end tangents (c, d) and (d, c).
    const double kArc = 4.0 / 3.0 * std::tan(arcMeasure * deg / 4) * R;
    const double n = std::hypot(c, d);
    if (n > 0) path.cubicTo(at(u3 + kArc * c / n, v3 + kArc * d / n), at(u4 - kArc * d / n, v4 - kArc * c / n), at(u4, v4));
    else path.lineTo(at(u4, v4));
    path.cubicTo(at(0, v4 + c), at(0, v4 + b + c), at(0, p));
}

}  // namespace

Path NotchShape::path(const PathRect& r) const {
    Path p;
    if (!std::isfinite(r.x) || !std::isfinite(r.y) || !std::isfinite(r.width) || !std::isfinite(r.height) ||
        r.width <= 0 || r.height <= 0)
        return p;

    // The flares take the top radius from each side and from the height; the bottom corners fit
    // in what is left of both, so neighbouring curves never overlap.
    const double t = std::min({std::max(finiteOrZero(topCornerRadius), 0.0), r.width / 2, r.height});
    const double innerWidth = r.width - 2 * t;
    const ContinuousCorner k =
        fitCorner(std::max(finiteOrZero(bottomCornerRadius), 0.0), std::min(innerWidth / 2, r.height - t));
    const double e = k.extent();

    const double left = r.x, right = r.x + r.width, top = r.y, bottom = r.y + r.height;
    const double innerLeft = left + t, innerRight = right - t;

    // Left flare: a quarter circle centred at (left, top + t), from its top to its right point.
    p.moveTo({left, top});
    if (t > 0) p.cubicTo({left + kQuarter * t, top}, {innerLeft, top + t - kQuarter * t}, {innerLeft, top + t});
    p.lineTo({innerLeft, bottom - e});
    if (e > 0) appendCorner(p, {innerLeft, bottom}, {0, 1}, {1, 0}, k);
    p.lineTo({innerRight - e, bottom});
    if (e > 0) appendCorner(p, {innerRight, bottom}, {1, 0}, {0, -1}, k);
    p.lineTo({innerRight, top + t});
    // Right flare: a quarter circle centred at (right, top + t), from its left to its top point.
    if (t > 0) p.cubicTo({innerRight, top + t - kQuarter * t}, {right - kQuarter * t, top}, {right, top});
    p.close();
    return p;
}

}  // namespace halvyn
