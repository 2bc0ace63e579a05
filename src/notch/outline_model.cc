#include "notch/outline_model.h"

#include "notch/notch.h"
#include "notch/notch_input.h"
#include "platform/platform.h"
#include "platform/screens.h"
#include "platform/services.h"
#include "settings/defaults.h"
#include "settings/keys.h"

namespace halvyn {

namespace {

template <class T>
Subscription follow(Published<T>& p, std::function<void()> cb) {
    return p.observe([cb = std::move(cb)](const T&, const Animation*) { cb(); });
}

}  // namespace

Outline::Outline(Services& ctx, Defaults& defaults, Notch& notch, NotchInput& input)
    : ctx_(ctx), defaults_(defaults), notch_(notch), input_(input) {
    auto again = [this] { recompute(); };
    Notch& n = notch_;
    observations_.push_back(follow(n.notchWidth, again));
    observations_.push_back(follow(n.notchHeight, again));
    observations_.push_back(follow(n.notchExpandedWidth, again));
    observations_.push_back(follow(n.notchExpandedHeight, again));
    observations_.push_back(follow(n.isExpanded, again));
    observations_.push_back(follow(n.isExpanding, again));
    observations_.push_back(follow(n.isCollapsing, again));
    observations_.push_back(follow(n.isVisible, again));
    observations_.push_back(follow(n.hasNotification, again));
    observations_.push_back(follow(n.notification, again));
    observations_.push_back(follow(n.hasLiveActivity, again));
    observations_.push_back(follow(n.liveActivity, again));
    observations_.push_back(follow(n.isQuickPeeking, again));
    observations_.push_back(follow(n.quickPeek, again));
    observations_.push_back(follow(n.hasOutput, again));
    observations_.push_back(follow(n.isElevated, again));
    observations_.push_back(follow(n.isWidening, again));
    observations_.push_back(follow(n.isAdjusting, again));
    observations_.push_back(follow(input_.verticalSwipe, again));
    // Whether the target screen has a camera housing decides the faded width, and nothing the
    // notch publishes need change with it.
    if (auto* screens = ctx.platform().screens()) observations_.push_back(screens->observeParameters(again));
    auto& d = defaults_;
    observations_.push_back(d.observe(keys::swipeToToggle, [this](const bool&, const bool&) { recompute(); }));
    observations_.push_back(d.observe(keys::swipeToDismiss, [this](const bool&, const bool&) { recompute(); }));
    observations_.push_back(
        d.observe(keys::notchAdjustedWidth, [this](const double&, const double&) { recompute(); }));
    observations_.push_back(
        d.observe(keys::notchAdjustedHeight, [this](const double&, const double&) { recompute(); }));

    properties_.add("width", width);
    properties_.add("height", height);
    properties_.add("topRadius", topRadius);
    properties_.add("bottomRadius", bottomRadius);
    properties_.add("shadowOpacity", shadowOpacity);
    properties_.add("shadowRadius", shadowRadius);
    properties_.add("shadowY", shadowY);
    properties_.add("fill", fill);
    recompute();
}

Outline::~Outline() = default;

OutlineInput Outline::input() const {
    const Notch& n = notch_;
    auto& d = defaults_;
    OutlineInput in;
    in.notchWidth = n.notchWidth;
    in.notchHeight = n.notchHeight;
    in.notchExpandedWidth = n.notchExpandedWidth;
    in.notchExpandedHeight = n.notchExpandedHeight;
    in.isExpanded = n.isExpanded;
    in.isExpanding = n.isExpanding;
    in.isCollapsing = n.isCollapsing;
    in.isVisible = n.isVisible;
    in.hasNotification = n.hasNotification;
    in.notification = n.notification;
    in.hasLiveActivity = n.hasLiveActivity;
    in.liveActivity = n.liveActivity;
    in.isQuickPeeking = n.isQuickPeeking;
    in.quickPeek = n.quickPeek;
    in.hasOutput = n.hasOutput;
    in.isElevated = n.isElevated;
    in.isWidening = n.isWidening;
    in.isAdjusting = n.isAdjusting;
    in.swipeToToggle = d.get(keys::swipeToToggle);
    in.swipeToDismiss = d.get(keys::swipeToDismiss);
    in.notchAdjustedWidth = d.get(keys::notchAdjustedWidth);
    in.notchAdjustedHeight = d.get(keys::notchAdjustedHeight);
    in.swipe = input_.verticalSwipe;
    // The two predicates ask the screens and the sources; they matter only in these states.
    if (!in.isExpanded && !in.isVisible) in.hasNotch = n.hasNotch();
    if (in.swipe.direction == VerticalSwipeDirection::down && in.swipeToToggle && in.swipeToDismiss &&
        !in.hasLiveActivity)
        in.preferredLiveActivity = n.preferredLiveActivity();
    return in;
}

void Outline::recompute() {
    const OutlineMetrics m = outlineMetrics(input());
    width = m.width;
    height = m.height;
    topRadius = m.topRadius;
    bottomRadius = m.bottomRadius;
    shadowOpacity = m.shadowOpacity;
    shadowRadius = m.shadowRadius;
    shadowY = m.shadowY;
    // The fill follows the adjustment preview with a spring of its own; everything else takes
    // the animation of the change that caused it.
    fill.set(fillName(m.fill), Animation::critical(0.35));
}

}  // namespace halvyn
