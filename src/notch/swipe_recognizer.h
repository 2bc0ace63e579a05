#pragma once
// Recognises a two-finger swipe in one direction from trackpad scroll events: the deltas are
// turned to the user's sense of direction, accumulated, and while the accumulated movement points
// mostly the configured way the action hears the distance travelled. The accumulators start over
// when the fingers lift or the momentum ends.

#include <functional>

namespace halvyn {

enum class SwipeDirection { left, right, up, down };

// The phases a trackpad reports, with their raw codes.
enum class ScrollPhase { none = 0, began = 1, changed = 4, ended = 8 };

struct ScrollEvent {
    double dx = 0;  // scrollingDeltaX as the device reports it
    double dy = 0;  // scrollingDeltaY
    ScrollPhase phase = ScrollPhase::none;
    ScrollPhase momentumPhase = ScrollPhase::none;
    bool invertedFromDevice = false;  // the system's "natural" scrolling is on
};

class SwipeRecognizer {
public:
    using Action = std::function<void(double distance, ScrollPhase phase, ScrollPhase momentumPhase)>;

    SwipeRecognizer(SwipeDirection direction, Action action)
        : direction_(direction), action_(std::move(action)) {}

    // `naturalMovement` is the setting of that name, read by the caller at the event.
    void handle(const ScrollEvent& event, bool naturalMovement);
    void reset() { accumulatedScrollDeltaX = accumulatedScrollDeltaY = 0; }

    SwipeDirection direction() const { return direction_; }
    double accumulatedX() const { return accumulatedScrollDeltaX; }
    double accumulatedY() const { return accumulatedScrollDeltaY; }

    // Largest delta taken from one event, in points: a device reporting absurd values cannot
    // push the accumulators to infinity (and NaN out of them).
    static constexpr double kMaxDelta = 10000;

private:
    SwipeDirection direction_;
    Action action_;
    double accumulatedScrollDeltaX = 0;
    double accumulatedScrollDeltaY = 0;
};

}  // namespace halvyn
