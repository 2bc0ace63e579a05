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

Path NotchShape::path(const PathRect& r) const {
    Path p;
    if (!std::isfinite(r.x) || !std::isfinite(r.y) || !std::isfinite(r.width) || !std::isfinite(r.height) ||
        r.width <= 0 || r.height <= 0)
        return p;

    // The flares take the top radius from each side and from the height; the bottom corners fit
    // in what is left of both, so neighbouring curves never overlap.
    const double t = std::min({std::max(finiteOrZero(topCornerRadius), 0.0), r.width / 2, r.height});
    const double innerWidth = r.width - 2 * t;
    const double b = std::min({std::max(finiteOrZero(bottomCornerRadius), 0.0), innerWidth / 2, r.height - t});

    const double left = r.x, right = r.x + r.width, top = r.y, bottom = r.y + r.height;
    const double innerLeft = left + t, innerRight = right - t;

    // Left flare: a quarter circle centred at (left, top + t), from its top to its right point.
    p.moveTo({left, top});
    if (t > 0) p.cubicTo({left + kQuarter * t, top}, {innerLeft, top + t - kQuarter * t}, {innerLeft, top + t});
    p.lineTo({innerLeft, bottom - b});
    if (b > 0) p.cubicTo({innerLeft, bottom - b + kQuarter * b}, {innerLeft + b - kQuarter * b, bottom}, {innerLeft + b, bottom});
    p.lineTo({innerRight - b, bottom});
    if (b > 0)
        p.cubicTo({innerRight - b + kQuarter * b, bottom}, {innerRight, bottom - b + kQuarter * b}, {innerRight, bottom - b});
    p.lineTo({innerRight, top + t});
    // Right flare: a quarter circle centred at (right, top + t), from its left to its top point.
    if (t > 0) p.cubicTo({innerRight, top + t - kQuarter * t}, {right - kQuarter * t, top}, {right, top});
    p.close();
    return p;
}

}  // namespace halvyn
