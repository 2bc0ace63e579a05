#include "shell/spring.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace halvyn {

namespace {

// A spring is at rest once it is within its precision of the target and too slow to move that
// far again within this many seconds.
constexpr double kRestSpeedSpan = 0.1;

}  // namespace

SpringConstants springConstants(const Animation& anim) {
    const double d = std::max(anim.duration, 1e-3);
    const double omega = 2 * std::numbers::pi / d;
    if (anim.shape == Animation::Shape::criticalSpring) return {omega, 1.0};
    // Bounce 0 is critically damped; positive bounces under-damp, negative ones over-damp.
    const double b = std::clamp(anim.bounce, -0.99, 0.99);
    const double zeta = b >= 0 ? 1 - b : 1 / (1 + b);
    return {omega, zeta};
}

void AnimatedValue::setTarget(double target, const Animation* anim, double t) {
    if (moving_) step(t);
    if (!anim || anim->duration <= 0) {
        target_ = target;
        settle();
        return;
    }
    if (target == target_ && !moving_) return;
    target_ = target;
    anim_ = *anim;
    start_ = t;
    from_ = value_;
    v0_ = velocity_;
    moving_ = true;
}

void AnimatedValue::settle() {
    value_ = target_;
    velocity_ = 0;
    moving_ = false;
}

bool AnimatedValue::step(double t) {
    if (!moving_) return false;
    const double dt = std::max(0.0, t - start_);
    switch (anim_.shape) {
        case Animation::Shape::linear:
        case Animation::Shape::easeOut: {
            const double d = anim_.duration;
            if (dt >= d) {
                settle();
                return false;
            }
            const double p = dt / d;
            const double q = anim_.shape == Animation::Shape::linear ? p : 1 - (1 - p) * (1 - p);
            const double dq = anim_.shape == Animation::Shape::linear ? 1 : 2 * (1 - p);
            value_ = from_ + (target_ - from_) * q;
            velocity_ = (target_ - from_) * dq / d;
            return true;
        }
        case Animation::Shape::spring:
        case Animation::Shape::criticalSpring: {
            const auto [w, z] = springConstants(anim_);
            const double x0 = from_ - target_;
            const double v0 = v0_;
            double x, v;
            if (z < 1) {
                const double wd = w * std::sqrt(1 - z * z);
                const double a = x0;
                const double b = (v0 + z * w * x0) / wd;
                const double e = std::exp(-z * w * dt);
                const double c = std::cos(wd * dt), s = std::sin(wd * dt);
                x = e * (a * c + b * s);
                v = e * ((b * wd - z * w * a) * c - (a * wd + z * w * b) * s);
            } else if (z == 1) {
                const double b = v0 + w * x0;
                const double e = std::exp(-w * dt);
                x = e * (x0 + b * dt);
                v = e * (b - w * (x0 + b * dt));
            } else {
                const double r = w * std::sqrt(z * z - 1);
                const double r1 = -z * w + r, r2 = -z * w - r;
                const double c2 = (v0 - r1 * x0) / (r2 - r1);
                const double c1 = x0 - c2;
                const double e1 = std::exp(r1 * dt), e2 = std::exp(r2 * dt);
                x = c1 * e1 + c2 * e2;
                v = c1 * r1 * e1 + c2 * r2 * e2;
            }
            if (std::abs(x) < precision_ && std::abs(v) * kRestSpeedSpan < precision_) {
                settle();
                return false;
            }
            value_ = target_ + x;
            velocity_ = v;
            return true;
        }
    }
    return false;
}

}  // namespace halvyn
