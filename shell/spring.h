#pragma once
// Animates one number toward a target the way a change asks to be drawn: springs are solved
// exactly (closed form of the damped oscillator), so a frame rate change never alters the
// motion, and a new target mid-flight keeps the current position and velocity.

#include "runtime/animation.h"

namespace halvyn {

class AnimatedValue {
public:
    explicit AnimatedValue(double value = 0) : value_(value), target_(value), from_(value) {}

    // Moves toward `target` as `anim` says (nullptr: jump there at once). `t` is the current
    // time in seconds on any monotonic clock.
    void setTarget(double target, const Animation* anim, double t);
    // Advances to time `t`; returns whether the value is still moving.
    bool step(double t);

    // The smallest change that shows: a spring whose remaining distance is below it (and whose
    // speed would not carry it that far within a few frames) has arrived. Defaults to a
    // hundredth of a unit.
    void setPrecision(double precision) { precision_ = precision; }

    double value() const { return value_; }
    double target() const { return target_; }
    double velocity() const { return velocity_; }
    bool moving() const { return moving_; }

private:
    void settle();

    double value_;
    double velocity_ = 0;
    double target_;
    bool moving_ = false;
    double precision_ = 0.01;
    Animation anim_{};
    double start_ = 0;  // time the current motion started
    double from_;       // value at start_ (ease-out, linear) or displacement source (springs)
    double v0_ = 0;     // velocity at start_ (springs)
};

// Half a pixel on a screen of two pixels a point: a length animated closer than this to its
// target looks arrived.
inline constexpr double kLengthPrecision = 0.25;
// Half a step of an 8-bit channel: the same for an opacity or a colour's mix.
inline constexpr double kFractionPrecision = 0.5 / 255;

// Spring constants of an animation: angular frequency and damping ratio.
struct SpringConstants {
    double omega;
    double zeta;
};
SpringConstants springConstants(const Animation& anim);

}  // namespace halvyn
