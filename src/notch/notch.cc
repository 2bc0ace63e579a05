#include "notch/notch.h"

#include <algorithm>
#include <cmath>
#include <string_view>

#include "notch/gui_manager.h"
#include "notch/notch_sources.h"
#include "notch/screen_manager.h"
#include "platform/haptics.h"
#include "platform/platform.h"
#include "platform/services.h"
#include "settings/defaults.h"
#include "settings/keys.h"

namespace halvyn {

using N = Notch::Notification;
using L = Notch::LiveActivity;
using Q = Notch::QuickPeek;

namespace {
constexpr double kDefaultDuration = 0.35;
constexpr int kSpaceLevel = 400;
}  // namespace

Notch::Notch(Services& ctx, Defaults& defaults, NotchSources& sources, GUIManager& gui)
    : ctx_(ctx), defaults_(defaults), sources_(sources), gui_(gui),
      space(ctx.platform().overlayPlacement(), kSpaceLevel),
      disableDebounce(ctx.main(), "disableDebounce"),
      notificationSwapDebounce(ctx.main(), "notificationSwapDebounce"),
      notificationCloseDebounce(ctx.main(), "notificationCloseDebounce"),
      notificationRestoreDebounce(ctx.main(), "notificationRestoreDebounce"),
      liveActivitySwapDebounce(ctx.main(), "liveActivitySwapDebounce"),
      quickPeekDebounce(ctx.main(), "quickPeekDebounce"),
      adjustDebounce(ctx.main(), "adjustDebounce"),
      hapticDebounce(ctx.main(), "hapticDebounce") {
    if (auto* screens = ctx.platform().screens())
        cancellables.push_back(screens->observeParameters([this] { screenParametersChanged(); }));

    properties_.add("isEnabled", isEnabled);
    properties_.add("isVisible", isVisible);
    properties_.add("isMouseInside", isMouseInside);
    properties_.add("isMouseInsideLeftContent", isMouseInsideLeftContent);
    properties_.add("isMouseInsideRightContent", isMouseInsideRightContent);
    properties_.add("isElevated", isElevated);
    properties_.add("isPressed", isPressed);
    properties_.add("isQuickPeeking", isQuickPeeking);
    properties_.add("isExpanded", isExpanded);
    properties_.add("isExpanding", isExpanding);
    properties_.add("isCollapsing", isCollapsing);
    properties_.add("isWidening", isWidening);
    properties_.add("isAdjusting", isAdjusting);
    properties_.add("isDismissed", isDismissed);
    properties_.add("hasNotification", hasNotification);
    properties_.add("hasLiveActivity", hasLiveActivity);
    properties_.add("hasOutput", hasOutput);
    properties_.add("hasRecentlyTriggeredHaptic", hasRecentlyTriggeredHaptic);
    properties_.add("notification", notification);
    properties_.add("notificationIntent", notificationIntent);
    properties_.add("liveActivity", liveActivity);
    properties_.add("quickPeek", quickPeek);
    properties_.add("localDevice", localDevice);
    properties_.add("notchWidth", notchWidth);
    properties_.add("notchHeight", notchHeight);
    properties_.add("notchExpandedWidth", notchExpandedWidth);
    properties_.add("notchExpandedHeight", notchExpandedHeight);
    properties_.add("lastAdjustment", lastAdjustment);
    properties_.add("shouldResetSwipes", shouldResetSwipes);
}

Notch::~Notch() {
    lifetime_.end();
    fadeIn_.cancel();
    if (windowController) {
        space.remove(windowController->id());
        windowController->close();
    }
}

// MARK: - Helpers

Task Notch::guarded(std::function<void()> task) const {
    const Lifetime::Token alive = lifetime_.token();
    return [alive, task = std::move(task)] {
        if (alive) task();
    };
}

void Notch::post(std::function<void()> task) { ctx_.main().post(guarded(std::move(task))); }

TaskHandle Notch::after(double delay, std::function<void()> task) {
    return ctx_.main().postAfter(seconds(delay), guarded(std::move(task)));
}

void Notch::animate(const Animation& anim, const std::function<void()>& change, std::function<void()> completion) {
    halvyn::animate(ctx_.main(), anim, change, completion ? guarded(std::move(completion)) : Task{});
}

void Notch::record(const char* name, Value args) const {
    if (auto* r = ctx_.callRecorder()) r->call(name, std::move(args));
}

bool Notch::allowsNotification(N kind) const {
    if (kind == N::none) return false;
    auto* source = sources_.notificationSource(kind);
    return source && source->allowsNotification(kind);
}

bool Notch::wantsLiveActivity(L kind) const {
    auto* source = sources_.liveActivitySource(kind);
    return source && source->wantsLiveActivity();
}

void Notch::captureLocalDevice() {
    if (auto* accessory = sources_.accessory()) {
        if (auto device = accessory->currentDevice()) localDevice = device;
    }
}

void Notch::endQuickPeek(double duration, double bounce) { setQuickPeek(false, Q::none, true, duration, bounce, 0); }

L Notch::preferredLiveActivity() const {
    if (wantsLiveActivity(L::isLocked)) return L::isLocked;
    return firstWantedLiveActivity();
}

L Notch::firstWantedLiveActivity() const {
    for (L kind : {L::isFocus, L::isCalendar, L::isPlaying})
        if (wantsLiveActivity(kind)) return kind;
    return L::none;
}

bool Notch::isNotifying() const { return hasNotification.get() || notificationSwapDebounce.isPending(); }

// MARK: - Notifications

void Notch::setNotification(bool isShowing, N kind, double duration, double dismissAfter) {
    record("Notch.setNotification", Value::Array{isShowing, caseName(kind), duration, dismissAfter});
    if (isAdjusting && isShowing) return;
    // A refused notification leaves what is showing, and its timers, as they were: asking first
    // keeps a notification that is up from losing its close timer (it would never close).
    if (isShowing && !allowsNotification(kind)) return;

    liveActivitySwapDebounce.cancel();
    notificationSwapDebounce.cancel();
    notificationCloseDebounce.cancel();
    notificationRestoreDebounce.cancel();
    notificationIntent = kind;

    if (!isShowing) {
        post([this, duration] {
            animate(
                Animation::spring(duration, -0.2),
                [this] {
                    hasNotification = false;
                    notification = N::none;
                },
                [this] {
                    isWidening = false;
                    notificationIntent = N::none;
                    if (!hasNotification) captureLocalDevice();
                });
        });
        notificationRestoreDebounce.schedule(duration, guarded([this] { restoreLiveActivity(); }));
        return;
    }

    captureLocalDevice();
    isWidening = true;
    shouldResetSwipes = true;
    if (isQuickPeeking) endQuickPeek(duration, -0.5);
    if (isExpanded) setExpanded(false, false);

    const bool direct = !hasLiveActivity && (!hasNotification || notification.get() == kind);
    if (direct) {
        animate(
            Animation::anim(duration),
            [this, kind] {
                notification = kind;
                hasNotification = true;
            },
            [this] {
                isWidening = false;
                notificationIntent = N::none;
            });
        if (dismissAfter > 0)
            notificationCloseDebounce.schedule(
                dismissAfter, guarded([this] { setNotification(false, N::none, kDefaultDuration, 0); }));
        return;
    }

    if (hasLiveActivity)
        setLiveActivity(false, L::none, false, {}, kDefaultDuration);
    else
        animate(Animation::spring(duration, -0.2), [this] { hasNotification = false; });
    notificationSwapDebounce.schedule(duration, guarded([this, kind, duration] {
                                          animate(Animation::anim(duration), [this, kind] {
                                              hasNotification = true;
                                              notification = kind;
                                          });
                                      }));
    if (dismissAfter > 0)
        notificationCloseDebounce.schedule(duration + dismissAfter, guarded([this] {
                                               setNotification(false, N::none, kDefaultDuration, 0);
                                           }));
}

void Notch::restoreLiveActivity() {
    // A disable closes the notification too; its restore must not bring content back to a notch
    // that is out of service. The next enable's callers start what is wanted then.
    if (!isEnabled) return;
    const L kind = preferredLiveActivity();
    if (kind != L::none) setLiveActivity(true, kind, false, {}, kDefaultDuration);
}

// MARK: - Live activities

bool Notch::isBlocked(L kind) const {
    if (!hasLiveActivity) return false;
    const L cur = liveActivity;
    switch (kind) {
        case L::none: return true;
        case L::isLocked: return cur == L::isLocked;
        case L::isAdjusting: return cur == L::isLocked || cur == L::isAdjusting;
        case L::isFocus: return cur == L::isLocked || cur == L::isAdjusting || cur == L::isFocus;
        case L::isCalendar: return cur != L::isPlaying && cur != L::none;
        case L::isPlaying: return true;
    }
    return true;
}

void Notch::setLiveActivity(bool isStarting, L kind, bool force, std::function<void()> completion, double duration) {
    record("Notch.setLiveActivity", Value::Array{isStarting, caseName(kind), force,
                                                 completion ? Value(true) : Value(), duration});
    if (kind != L::isAdjusting && isAdjusting && isStarting) return;
    // A notch out of service shows nothing; enabling it again brings back what is wanted then.
    if (isStarting && !isEnabled) return;
    // A refused start (the user dismissed now playing, or a higher activity shows) leaves what is
    // showing, and its timers, as they were.
    if (isStarting) {
        if (kind == L::isPlaying && isDismissed) return;
        if (!force && isBlocked(kind)) return;
    }

    liveActivitySwapDebounce.cancel();

    if (!isStarting) {
        if (isQuickPeeking) endQuickPeek(duration, -0.5);
        animate(Animation::spring(duration, -0.2), [this] {
            hasLiveActivity = false;
            liveActivity = L::none;
        });
        return;
    }

    notificationSwapDebounce.cancel();
    notificationCloseDebounce.cancel();
    notificationRestoreDebounce.cancel();

    isWidening = true;
    shouldResetSwipes = true;

    const bool sameKind = hasLiveActivity && liveActivity.get() == kind;
    const bool direct = (!hasLiveActivity || sameKind) && !hasNotification;
    if (direct) {
        post([this, kind, duration, completion = std::move(completion)] {
            animate(
                Animation::anim(duration),
                [this, kind, &completion] {
                    liveActivity = kind;
                    hasLiveActivity = true;
                    if (completion) completion();
                },
                [this] { isWidening = false; });
        });
        return;
    }

    if (isQuickPeeking) endQuickPeek(duration, -0.5);
    if (hasNotification)
        setNotification(false, N::none, kDefaultDuration, 0);
    else
        animate(Animation::spring(duration, -0.2), [this] { hasLiveActivity = false; });
    liveActivitySwapDebounce.schedule(duration, guarded([this, kind, duration, completion = std::move(completion)] {
                                          animate(
                                              Animation::anim(duration),
                                              [this, &completion] {
                                                  hasLiveActivity = true;
                                                  if (completion) completion();
                                              },
                                              [this] { isWidening = false; });
                                          liveActivity = kind;
                                      }));
}

// MARK: - Quick peeks

void Notch::setQuickPeek(bool isShowing, Q kind, bool useSpring, double duration, double bounce, double dismissAfter) {
    record("Notch.setQuickPeek", Value::Array{isShowing, caseName(kind), useSpring, duration, bounce, dismissAfter});
    if (isShowing) {
        const auto& defaults = defaults_;
        bool allowed;
        if (kind == Q::isAdjusting)
            allowed = true;
        else if (kind == Q::isCalendar)
            allowed = defaults.get(keys::enableCalendarQuickPeek);
        else
            allowed = defaults.get(keys::enableQuickPeek);
        if (!allowed) return;
    }

    quickPeekDebounce.cancel();
    const Animation appear = useSpring ? Animation::spring(duration, 0.3) : Animation::anim(duration);
    const Animation disappear = Animation::spring(duration, bounce + 0.3);

    if (!isShowing) {
        post([this, disappear] { animate(disappear, [this] { isQuickPeeking = false; }); });
        return;
    }

    if (isExpanded) return;
    post([this, kind, appear] {
        quickPeek = kind;
        animate(appear, [this] { isQuickPeeking = true; });
    });
    if (dismissAfter > 0)
        quickPeekDebounce.schedule(dismissAfter, guarded([this] {
                                       // A peek under the pointer stays until the pointer leaves it.
                                       if (!isMouseInsideLeftContent) endQuickPeek(0.4, -0.3);
                                   }));
}

// MARK: - Expansion and output

void Notch::setExpanded(bool expanding, bool fast) {
    record("Notch.setExpanded", Value::Array{expanding, fast});
    if (isAdjusting) return;

    const Animation collapseShape = Animation::critical(fast ? 0.25 : 0.4);
    const Animation expandShape = hasNotification ? Animation::spring(0.45, 0.1) : Animation::spring(0.45, 0.4);

    bool expand = expanding;
    if (expand) {
        const auto& sources = sources_;
        const bool locked = sources.lockState() && sources.lockState()->isScreenLocked();
        const bool mediaPlaying = sources.mediaState() && sources.mediaState()->isMediaPlaying();
        const bool inactive = defaults_.get(keys::disableExpandWhileInactive) &&
                              liveActivity.get() != L::isPlaying && !mediaPlaying;
        if (locked || inactive) expand = false;
    }

    if (expand) {
        if (hasNotification) {
            notificationSwapDebounce.cancel();
            notificationCloseDebounce.cancel();
            notificationRestoreDebounce.cancel();
            liveActivitySwapDebounce.cancel();
            animate(Animation::critical(0.2), [this] { hasNotification = false; });
        }
        if (isQuickPeeking) endQuickPeek(0.4, -0.3);
        post([this, expandShape] {
            isExpanding = true;
            isDismissed = false;
            animate(expandShape, [this] { isExpanded = true; });
            after(0.45, [this] { isExpanding = false; });
        });
    } else {
        post([this, collapseShape] {
            if (!defaults_.get(keys::retainVolumeControlOnCollapse)) setOutput(false, true);
            isCollapsing = true;
            animate(collapseShape, [this] { isExpanded = false; });
            after(collapseShape.duration, [this] { isCollapsing = false; });
        });
    }
    isMouseInsideLeftContent = false;
    isMouseInsideRightContent = false;
}

void Notch::setOutput(bool isShowing, bool fast) {
    record("Notch.setOutput", Value::Array{isShowing, fast});
    if (isAdjusting || !isExpanded) return;
    const Animation shape = isShowing ? Animation::spring(0.35, 0.3)
                                      : (fast ? Animation::critical(0.15) : Animation::spring(0.3, 0.3));
    post([this, isShowing, shape] { animate(shape, [this, isShowing] { hasOutput = isShowing; }); });
}

// MARK: - Size adjustment preview

void Notch::setAdjusting(bool adjusting, Axis axis) {
    record("Notch.setAdjusting", Value::Array{adjusting, caseName(axis)});
    adjustDebounce.cancel();

    if (adjusting) {
        if (axis == Axis::horizontal) {
            endQuickPeek(0.4, -0.3);
            isAdjusting = true;
            setLiveActivity(true, L::isAdjusting, false, {}, kDefaultDuration);
        } else {
            setLiveActivity(false, L::none, false, {}, kDefaultDuration);
            setNotification(false, N::none, kDefaultDuration, 0);
            setQuickPeek(true, Q::isAdjusting, true, 0.4, -0.3, 0);
            isAdjusting = true;
        }
        lastAdjustment = ctx_.clock().now();
        return;
    }

    // A short drag keeps the preview up for about 1.35 s in all, so that it can be seen.
    double delay = 0;
    if (const auto& last = lastAdjustment.get()) {
        const double t = std::abs(toSeconds(ctx_.clock().now() - *last));
        delay = t < 0.4 ? 1.35 - t : 0;
    }
    adjustDebounce.schedule(delay, guarded([this, axis] {
                                isAdjusting = false;
                                const L kind = firstWantedLiveActivity();
                                if (kind != L::none)
                                    setLiveActivity(true, kind, true, {}, kDefaultDuration);
                                else
                                    setLiveActivity(false, L::none, false, {}, kDefaultDuration);
                                if (axis == Axis::vertical) endQuickPeek(0.4, -0.3);
                            }));
}

// MARK: - Haptics

void Notch::triggerHaptic() {
    record("Notch.triggerHaptic", Value::array());
    if (!defaults_.get(keys::enableHaptics) || hasRecentlyTriggeredHaptic) return;
    // Level change, performed now.
    if (auto* haptics = ctx_.platform().haptics()) haptics->perform(2, 1);
    hasRecentlyTriggeredHaptic = true;
    hapticDebounce.schedule(0.1, guarded([this] { hasRecentlyTriggeredHaptic = false; }));
}

// MARK: - Enable and disable

void Notch::enable() {
    record("Notch.enable", Value::array());
    if (isEnabled) return;
    disableDebounce.cancel();
    const auto screen = targetScreen();
    if (!isSuitable(screen)) return;
    if (!windowController) createWindow(*screen);
    isEnabled = true;
    // What a source wants shows again, unless a caller starts something itself in this turn.
    post([this] {
        if (isEnabled && !hasLiveActivity && !hasNotification && !isWidening) restoreLiveActivity();
    });
    fadeIn_.cancel();
    fadeIn_ = after(0.05, [this] { isVisible.set(true, Animation::spring(0.35, 0.3)); });
    const auto& defaults = defaults_;
    if (defaults.get(keys::enableBrightness) || defaults.get(keys::enableVolume)) suppressSystemHUD(false);
}

void Notch::disable(bool immediately) {
    record("Notch.disable", Value::Array{immediately});
    if (!isEnabled) return;
    disableDebounce.cancel();
    // The fade-in of the enable being undone must not bring the content back.
    fadeIn_.cancel();
    if (isExpanded) setExpanded(false, false);
    setLiveActivity(false, L::none, false, {}, kDefaultDuration);
    setNotification(false, N::none, kDefaultDuration, 0);
    isEnabled = false;
    if (!immediately) {
        isVisible.set(false, Animation::spring(0.35, -0.2));
        disableDebounce.schedule(0.45, guarded([this] { closeWindow(); }));
    } else {
        isVisible = false;
        // In the slot too, so that an enable before the next turn keeps the window.
        disableDebounce.schedule(0.0, guarded([this] { closeWindow(); }));
    }
    const auto& defaults = defaults_;
    if (defaults.get(keys::enableBrightness) || defaults.get(keys::enableVolume)) suppressSystemHUD(true);
}

void Notch::suppressSystemHUD(bool release) { gui_.setSystemHUDSuppressed(!release); }

void Notch::createWindow(const Screen& screen) {
    updateNotchSize(screen);
    windowController.emplace(ctx_.platform().windowServer());
    windowController->orderFrontRegardless();
    windowController->setSharingType(defaults_.get(keys::hideFromScreenCapture));
    windowController->setFrame(NotchPanel::frameFor(screen));
    space.add(windowController->id());
}

void Notch::closeWindow() {
    if (!windowController) return;
    space.remove(windowController->id());
    windowController->close();
    windowController.reset();
}

void Notch::updateSharingType() {
    if (windowController) windowController->setSharingType(defaults_.get(keys::hideFromScreenCapture));
}

// MARK: - Screens and geometry

std::optional<Screen> Notch::targetScreen() const {
    auto* port = ctx_.platform().screens();
    if (!port) return std::nullopt;
    const auto screens = port->screens();
    auto first = [&](auto pred) -> std::optional<Screen> {
        auto it = std::find_if(screens.begin(), screens.end(), pred);
        return it == screens.end() ? std::nullopt : std::optional<Screen>(*it);
    };
    auto mainDisplay = [&] { return first([](const Screen& s) { return s.displayNumber && s.mainDisplay; }); };
    if (defaults_.get(keys::showOnDisplay) == DisplayType::builtInDisplay) {
        if (auto builtIn = first([](const Screen& s) { return s.isBuiltIn(); })) return builtIn;
    }
    return mainDisplay();
}

bool Notch::isSuitable(const std::optional<Screen>& screen) const {
    if (!screen) return false;
    return defaults_.get(keys::showOnDisplay) == DisplayType::mainScreen || screen->isBuiltIn();
}

bool Notch::hasNotch() const {
    const auto screen = targetScreen();
    return screen && screen->hasAuxiliaryTopAreas();
}

void Notch::updateNotchSize(const Screen& screen) {
    if (screen.hasAuxiliaryTopAreas()) {
        // Areas wider than the screen itself are a measuring fault; they never make the notch negative.
        const double width =
            std::max(0.0, screen.frame.width - *screen.auxiliaryTopLeft - *screen.auxiliaryTopRight);
        const double height = std::max(0.0, screen.safeAreaTop);
        notchWidth = width;
        notchHeight = height;
        notchExpandedWidth = std::max(345.0, width + 160);
        notchExpandedHeight = std::max(174.0, height + 142);
        return;
    }
    // No camera housing: a simulated notch as tall as the menu bar less one point.
    notchWidth = 185;
    notchHeight = screen.visibleFrame.maxY() < screen.frame.maxY()
                      ? screen.frame.maxY() - screen.visibleFrame.maxY() - 1
                      : 24;
    notchExpandedWidth = 345;
    notchExpandedHeight = 174;
}

void Notch::updateFrame(const Screen& screen) {
    if (windowController) windowController->setFrame(NotchPanel::frameFor(screen));
}

void Notch::screenParametersChanged() {
    if (isSuitable(targetScreen()))
        enable();
    else
        disable(true);
    post([this] {
        if (const auto screen = targetScreen()) {
            updateNotchSize(*screen);
            updateFrame(*screen);
        }
    });
}

}  // namespace halvyn
