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
    Animation anim_{};
    double start_ = 0;  // time the current motion started
    double from_;       // value at start_ (ease-out, linear) or displacement source (springs)
    double v0_ = 0;     // velocity at start_ (springs)
};

// Spring constants of an animation: angular frequency and damping ratio.
struct SpringConstants {
    double omega;
    double zeta;
};
SpringConstants springConstants(const Animation& anim);

}  // namespace halvyn
