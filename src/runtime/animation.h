#pragma once
// How a change should be drawn. The logic never waits for frames: a change applies at once and
// its completion runs when the animation is logically complete.

#include <functional>

#include "runtime/main_queue.h"
#include "runtime/time.h"

namespace halvyn {

struct Animation {
    enum class Shape { spring, criticalSpring, easeOut, linear };
    Shape shape = Shape::criticalSpring;
    double duration = 0;  // seconds: spring duration, or the response of a critically damped spring
    double bounce = 0;    // springs only

    // Critically damped spring of response 1.25·d + 0.05 (damping fraction 1).
    static Animation anim(double d) { return {Shape::criticalSpring, d * 1.25 + 0.05, 0}; }
    // Spring of duration d and bounce b.
    static Animation spring(double d, double b) { return {Shape::spring, d, b}; }
    // Critically damped spring of the given response.
    static Animation critical(double response) { return {Shape::criticalSpring, response, 0}; }
    static Animation easeOut(double d) { return {Shape::easeOut, d, 0}; }
    static Animation linear(double d) { return {Shape::linear, d, 0}; }

    // When the animation is logically complete: the duration for springs, ease-out and linear;
    // the response for critically damped springs.
    Duration completion() const { return seconds(duration < 0 ? 0 : duration); }

    friend bool operator==(const Animation&, const Animation&) = default;
};

// The animation of the change being applied on this thread, if any. Published properties hand
// it to their observers so that views know how to draw the change.
const Animation* currentAnimation();

// Applies `change` now with `anim` as the current animation, then runs `completion` (if any) on
// the main queue once the animation is complete.
void animate(MainQueue& queue, const Animation& anim, const std::function<void()>& change,
             Task completion = {});

// Sets the current animation for the life of the scope (nesting restores the outer one).
class AnimationScope {
public:
    explicit AnimationScope(const Animation* anim);
    ~AnimationScope();
    AnimationScope(const AnimationScope&) = delete;
    AnimationScope& operator=(const AnimationScope&) = delete;

private:
    const Animation* previous_;
};

}  // namespace halvyn
