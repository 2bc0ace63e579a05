#include "shell/outline.h"

#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <vector>

#include "notch/notch_shape.h"

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

// The outline's shadow: the path blurred (three box passes approximate a Gaussian whose
// standard deviation is half the radius), over the outline's neighbourhood only and at half
// resolution, to keep frames cheap.
void paintShadow(QPainter& p, const QPainterPath& path, const DrawnOutline& m, double ww, double wh) {
    const double scale = 0.5;
    const double margin = 1.5 * m.shadowRadius + 2;
    const QRectF area = path.boundingRect()
                            .translated(0, m.shadowY)
                            .adjusted(-margin, -margin, margin, margin)
                            .intersected(QRectF(0, 0, ww, wh));
    if (area.isEmpty()) return;
    const int w = std::max(1, static_cast<int>(std::ceil(area.width() * scale)));
    const int h = std::max(1, static_cast<int>(std::ceil(area.height() * scale)));
    QImage mask(w, h, QImage::Format_Alpha8);
    mask.fill(0);
    {
        QPainter mp(&mask);
        mp.setRenderHint(QPainter::Antialiasing);
        mp.scale(scale, scale);
        mp.translate(-area.left(), m.shadowY - area.top());
        mp.fillPath(path, Qt::black);
    }
    const double sigma = m.shadowRadius / 2 * scale;
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
    const double o = std::clamp(m.shadowOpacity, 0.0, 1.0);
    for (int y = 0; y < h; ++y) {
        uchar* line = mask.scanLine(y);
        for (int x = 0; x < w; ++x) line[x] = static_cast<uchar>(std::lround(a[static_cast<std::size_t>(y * w + x)] * o));
    }
    p.save();
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    // An alpha-only image paints in the pen's colour: black.
    p.setPen(Qt::black);
    p.drawImage(QRectF(area.left(), area.top(), w / scale, h / scale), mask);
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

void paintOutline(QPainter& p, const DrawnOutline& m, double ww, double wh) {
    const QPainterPath path = notchPath(ww, m.width, m.height, m.topRadius, m.bottomRadius);
    p.setRenderHint(QPainter::Antialiasing);
    if (m.shadowOpacity > 0.001 && m.shadowRadius > 0.01 && !path.isEmpty()) paintShadow(p, path, m, ww, wh);

    // The backing strip closes the hairline between the outline and the screen edge; it is clear
    // while the size preview shows.
    const double strip = 1 - std::clamp(m.rose, 0.0, 1.0);
    const double inset = std::max(0.0, m.topRadius);
    if (strip > 0 && ww > 2 * inset) {
        p.fillRect(QRectF(inset, 0, ww - 2 * inset, 1), QColor::fromRgbF(0, 0, 0, static_cast<float>(strip)));
    }
    if (!path.isEmpty()) p.fillPath(path, mix(Qt::black, roseColor(), m.rose));
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
