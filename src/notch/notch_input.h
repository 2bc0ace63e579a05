#pragma once
// Pointer, hover and two-finger swipe input on the notch. The desktop program hands every event
// here (one entry point per kind); this turns them into the notch's operations, media skips and
// the swipe feedback (offset and progress per axis) that the views and the outline draw.

#include <array>
#include <memory>

#include "notch/outline_metrics.h"
#include "notch/swipe_recognizer.h"
#include "runtime/debounce.h"
#include "runtime/lifetime.h"
#include "runtime/published.h"
#include "runtime/seam.h"
#include "runtime/time.h"

namespace halvyn {

class Services;
class Defaults;
class NotchSources;
class Notch;
class NowPlayingControls;
class CalendarControls;

class NotchInput {
public:
    enum class ContentSide { left, right };

    NotchInput(Services& ctx, Defaults& defaults, Notch& notch, NotchSources& sources,
               Seam<NowPlayingControls> nowPlaying, Seam<CalendarControls> calendar);
    ~NotchInput();
    NotchInput(const NotchInput&) = delete;
    NotchInput& operator=(const NotchInput&) = delete;

    // A trackpad scroll event while the pointer is over the notch.
    void scroll(const ScrollEvent& event);
    void pointerEntered();
    void pointerExited();
    // The pointer over the left or right part of a live activity or peek.
    void pointerInContent(ContentSide side, bool inside);
    // A click on the notch.
    void press();

    // Swipe feedback. Offsets are in points, negative to the left and upwards.
    Owned<double, NotchInput> horizontalOffset{0};
    Owned<double, NotchInput> horizontalProgress{0};
    Owned<VerticalSwipeState, NotchInput> verticalSwipe;

    bool isHorizontalArmed() const { return axes_[0].armed; }
    bool isVerticalArmed() const { return axes_[1].armed; }

    // Damping factors and the share of the threshold that arms a swipe.
    static constexpr double kHorizontalFactor = 0.9;
    static constexpr double kVerticalFactor = 0.75;
    static constexpr double kArming = 0.9;

private:
    enum Axis { horizontal = 0, vertical = 1 };
    struct AxisState {
        bool ongoing = false;
        bool armed = false;
        SwipeDirection direction = SwipeDirection::left;
        Uptime startedAt{0};
        bool endSeen = false;  // the current event's lift reached this axis' handling
    };

    void onSwipe(SwipeDirection direction, double distance, ScrollPhase phase, ScrollPhase momentum);
    // Whether a swipe in this direction can do anything now; a swipe that cannot is not followed.
    bool horizontalAllowed(SwipeDirection direction) const;
    bool verticalDownAllowed() const;
    bool verticalUpAllowed() const;
    double threshold(SwipeDirection direction) const;
    void setOffset(Axis axis, double offset, double progress);
    void arm(Axis axis);
    void finish(Axis axis, SwipeDirection direction);
    void skip(SwipeDirection direction);
    void finishDown();
    void finishUp();
    // Springs the axis back to rest and forgets the swipe.
    void springBack(Axis axis);
    void resetSwipes();
    bool isScreenLocked() const;

    Services& ctx_;
    Seam<NowPlayingControls> nowPlaying_;
    Seam<CalendarControls> calendar_;
    Defaults& defaults_;
    NotchSources& sources_;
    Notch& notch_;
    Lifetime lifetime_;
    std::array<SwipeRecognizer, 4> recognizers_;
    // The distance each direction last reported, to move the offset by what changed.
    std::array<double, 4> lastDistance_{};
    std::array<AxisState, 2> axes_;
    Debounce hoverDebounce;
    Subscription resetObservation_;
};

}  // namespace halvyn
