#pragma once
// Pointer input on the notch, in the notch's terms: the pointer entering and leaving the
// outline, presses, and scroll events as the toolkit reports them.

#include <cmath>

#include "runtime/debounce.h"

namespace halvyn {

class Context;

// A scroll event over the notch. Phases use the system's codes: none 0, began 1, changed 4,
// ended 8 (and, for the finger phase, stationary 2, cancelled 16, may-begin 32).
struct ScrollEvent {
    double dx = 0;
    double dy = 0;
    int phase = 0;
    int momentumPhase = 0;
    bool inverted = false;  // the device reports natural (inverted) scrolling

    // Deltas that are not finite carry no movement.
    bool valid() const { return std::isfinite(dx) && std::isfinite(dy); }
};

class NotchPointer {
public:
    explicit NotchPointer(Context& ctx);

    void entered();
    void left();
    // A press and its release on the outline.
    void pressed();
    void released(bool inside);
    // Where a swipe recogniser takes over; scroll events are validated here first.
    void scrolled(const ScrollEvent& e);

    bool isInside() const { return inside_; }

private:
    Context& ctx_;
    Debounce hoverDebounce_;
    bool inside_ = false;
    bool pressedCompact_ = false;
};

}  // namespace halvyn
