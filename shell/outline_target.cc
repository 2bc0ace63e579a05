#include "shell/outline_target.h"

#include "app/context.h"
#include "notch/notch.h"
#include "settings/defaults.h"
#include "settings/keys.h"

namespace halvyn {

namespace {

double addedWidth(Notch::Notification n) {
    switch (n) {
        case Notch::Notification::isCharging:
        case Notch::Notification::isLowBattery:
        case Notch::Notification::isLowPowerMode: return 168;
        case Notch::Notification::didConnectAirPods:
        case Notch::Notification::isLowAirPodsBattery:
        case Notch::Notification::isFocus:
        case Notch::Notification::timeToLeave: return 74;
        case Notch::Notification::didChangeVolume:
        case Notch::Notification::didChangeBrightness: return 184;
        case Notch::Notification::none: return 0;
    }
    return 0;
}

}  // namespace

OutlineMetrics outlineTarget(Context& ctx, const VerticalSwipe& swipe) {
    const Notch& n = ctx.notch();
    const Defaults& d = ctx.defaults();
    const bool swipeToToggle = d.get(keys::swipeToToggle);
    const bool swipeToDismiss = d.get(keys::swipeToDismiss);
    const bool down = swipe.direction == VerticalSwipe::Direction::down;
    const bool up = swipe.direction == VerticalSwipe::Direction::up;
    const bool hasLive = n.hasLiveActivity.get();
    const bool hasNotification = n.hasNotification.get();
    const bool expanded = n.isExpanded.get();

    // A down swipe that would bring back a dismissed activity does not stretch the outline.
    const bool restoring = swipeToDismiss && !hasLive && n.preferredLiveActivity() != Notch::LiveActivity::none;
    const bool pull = swipeToToggle && down && !n.isWidening.get() && !restoring;
    const bool lifted = n.isElevated.get() || n.isQuickPeeking.get();

    OutlineMetrics m;
    if (expanded) {
        m.width = n.notchExpandedWidth.get();
        m.height = n.notchExpandedHeight.get() + (n.hasOutput.get() ? 34 : 0);
    } else {
        double w = n.notchWidth.get();
        if (!n.isVisible.get() && !n.hasNotch()) w -= 48;
        if (hasNotification) w += addedWidth(n.notification.get());
        if (hasLive && n.liveActivity.get() != Notch::LiveActivity::none) w += 74;
        if (swipeToDismiss && up && !n.isExpanding.get() && !n.isCollapsing.get()) w += swipe.offset;
        if (swipeToToggle && down) w += swipe.offset;
        m.width = w + d.get(keys::notchAdjustedWidth);

        double h = n.notchHeight.get();
        if (n.isQuickPeeking.get()) h += n.quickPeek.get() == Notch::QuickPeek::isAdjusting ? 36.8 : 32;
        if (pull) h += 0.75 * swipe.offset;
        m.height = h + d.get(keys::notchAdjustedHeight);
    }

    double top = 5 + (hasNotification ? 1.5 : 0) + (hasLive ? 3 : 0);
    if (expanded) top += 12;
    else if (pull) top += 2 * swipe.progress;
    m.topRadius = top;

    double bottom = (n.isElevated.get() ? 11 : 10) + (hasNotification ? 0.5 : 0) + (hasLive ? 1.5 : 0);
    if (expanded) {
        bottom += 24;
    } else {
        if (n.isQuickPeeking.get()) bottom += 8;
        if (pull) bottom += 3 * swipe.progress;
    }
    m.bottomRadius = bottom;

    if (!lifted) {
        m.shadowOpacity = m.shadowRadius = m.shadowY = 0;
    } else if (expanded) {
        m.shadowOpacity = 0.6;
        m.shadowRadius = 20;
        m.shadowY = 6;
    } else if (pull) {
        const double p = swipe.progress;
        m.shadowOpacity = 0.5 + 0.125 * p;
        m.shadowRadius = 16 + 4 * p;
        m.shadowY = 2 + 0.5 * p;
    } else {
        m.shadowOpacity = 0.5;
        m.shadowRadius = 16;
        m.shadowY = 2;
    }
    m.rose = n.isAdjusting.get() ? 1 : 0;
    return m;
}

}  // namespace halvyn
