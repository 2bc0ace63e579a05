#include <gtest/gtest.h>

#include <vector>

#include "notch/swipe_recognizer.h"

namespace halvyn {
namespace {

struct Call {
    double distance;
    ScrollPhase phase;
    ScrollPhase momentum;
};

struct Recorded {
    std::vector<Call> calls;
    SwipeRecognizer r;
    explicit Recorded(SwipeDirection d)
        : r(d, [this](double dist, ScrollPhase p, ScrollPhase m) { calls.push_back({dist, p, m}); }) {}
};

ScrollEvent ev(double dx, double dy, bool inverted, ScrollPhase phase = ScrollPhase::changed,
               ScrollPhase momentum = ScrollPhase::none) {
    return {dx, dy, phase, momentum, inverted};
}

// Natural movement × the device's inversion: which raw deltas read as which direction.
TEST(SwipeRecognizer, NaturalMovementAndInversionDecideTheSignOfEachAxis) {
    struct Case {
        bool natural, inverted;
        double dx, dy;
        SwipeDirection expected;
    };
    const Case cases[] = {
        // Not natural, not inverted: dx negated, dy negated (a move to the left reads left).
        {false, false, 5, 0, SwipeDirection::left},
        {false, false, 0, 5, SwipeDirection::up},
        // Not natural, inverted: dx kept, dy kept.
        {false, true, 5, 0, SwipeDirection::right},
        {false, true, 0, 5, SwipeDirection::down},
        // Natural, not inverted: dx kept, dy negated.
        {true, false, 5, 0, SwipeDirection::right},
        {true, false, 0, 5, SwipeDirection::up},
        // Natural, inverted: dx negated, dy kept.
        {true, true, 5, 0, SwipeDirection::left},
        {true, true, 0, 5, SwipeDirection::down},
    };
    for (const auto& c : cases) {
        for (auto d : {SwipeDirection::left, SwipeDirection::right, SwipeDirection::up, SwipeDirection::down}) {
            Recorded rec(d);
            rec.r.handle(ev(c.dx, c.dy, c.inverted), c.natural);
            EXPECT_EQ(rec.calls.size(), d == c.expected ? 1u : 0u)
                << "natural " << c.natural << " inverted " << c.inverted << " dx " << c.dx << " dy " << c.dy
                << " direction " << static_cast<int>(d);
        }
    }
}

TEST(SwipeRecognizer, ReportsTheAccumulatedDistanceAndIgnoresDiagonals) {
    Recorded right(SwipeDirection::right);
    right.r.handle(ev(4, 1, true, ScrollPhase::began), false);
    right.r.handle(ev(6, -2, true), false);
    ASSERT_EQ(right.calls.size(), 2u);
    EXPECT_DOUBLE_EQ(right.calls[0].distance, 4);
    EXPECT_DOUBLE_EQ(right.calls[1].distance, 10);
    EXPECT_EQ(right.calls[0].phase, ScrollPhase::began);

    // |ay| equal to ax is not horizontal enough.
    Recorded diag(SwipeDirection::right);
    diag.r.handle(ev(5, 5, true), false);
    EXPECT_TRUE(diag.calls.empty());
    diag.r.handle(ev(1, 0, true), false);  // now 6 against 5
    EXPECT_EQ(diag.calls.size(), 1u);
}

TEST(SwipeRecognizer, EndedPhaseOrMomentumResetsAfterTheCall) {
    Recorded down(SwipeDirection::down);
    down.r.handle(ev(0, 10, true), false);
    down.r.handle(ev(0, 0, true, ScrollPhase::ended), false);
    ASSERT_EQ(down.calls.size(), 2u);
    EXPECT_DOUBLE_EQ(down.calls[1].distance, 10);  // the ending event still hears the distance
    EXPECT_EQ(down.calls[1].phase, ScrollPhase::ended);
    EXPECT_EQ(down.r.accumulatedY(), 0);

    down.r.handle(ev(0, 3, true, ScrollPhase::none, ScrollPhase::changed), false);
    down.r.handle(ev(0, 3, true, ScrollPhase::none, ScrollPhase::ended), false);
    EXPECT_EQ(down.r.accumulatedY(), 0);
    EXPECT_DOUBLE_EQ(down.calls.back().distance, 6);
    EXPECT_EQ(down.calls.back().momentum, ScrollPhase::ended);
}

}  // namespace
}  // namespace halvyn
