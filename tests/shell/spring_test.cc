#include "shell/spring.h"

#include <cmath>

#include <gtest/gtest.h>

namespace halvyn {
namespace {

// Runs a value from 0 to 100 under `anim`, sampling every millisecond for `seconds`.
struct Trace {
    double maxValue = -1e9;
    double minValue = 1e9;
    double settledAt = -1;
};
Trace run(const Animation& anim, double seconds = 3) {
    AnimatedValue v(0);
    v.setTarget(100, &anim, 0);
    Trace tr;
    for (int i = 1; i <= static_cast<int>(seconds * 1000); ++i) {
        const double t = i / 1000.0;
        const bool moving = v.step(t);
        tr.maxValue = std::max(tr.maxValue, v.value());
        tr.minValue = std::min(tr.minValue, v.value());
        if (!moving && tr.settledAt < 0) tr.settledAt = t;
    }
    return tr;
}

TEST(AnimatedValue, SpringShapesDifferAsTheirBounceSays) {
    // Critically damped springs and negative bounces never overshoot; positive bounces do.
    EXPECT_LE(run(Animation::anim(0.35)).maxValue, 100.0);
    EXPECT_LE(run(Animation::spring(0.35, -0.2)).maxValue, 100.0);
    EXPECT_LE(run(Animation::critical(0.5)).maxValue, 100.0);
    EXPECT_GT(run(Animation::spring(0.35, 0.3)).maxValue, 104.0);  // damping ratio 0.7: 4.6 %
    EXPECT_GE(run(Animation::anim(0.35)).minValue, 0.0);

    // A larger bounce overshoots more.
    EXPECT_GT(run(Animation::spring(0.6, 0.35)).maxValue, run(Animation::spring(0.35, 0.1)).maxValue);
}

TEST(AnimatedValue, ComesToRestSoNothingKeepsPainting) {
    for (const Animation& a : {Animation::anim(0.35), Animation::spring(0.45, 0.4), Animation::spring(0.35, -0.2),
                               Animation::easeOut(0.3), Animation::linear(0.1)}) {
        const Trace tr = run(a, 5);
        EXPECT_GT(tr.settledAt, 0) << "still moving after 5 s";
        EXPECT_LT(tr.settledAt, 3.0);
    }
    // Near the response time a critically damped spring is within a few percent of its target.
    AnimatedValue v(0);
    const Animation a = Animation::critical(0.4);
    v.setTarget(100, &a, 0);
    v.step(0.4);
    EXPECT_GT(v.value(), 95.0);
    EXPECT_LT(v.value(), 100.0);
}

TEST(AnimatedValue, MotionDoesNotDependOnFrameTiming) {
    const Animation a = Animation::spring(0.45, 0.4);
    AnimatedValue fine(10), coarse(10);
    fine.setTarget(200, &a, 1.0);
    coarse.setTarget(200, &a, 1.0);
    for (int i = 1; i <= 250; ++i) fine.step(1.0 + i / 1000.0);
    coarse.step(1.1);
    coarse.step(1.25);
    EXPECT_NEAR(fine.value(), coarse.value(), 1e-9);
    EXPECT_NEAR(fine.velocity(), coarse.velocity(), 1e-6);
}

TEST(AnimatedValue, RetargetingKeepsPositionAndVelocity) {
    const Animation a = Animation::anim(0.35);
    AnimatedValue v(0);
    v.setTarget(100, &a, 0);
    v.step(0.1);
    const double x = v.value(), speed = v.velocity();
    ASSERT_GT(speed, 0);
    v.setTarget(-50, &a, 0.1);
    EXPECT_DOUBLE_EQ(v.value(), x);
    EXPECT_DOUBLE_EQ(v.velocity(), speed);
    v.step(0.1005);
    EXPECT_GT(v.value(), x) << "momentum carries on for an instant before turning";
}

TEST(AnimatedValue, JumpsWithoutAnimationAndTimedCurvesEndOnTime) {
    AnimatedValue v(5);
    const Animation a = Animation::anim(0.35);
    v.setTarget(50, &a, 0);
    v.step(0.05);
    v.setTarget(20, nullptr, 0.06);
    EXPECT_EQ(v.value(), 20);
    EXPECT_FALSE(v.moving());

    const Animation ease = Animation::easeOut(0.2);
    AnimatedValue e(0);
    e.setTarget(1, &ease, 0);
    e.step(0.1);
    EXPECT_NEAR(e.value(), 0.75, 1e-12);
    EXPECT_FALSE(e.step(0.2));
    EXPECT_EQ(e.value(), 1);
}

}  // namespace
}  // namespace halvyn
