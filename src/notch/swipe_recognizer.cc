#include "notch/swipe_recognizer.h"

#include <algorithm>
#include <cmath>

namespace halvyn {

namespace {

// A delta that is not a number counts as no movement; a huge one as the largest allowed.
double sane(double d) {
    if (std::isnan(d)) return 0;
    return std::clamp(d, -SwipeRecognizer::kMaxDelta, SwipeRecognizer::kMaxDelta);
}

// Keeps an accumulator finite however long a swipe runs.
constexpr double kMaxAccumulated = 1e9;

}  // namespace

void SwipeRecognizer::handle(const ScrollEvent& e, bool naturalMovement) {
    double dx = sane(e.dx);
    double dy = sane(e.dy);
    if (!e.invertedFromDevice) dy = -dy;
    if (naturalMovement == e.invertedFromDevice) dx = -dx;

    accumulatedScrollDeltaX = std::clamp(accumulatedScrollDeltaX + dx, -kMaxAccumulated, kMaxAccumulated);
    accumulatedScrollDeltaY = std::clamp(accumulatedScrollDeltaY + dy, -kMaxAccumulated, kMaxAccumulated);
    const double ax = accumulatedScrollDeltaX, ay = accumulatedScrollDeltaY;

    bool matches = false;
    switch (direction_) {
        case SwipeDirection::left: matches = ax < 0 && std::fabs(ay) < std::fabs(ax); break;
        case SwipeDirection::right: matches = ax > 0 && std::fabs(ay) < ax; break;
        case SwipeDirection::up: matches = ay < 0 && std::fabs(ax) < std::fabs(ay); break;
        case SwipeDirection::down: matches = ay > 0 && std::fabs(ax) < ay; break;
    }
    if (matches && action_) {
        const bool horizontal = direction_ == SwipeDirection::left || direction_ == SwipeDirection::right;
        action_(horizontal ? std::fabs(ax) : std::fabs(ay), e.phase, e.momentumPhase);
    }
    if (e.phase == ScrollPhase::ended || e.momentumPhase == ScrollPhase::ended) reset();
}

}  // namespace halvyn
