#include "notch/notch_input.h"

#include <algorithm>
#include <cmath>

#include "notch/input_seams.h"
#include "notch/notch.h"
#include "notch/notch_sources.h"
#include "platform/haptics.h"
#include "platform/platform.h"
#include "platform/services.h"
#include "settings/defaults.h"
#include "settings/keys.h"

namespace halvyn {

using L = Notch::LiveActivity;

namespace {

constexpr double kExpandedSkipThreshold = 16;
constexpr double kCompactSkipThreshold = 30;
constexpr double kDownThreshold = 12;
constexpr double kDismissThreshold = 12;
constexpr double kCollapseThreshold = 40;
// A skip waits until the swipe has lasted at least this long, so a flick does not feel instant.
constexpr double kSkipDelay = 0.2;
constexpr int kGenericHapticPattern = 0;

bool isHorizontal(SwipeDirection d) { return d == SwipeDirection::left || d == SwipeDirection::right; }

bool isMomentum(ScrollPhase p) {
    return p == ScrollPhase::began || p == ScrollPhase::changed || p == ScrollPhase::ended;
}

VerticalSwipeDirection verticalDirection(SwipeDirection d) {
    return d == SwipeDirection::up ? VerticalSwipeDirection::up : VerticalSwipeDirection::down;
}

}  // namespace

NotchInput::NotchInput(Services& ctx, Defaults& defaults, Notch& notch, NotchSources& sources,
                       Seam<NowPlayingControls> nowPlaying, Seam<CalendarControls> calendar)
    : ctx_(ctx), nowPlaying_(std::move(nowPlaying)), calendar_(std::move(calendar)), defaults_(defaults),
      sources_(sources),
      notch_(notch),
      recognizers_{
          SwipeRecognizer(SwipeDirection::left,
                          [this](double d, ScrollPhase p, ScrollPhase m) { onSwipe(SwipeDirection::left, d, p, m); }),
          SwipeRecognizer(SwipeDirection::right,
                          [this](double d, ScrollPhase p, ScrollPhase m) { onSwipe(SwipeDirection::right, d, p, m); }),
          SwipeRecognizer(SwipeDirection::up,
                          [this](double d, ScrollPhase p, ScrollPhase m) { onSwipe(SwipeDirection::up, d, p, m); }),
          SwipeRecognizer(SwipeDirection::down,
                          [this](double d, ScrollPhase p, ScrollPhase m) { onSwipe(SwipeDirection::down, d, p, m); }),
      },
      hoverDebounce(ctx.main(), "hoverDebounce") {
    // New content asks the input to forget the swipe in progress. The flag is taken back on the
    // next turn, so the next request is heard again and every observer sees this one as it was.
    resetObservation_ = notch_.shouldResetSwipes.observe([this](const bool& reset, const Animation*) {
        if (!reset) return;
        resetSwipes();
        const Lifetime::Token alive = lifetime_.token();
        ctx_.main().post([this, alive] {
            if (alive) Notch::put(notch_.shouldResetSwipes, false);
        });
    });
}

NotchInput::~NotchInput() { lifetime_.end(); }

// MARK: - Scrolling

void NotchInput::scroll(const ScrollEvent& event) {
    const bool natural = defaults_.get(keys::naturalMovement);
    for (auto& a : axes_) a.endSeen = false;
    for (auto& r : recognizers_) r.handle(event, natural);

    const bool lifted = event.phase == ScrollPhase::ended || event.momentumPhase == ScrollPhase::ended;
    if (lifted) lastDistance_ = {};
    // A swipe whose last movement was not recognised (it turned diagonal, or its action stopped
    // applying) still ends when the fingers lift: the feedback never stays stuck.
    if (event.phase == ScrollPhase::ended)
        for (Axis axis : {horizontal, vertical})
            if (axes_[axis].ongoing && !axes_[axis].endSeen) springBack(axis);
}

void NotchInput::onSwipe(SwipeDirection direction, double distance, ScrollPhase phase, ScrollPhase momentum) {
    // Only the fingers' own movement counts, never inertia.
    if (isMomentum(momentum)) return;
    if (notch_.hasNotification) return;
    const Axis axis = isHorizontal(direction) ? horizontal : vertical;
    const bool allowed = axis == horizontal ? horizontalAllowed(direction)
                         : direction == SwipeDirection::down ? verticalDownAllowed()
                                                             : verticalUpAllowed();
    if (!allowed) return;

    AxisState& st = axes_[axis];
    if (!st.ongoing) {
        st.ongoing = true;
        st.armed = false;
        st.startedAt = ctx_.clock().uptime();
    }
    st.direction = direction;

    const auto i = static_cast<std::size_t>(direction);
    const double delta = distance - lastDistance_[i];
    lastDistance_[i] = distance;

    const double t = threshold(direction);
    const double shown = axis == horizontal ? horizontalOffset.get() : verticalSwipe.get().offset;
    const double progress = std::min(std::fabs(shown) / t, 1.0);
    const double f = axis == horizontal ? kHorizontalFactor : kVerticalFactor;
    // Movement along the swipe slows down as the offset nears the threshold; movement back is
    // taken as it comes.
    const double move = delta >= 0 ? f * (1 - progress) * delta : f * delta;
    const bool positive = direction == SwipeDirection::right || direction == SwipeDirection::down;
    const double offset = positive ? std::clamp(shown + move, 0.0, t) : std::clamp(shown - move, -t, 0.0);
    setOffset(axis, offset, progress);

    if (progress >= kArming && !st.armed)
        arm(axis);
    else if (progress < kArming && st.armed)
        st.armed = false;

    if (phase == ScrollPhase::ended) {
        st.endSeen = true;
        finish(axis, direction);
    }
}

bool NotchInput::horizontalAllowed(SwipeDirection direction) const {
    auto& d = defaults_;
    if (!d.get(keys::swipeToSkip) || !d.get(keys::enableNowPlaying)) return false;
    auto* nowPlaying = nowPlaying_.get();
    if (!nowPlaying) return false;
    if (!(direction == SwipeDirection::left ? nowPlaying->hasPreviousSkip() : nowPlaying->hasNextSkip())) return false;
    const L activity = notch_.liveActivity;
    if ((activity == L::isFocus || activity == L::isLocked) && !notch_.isExpanded) return false;
    return true;
}

bool NotchInput::verticalDownAllowed() const {
    auto& d = defaults_;
    if (d.get(keys::swipeToDismiss) && !notch_.hasLiveActivity && notch_.preferredLiveActivity() != L::none)
        return true;
    return d.get(keys::swipeToToggle) && !notch_.isExpanded;
}

bool NotchInput::verticalUpAllowed() const {
    if (notch_.liveActivity == L::isLocked) return false;
    auto& d = defaults_;
    if (d.get(keys::swipeToDismiss) && !notch_.isExpanded && notch_.hasLiveActivity) return true;
    return d.get(keys::swipeToToggle) && notch_.isExpanded;
}

double NotchInput::threshold(SwipeDirection direction) const {
    switch (direction) {
        case SwipeDirection::left:
        case SwipeDirection::right: return notch_.isExpanded ? kExpandedSkipThreshold : kCompactSkipThreshold;
        case SwipeDirection::down: return kDownThreshold;
        case SwipeDirection::up:
            return defaults_.get(keys::swipeToDismiss) && !notch_.isExpanded ? kDismissThreshold
                                                                                   : kCollapseThreshold;
    }
    return kCollapseThreshold;
}

void NotchInput::setOffset(Axis axis, double offset, double progress) {
    const Animation spring = Animation::critical(0.5);
    if (axis == horizontal) {
        AnimationScope scope(&spring);
        horizontalOffset = offset;
        horizontalProgress = progress;
    } else {
        verticalSwipe.set({verticalDirection(axes_[vertical].direction), offset, progress}, spring);
    }
}

void NotchInput::arm(Axis axis) {
    axes_[axis].armed = true;
    if (axis == vertical) {
        notch_.triggerHaptic();
        return;
    }
    if (!defaults_.get(keys::enableHaptics)) return;
    if (auto* haptics = ctx_.platform().haptics()) haptics->perform(kGenericHapticPattern, 0);
}

void NotchInput::finish(Axis axis, SwipeDirection direction) {
    const bool armed = axes_[axis].armed;
    const Uptime started = axes_[axis].startedAt;
    springBack(axis);
    if (!armed) return;
    if (axis == vertical) {
        direction == SwipeDirection::down ? finishDown() : finishUp();
        return;
    }
    const double lasted = toSeconds(ctx_.clock().uptime() - started);
    if (lasted > kSkipDelay) {
        skip(direction);
        return;
    }
    const Lifetime::Token alive = lifetime_.token();
    ctx_.main().postAfter(seconds(kSkipDelay), [this, alive, direction] {
        if (alive) skip(direction);
    });
}

void NotchInput::skip(SwipeDirection direction) {
    auto* nowPlaying = nowPlaying_.get();
    if (!nowPlaying) return;
    if (direction == SwipeDirection::left)
        nowPlaying->previous();
    else
        nowPlaying->next();
}

void NotchInput::finishDown() {
    auto& d = defaults_;
    const L wanted = notch_.preferredLiveActivity();
    if (d.get(keys::swipeToDismiss) && !notch_.hasLiveActivity && wanted != L::none) {
        auto* nowPlaying = sources_.liveActivitySource(L::isPlaying);
        if (nowPlaying && nowPlaying->wantsLiveActivity()) Notch::put(notch_.isDismissed, false);
        notch_.setLiveActivity(true, wanted, false, {}, 0.35);
    } else if (d.get(keys::swipeToToggle) && !notch_.isExpanded) {
        notch_.triggerHaptic();
        notch_.setExpanded(true, false);
    }
}

void NotchInput::finishUp() {
    const L activity = notch_.liveActivity;
    if (activity == L::isLocked) return;
    auto& d = defaults_;
    if (d.get(keys::swipeToDismiss) && !notch_.isExpanded && notch_.hasLiveActivity) {
        notch_.triggerHaptic();
        if (activity == L::isCalendar) {
            // The calendar source moves on to what else wants to show.
            if (auto* calendar = calendar_.get()) calendar->dismissEvent();
        } else if (activity == L::isPlaying) {
            Notch::put(notch_.isDismissed, true);
            notch_.setLiveActivity(false, L::none, false, {}, 0.35);
            const L next = notch_.preferredLiveActivity();
            if (next != L::none && next != L::isPlaying) notch_.setLiveActivity(true, next, false, {}, 0.35);
        }
    } else if (d.get(keys::swipeToToggle) && notch_.isExpanded) {
        notch_.triggerHaptic();
        const L next = notch_.firstWantedLiveActivity();
        if (next != L::none) notch_.setLiveActivity(true, next, false, {}, 0.35);
        notch_.setExpanded(false, false);
    }
}

void NotchInput::springBack(Axis axis) {
    axes_[axis] = AxisState{};
    if (axis == horizontal) {
        horizontalOffset.set(0, Animation::critical(0.45));
        horizontalProgress.set(0, Animation::critical(0.2));
    } else {
        verticalSwipe.set({}, Animation::critical(0.45));
    }
}

void NotchInput::resetSwipes() {
    for (auto& r : recognizers_) r.reset();
    lastDistance_ = {};
    springBack(horizontal);
    springBack(vertical);
}

// MARK: - Pointer

bool NotchInput::isScreenLocked() const {
    auto* lock = sources_.lockState();
    return lock && lock->isScreenLocked();
}

void NotchInput::pointerEntered() {
    hoverDebounce.cancel();
    notch_.triggerHaptic();
    auto* nowPlaying = nowPlaying_.get();
    if (nowPlaying && !isScreenLocked()) nowPlaying->setPointerOverNotch(true);
    auto& d = defaults_;
    if (d.get(keys::expandNotchOnHover)) {
        // A negative or unreadable duration means at once.
        const double delay = d.get(keys::hoverDuration);
        const Lifetime::Token alive = lifetime_.token();
        hoverDebounce.schedule(delay > 0 ? delay : 0.0, [this, alive] {
            if (alive) notch_.setExpanded(true, false);
        });
    } else if (nowPlaying && notch_.hasLiveActivity && notch_.liveActivity == L::isPlaying) {
        nowPlaying->cancelIdleTimer();
    }
    const Lifetime::Token alive = lifetime_.token();
    ctx_.main().post([this, alive] {
        if (!alive) return;
        Notch::put(notch_.isMouseInside, true);
        Notch::put(notch_.isElevated, true, Animation::spring(0.35, 0.45));
    });
}

void NotchInput::pointerExited() {
    hoverDebounce.cancel();
    auto* nowPlaying = nowPlaying_.get();
    if (nowPlaying && !isScreenLocked()) nowPlaying->setPointerOverNotch(false);
    resetSwipes();
    Notch::put(notch_.isMouseInsideLeftContent, false);
    Notch::put(notch_.isMouseInsideRightContent, false);
    const Lifetime::Token alive = lifetime_.token();
    ctx_.main().post([this, alive] {
        if (!alive) return;
        Notch::put(notch_.isMouseInside, false);
        Notch::put(notch_.isElevated, false, Animation::spring(0.35, 0.05));
    });
}

void NotchInput::pointerInContent(ContentSide side, bool inside) {
    Notch::put(side == ContentSide::left ? notch_.isMouseInsideLeftContent : notch_.isMouseInsideRightContent, inside);
}

void NotchInput::press() {
    if (notch_.isPressed || notch_.isExpanded || defaults_.get(keys::expandNotchOnHover)) return;
    // A click is momentary: the pressed look goes once its spring has played.
    const Lifetime::Token alive = lifetime_.token();
    animate(ctx_.main(), Animation::spring(0.6, 0.35), [this] { Notch::put(notch_.isPressed, true); },
            [this, alive] {
                if (alive) Notch::put(notch_.isPressed, false);
            });
}

}  // namespace halvyn
