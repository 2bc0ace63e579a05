#include "shell/outline_painter.h"

#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <vector>

#include "notch/notch_shape.h"
#include "shell/whole_number.h"

namespace halvyn {

QRectF notchBodyRect(double windowWidth, double w, double h) {
    w = std::max(0.0, w);
    h = std::max(0.0, h);
    return QRectF((windowWidth - w) / 2, 0, w, h);
}

QPainterPath notchPath(double windowWidth, double w, double h, double top, double bottom) {
    const QRectF r = notchBodyRect(windowWidth, w, h);
    const Path shape = NotchShape{top, bottom}.path(PathRect{r.x(), r.y(), r.width(), r.height()});
    QPainterPath path;
    path.setFillRule(Qt::WindingFill);
    for (const PathSegment& s : shape.segments()) {
        const QPointF to(s.to.x, s.to.y), c1(s.control1.x, s.control1.y), c2(s.control2.x, s.control2.y);
        switch (s.kind) {
            case PathSegment::Kind::move: path.moveTo(to); break;
            case PathSegment::Kind::line: path.lineTo(to); break;
            case PathSegment::Kind::quadCurve: path.quadTo(c1, to); break;
            case PathSegment::Kind::cubicCurve: path.cubicTo(c1, c2, to); break;
            case PathSegment::Kind::close: path.closeSubpath(); break;
        }
    }
    return path;
}

namespace {

// One pass of a box blur of radius r over the alpha bytes, along rows (stride 1) or columns.
void boxBlur(std::vector<int>& a, std::vector<int>& tmp, int w, int h, int r, bool rows) {
    const int lines = rows ? h : w, len = rows ? w : h;
    const int step = rows ? 1 : w, lineStep = rows ? w : 1;
    const int div = 2 * r + 1;
    for (int l = 0; l < lines; ++l) {
        const int base = l * lineStep;
        int sum = 0;
        for (int k = -r; k <= r; ++k) sum += a[static_cast<std::size_t>(base + std::clamp(k, 0, len - 1) * step)];
        for (int x = 0; x < len; ++x) {
            tmp[static_cast<std::size_t>(base + x * step)] = sum / div;
            const int out = std::clamp(x - r, 0, len - 1), in = std::clamp(x + r + 1, 0, len - 1);
            sum += a[static_cast<std::size_t>(base + in * step)] - a[static_cast<std::size_t>(base + out * step)];
        }
    }
    a.swap(tmp);
}

// No screen is wider than this many points; nor is a shadow's blur radius larger than this.
constexpr int kMaxShadowSide = 8192;
constexpr int kMaxShadowRadius = 256;

// The outline's shadow for one size: the shape blurred (three box passes approximate a Gaussian
// whose standard deviation is half the radius) at half resolution, then brought to the device's
// resolution once. Kept by size and radius in whole points, so a hover or an opening reuses it
// frame after frame; the opacity and the offset are applied when it is drawn.
struct ShadowKey {
    int width, height, top, bottom, radius;
    double scale;
    friend bool operator==(const ShadowKey&, const ShadowKey&) = default;
};

QImage blurredShadow(const ShadowKey& k, double margin) {
    const double half = k.scale * 0.5;
    const double aw = k.width + 2 * margin, ah = k.height + 2 * margin;
    const int w = std::max(1, static_cast<int>(std::ceil(aw * half)));
    const int h = std::max(1, static_cast<int>(std::ceil(ah * half)));
    QImage mask(w, h, QImage::Format_Alpha8);
    mask.fill(0);
    {
        QPainter mp(&mask);
        mp.setRenderHint(QPainter::Antialiasing);
        mp.scale(half, half);
        mp.fillPath(notchPath(aw, k.width, k.height, k.top, k.bottom).translated(0, margin), Qt::black);
    }
    const double sigma = k.radius / 2.0 * half;
    const int r = std::max(1, static_cast<int>(std::lround((std::sqrt(4 * sigma * sigma + 1) - 1) / 2)));
    std::vector<int> a(static_cast<std::size_t>(w * h)), tmp(a.size());
    for (int y = 0; y < h; ++y) {
        const uchar* line = mask.constScanLine(y);
        for (int x = 0; x < w; ++x) a[static_cast<std::size_t>(y * w + x)] = line[x];
    }
    for (int pass = 0; pass < 3; ++pass) {
        boxBlur(a, tmp, w, h, r, true);
        boxBlur(a, tmp, w, h, r, false);
    }
    // Brought to the device's resolution here, bilinearly, rather than by the toolkit's smooth
    // scaling, which hands large images to its thread pool.
    const int W = static_cast<int>(std::ceil(aw * k.scale)), H = static_cast<int>(std::ceil(ah * k.scale));
    QImage full(W, H, QImage::Format_ARGB32_Premultiplied);
    const double fx = static_cast<double>(w) / W, fy = static_cast<double>(h) / H;
    auto at = [&](int x, int y) { return a[static_cast<std::size_t>(std::clamp(y, 0, h - 1) * w + std::clamp(x, 0, w - 1))]; };
    for (int y = 0; y < H; ++y) {
        const double sy = (y + 0.5) * fy - 0.5;
        const int y0 = static_cast<int>(std::floor(sy));
        const double ty = sy - y0;
        auto* line = reinterpret_cast<QRgb*>(full.scanLine(y));
        for (int x = 0; x < W; ++x) {
            const double sx = (x + 0.5) * fx - 0.5;
            const int x0 = static_cast<int>(std::floor(sx));
            const double tx = sx - x0;
            const double v = (at(x0, y0) * (1 - tx) + at(x0 + 1, y0) * tx) * (1 - ty) +
                             (at(x0, y0 + 1) * (1 - tx) + at(x0 + 1, y0 + 1) * tx) * ty;
            line[x] = qRgba(0, 0, 0, std::clamp(static_cast<int>(std::lround(v)), 0, 255));
        }
    }
    full.setDevicePixelRatio(k.scale);
    return full;
}

void paintShadow(QPainter& p, const DrawnOutline& m, double ww) {
    const double scale = std::max(0.01, std::abs(p.transform().m11())) * p.device()->devicePixelRatioF();
    // The size follows the notch adjustments of the settings, which may hold any number: the
    // shadow is bounded by what a screen could show.
    const ShadowKey key{wholeNumberWithin(m.width, 0, kMaxShadowSide, 0), wholeNumberWithin(m.height, 0, kMaxShadowSide, 0),
                        wholeNumberWithin(m.topRadius, 0, kMaxShadowSide, 0),
                        wholeNumberWithin(m.bottomRadius, 0, kMaxShadowSide, 0),
                        wholeNumberWithin(m.shadowRadius, 0, kMaxShadowRadius, 0), scale};
    if (key.width <= 0 || key.height <= 0 || key.radius <= 0) return;
    const double margin = 1.5 * key.radius + 2;
    static std::vector<std::pair<ShadowKey, QImage>> cache;  // most recent last
    auto it = std::find_if(cache.begin(), cache.end(), [&](const auto& e) { return e.first == key; });
    if (it == cache.end()) {
        if (cache.size() >= 48) cache.erase(cache.begin());
        cache.emplace_back(key, blurredShadow(key, margin));
    } else if (it + 1 != cache.end()) {
        std::rotate(it, it + 1, cache.end());
    }
    p.save();
    p.setOpacity(p.opacity() * std::clamp(m.shadowOpacity, 0.0, 1.0));
    p.drawImage(QPointF((ww - key.width) / 2.0 - margin, m.shadowY - margin), cache.back().second);
    p.restore();
}

QColor mix(const QColor& a, const QColor& b, double f) {
    f = std::clamp(f, 0.0, 1.0);
    return QColor::fromRgbF(static_cast<float>(a.redF() + (b.redF() - a.redF()) * f),
                            static_cast<float>(a.greenF() + (b.greenF() - a.greenF()) * f),
                            static_cast<float>(a.blueF() + (b.blueF() - a.blueF()) * f),
                            static_cast<float>(a.alphaF() + (b.alphaF() - a.alphaF()) * f));
}

}  // namespace

void paintOutline(QPainter& p, const DrawnOutline& m, double ww, double /*windowHeight*/) {
    const QPainterPath path = notchPath(ww, m.width, m.height, m.topRadius, m.bottomRadius);
    p.setRenderHint(QPainter::Antialiasing);
    if (m.shadowOpacity > 0.001 && m.shadowRadius > 0.01 && !path.isEmpty()) paintShadow(p, m, ww);

    // The backing strip closes the hairline between the outline and the screen edge across the
    // outline's body, less the top radius on each side; it is clear while the size preview shows.
    const double strip = 1 - std::clamp(m.rose, 0.0, 1.0);
    const QRectF body = notchBodyRect(ww, m.width, m.height);
    const double inset = std::max(0.0, m.topRadius);
    if (strip > 0 && body.width() > 2 * inset && body.height() > 0) {
        p.fillRect(QRectF(body.left() + inset, 0, body.width() - 2 * inset, std::min(1.0, body.height())),
                   QColor::fromRgbF(0, 0, 0, static_cast<float>(strip)));
    }
    if (!path.isEmpty()) p.fillPath(path, mix(Qt::black, roseColor(), m.rose));
}

AnimatedOutline::AnimatedOutline() {
    // The tail of a spring that would move nothing by half a pixel ends it: no frame paints the
    // same pixels again.
    for (AnimatedValue* v : {&width_, &height_, &top_, &bottom_, &shadowRadius_, &shadowY_}) v->setPrecision(kLengthPrecision);
    for (AnimatedValue* v : {&shadowOpacity_, &rose_}) v->setPrecision(kFractionPrecision);
}

void AnimatedOutline::setTarget(Metric metric, double target, const Animation* anim, double t) {
    AnimatedValue* values[] = {&width_, &height_, &top_, &bottom_, &shadowOpacity_, &shadowRadius_, &shadowY_, &rose_};
    values[static_cast<int>(metric)]->setTarget(target, anim, t);
}

void AnimatedOutline::jumpTo(const DrawnOutline& m) {
    width_.setTarget(m.width, nullptr, 0);
    height_.setTarget(m.height, nullptr, 0);
    top_.setTarget(m.topRadius, nullptr, 0);
    bottom_.setTarget(m.bottomRadius, nullptr, 0);
    shadowOpacity_.setTarget(m.shadowOpacity, nullptr, 0);
    shadowRadius_.setTarget(m.shadowRadius, nullptr, 0);
    shadowY_.setTarget(m.shadowY, nullptr, 0);
    rose_.setTarget(m.rose, nullptr, 0);
}

bool AnimatedOutline::step(double t) {
    bool any = false;
    for (AnimatedValue* v : {&width_, &height_, &top_, &bottom_, &shadowOpacity_, &shadowRadius_, &shadowY_, &rose_})
        any = v->step(t) || any;
    return any;
}

DrawnOutline AnimatedOutline::current() const {
    return {width_.value(),         height_.value(),        top_.value(),     bottom_.value(),
            shadowOpacity_.value(), shadowRadius_.value(), shadowY_.value(), rose_.value()};
}

DrawnOutline AnimatedOutline::target() const {
    return {width_.target(),         height_.target(),        top_.target(),     bottom_.target(),
            shadowOpacity_.target(), shadowRadius_.target(), shadowY_.target(), rose_.target()};
}

bool AnimatedOutline::moving() const {
    for (const AnimatedValue* v : {&width_, &height_, &top_, &bottom_, &shadowOpacity_, &shadowRadius_, &shadowY_, &rose_})
        if (v->moving()) return true;
    return false;
}

}  // namespace halvyn
