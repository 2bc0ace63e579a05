#include "notch/outline_metrics.h"

#include <algorithm>
#include <cmath>

namespace halvyn {

namespace {

// Inputs that come from settings or the pointer may be anything; the outline must stay drawable.
double finite(double v) { return std::isfinite(v) ? v : 0.0; }
double nonNegative(double v) { return std::isfinite(v) && v > 0 ? v : 0.0; }

constexpr double kLiveActivityWidth = 74;
constexpr double kHiddenSimulatedNotchShrink = 48;
constexpr double kOutputPanelHeight = 34;
constexpr double kAdjustingPeekHeight = 36.8;
constexpr double kQuickPeekHeight = 32;

}  // namespace

double notificationWidth(Notch::Notification kind) {
    switch (kind) {
        case Notch::Notification::isCharging:
        case Notch::Notification::isLowBattery:
        case Notch::Notification::isLowPowerMode: return 168;
        case Notch::Notification::didConnectAirPods:
        case Notch::Notification::isLowAirPodsBattery:
        case Notch::Notification::isFocus: return 74;
        case Notch::Notification::didChangeVolume:
        case Notch::Notification::didChangeBrightness:
        case Notch::Notification::didChangeKeyboardBrightness: return 184;
        case Notch::Notification::timeToLeave: return 74;
        case Notch::Notification::isRecording: return 184;
        case Notch::Notification::none: return 0;
    }
    return 0;
}

bool isOpeningPull(const OutlineInput& in) {
    if (!in.swipeToToggle || in.swipe.direction != VerticalSwipeDirection::down || in.isWidening) return false;
    const bool restoresActivity = in.swipeToDismiss && !in.hasLiveActivity &&
                                  in.preferredLiveActivity != Notch::LiveActivity::none;
    return !restoresActivity;
}

OutlineMetrics outlineMetrics(const OutlineInput& in) {
    OutlineMetrics m;
    const bool pull = isOpeningPull(in);
    const double offset = finite(in.swipe.offset);
    const double progress = std::clamp(finite(in.swipe.progress), 0.0, 1.0);
    const bool lifted = in.isElevated || in.isQuickPeeking;

    if (in.isExpanded) {
        m.width = finite(in.notchExpandedWidth);
        m.height = finite(in.notchExpandedHeight) + (in.hasOutput ? kOutputPanelHeight : 0);
    } else {
        double w = finite(in.notchWidth);
        if (!in.isVisible && !in.hasNotch) w -= kHiddenSimulatedNotchShrink;
        if (in.hasNotification) w += notificationWidth(in.notification);
        if (in.hasLiveActivity && in.liveActivity != Notch::LiveActivity::none) w += kLiveActivityWidth;
        if (in.swipeToDismiss && in.swipe.direction == VerticalSwipeDirection::up && !in.isExpanding &&
            !in.isCollapsing)
            w += offset;
        if (in.swipeToToggle && in.swipe.direction == VerticalSwipeDirection::down) w += offset;
        w += finite(in.notchAdjustedWidth);
        m.width = w;

        double h = finite(in.notchHeight);
        if (in.isQuickPeeking)
            h += in.quickPeek == Notch::QuickPeek::isAdjusting ? kAdjustingPeekHeight : kQuickPeekHeight;
        if (pull) h += 0.75 * offset;
        h += finite(in.notchAdjustedHeight);
        m.height = h;
    }
    // A size below zero cannot be drawn; the adjustments may be set that far.
    m.width = nonNegative(m.width);
    m.height = nonNegative(m.height);

    m.topRadius = 5 + (in.hasNotification ? 1.5 : 0) + (in.hasLiveActivity ? 3 : 0);
    m.bottomRadius = (in.isElevated ? 11 : 10) + (in.hasNotification ? 0.5 : 0) + (in.hasLiveActivity ? 1.5 : 0);
    if (in.isExpanded) {
        m.topRadius += 12;
        m.bottomRadius += 24;
    } else {
        if (pull) m.topRadius += 2 * progress;
        if (in.isQuickPeeking) m.bottomRadius += 8;
        if (pull) m.bottomRadius += 3 * progress;
    }

    if (!lifted) {
        m.shadowOpacity = m.shadowRadius = m.shadowY = 0;
    } else if (in.isExpanded) {
        m.shadowOpacity = 0.6;
        m.shadowRadius = 20;
        m.shadowY = 6;
    } else if (pull) {
        m.shadowOpacity = 0.5 + 0.125 * progress;
        m.shadowRadius = 16 + 4 * progress;
        m.shadowY = 2 + 0.5 * progress;
    } else {
        m.shadowOpacity = 0.5;
        m.shadowRadius = 16;
        m.shadowY = 2;
    }

    m.fill = in.isAdjusting ? OutlineFill::rose : OutlineFill::black;
    return m;
}

const char* fillName(OutlineFill fill) { return fill == OutlineFill::rose ? "RoseColor" : "black"; }

}  // namespace halvyn
