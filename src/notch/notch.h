#pragma once
// The one object that decides what the notch area shows: notifications, live activities, quick
// peeks, expansion and the size-adjustment preview. Sources and input ask it; it arbitrates with
// fixed rules of precedence and a few cancellable delayed work items, and publishes the result.

#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "notch/cgs_space.h"
#include "notch/notch_panel.h"
#include "platform/screens.h"
#include "runtime/case_names.h"
#include "runtime/debounce.h"
#include "runtime/lifetime.h"
#include "runtime/properties.h"
#include "runtime/published.h"
#include "sources/virtual_device.h"

namespace halvyn {

class Services;
class GUIManager;
class Defaults;
class NotchSources;

class Notch {
public:
    // What a notification is about; the order is the stored code.
    enum class Notification {
        isCharging,
        isLowBattery,
        isLowPowerMode,
        didConnectAirPods,
        isLowAirPodsBattery,
        isFocus,
        didChangeVolume,
        didChangeBrightness,
        timeToLeave,
        none,
        // Appended after `none`: the stored codes above stay as they were.
        // An application started recording from the microphone or opened a camera.
        isRecording,
        didChangeKeyboardBrightness,
    };
    // The kind of live activity. The order is also the precedence: a later case never displaces
    // an earlier one.
    enum class LiveActivity { none, isLocked, isAdjusting, isFocus, isCalendar, isPlaying };
    enum class QuickPeek { none, isAdjusting, isCalendar, isPlaying };
    // The settings slider being dragged: the height slider passes horizontal, the width slider vertical.
    enum class Axis { horizontal, vertical };

    Notch(Services& ctx, Defaults& defaults, NotchSources& sources, GUIManager& gui);
    ~Notch();
    Notch(const Notch&) = delete;
    Notch& operator=(const Notch&) = delete;

    // Observable state, in the order the views and the trace list it.
    Owned<bool, Notch> isEnabled{false};
    Owned<bool, Notch> isVisible{false};
    Owned<bool, Notch> isMouseInside{false};
    Owned<bool, Notch> isMouseInsideLeftContent{false};
    Owned<bool, Notch> isMouseInsideRightContent{false};
    Owned<bool, Notch> isElevated{false};
    Owned<bool, Notch> isPressed{false};
    Owned<bool, Notch> isQuickPeeking{false};
    Owned<bool, Notch> isExpanded{false};
    Owned<bool, Notch> isExpanding{false};
    Owned<bool, Notch> isCollapsing{false};
    Owned<bool, Notch> isWidening{false};
    Owned<bool, Notch> isAdjusting{false};
    Owned<bool, Notch> isDismissed{false};
    Owned<bool, Notch> hasNotification{false};
    Owned<bool, Notch> hasLiveActivity{false};
    Owned<bool, Notch> hasOutput{false};
    Owned<bool, Notch> hasRecentlyTriggeredHaptic{false};
    Owned<Notification, Notch> notification{Notification::none};
    Owned<Notification, Notch> notificationIntent{Notification::none};
    Owned<LiveActivity, Notch> liveActivity{LiveActivity::none};
    Owned<QuickPeek, Notch> quickPeek{QuickPeek::none};
    Owned<std::optional<VirtualDevice>, Notch> localDevice;
    Owned<double, Notch> notchWidth{0};
    Owned<double, Notch> notchHeight{0};
    Owned<double, Notch> notchExpandedWidth{0};
    Owned<double, Notch> notchExpandedHeight{0};
    Owned<std::optional<WallTime>, Notch> lastAdjustment;
    Owned<bool, Notch> shouldResetSwipes{false};

    // Operations. Durations are in seconds.
    void setNotification(bool isShowing, Notification kind, double duration, double dismissAfter);
    void setLiveActivity(bool isStarting, LiveActivity kind, bool force, std::function<void()> completion,
                         double duration);
    void setQuickPeek(bool isShowing, QuickPeek kind, bool useSpring, double duration, double bounce,
                      double dismissAfter);
    void setExpanded(bool isExpanding, bool fast);
    void setOutput(bool isShowing, bool fast);
    void setAdjusting(bool adjusting, Axis axis);
    void triggerHaptic();
    void enable();
    void disable(bool immediately);

    // The target screen has a camera housing.
    bool hasNotch() const;
    // The live activity the sources want now: lock first, then Focus, calendar, now playing.
    LiveActivity preferredLiveActivity() const;
    // The first of the Focus, calendar and now-playing activities whose source wants it (the
    // lock activity is never handed back this way), or none.
    LiveActivity firstWantedLiveActivity() const;
    // A notification shows, or one waits for the live activity it ended to go. Either way the
    // notch brings a live activity back when the notification closes; a source that starts its
    // own meanwhile takes the notification's place.
    bool isNotifying() const;

    // Geometry and placement.
    // The screen that hosts the notch, by "showOnDisplay".
    std::optional<Screen> targetScreen() const;
    // The target screen exists and may host the notch under the current "showOnDisplay".
    bool isSuitable(const std::optional<Screen>& screen) const;
    void updateNotchSize(const Screen& screen);
    void updateFrame(const Screen& screen);
    // Screen parameters changed, or the screen choice did: enable or disable, then re-measure and
    // move the window on the next turn.
    void screenParametersChanged();
    // Re-applies "hideFromScreenCapture" to the window, if there is one.
    void updateSharingType();

    // The notch window's panel while the notch is enabled (and while an animated disable fades).
    const NotchPanel* panel() const { return windowController ? &*windowController : nullptr; }
    const CGSSpace& notchSpace() const { return space; }
    const PropertySet& properties() const { return properties_; }

    // The calendar's activity starts under a pointer that has not moved: the right content is not
    // hovered until it moves again.
    void forgetRightContentHover() { isMouseInsideRightContent.set(false); }

private:
    // The input handling is the notch's own part: it sets the pointer's flags.
    friend class NotchInput;
    template <class T, class... A>
    static void put(Owned<T, Notch>& p, A&&... a) {
        p.set(std::forward<A>(a)...);
    }

    bool allowsNotification(Notification kind) const;
    bool wantsLiveActivity(LiveActivity kind) const;
    bool isBlocked(LiveActivity kind) const;
    void captureLocalDevice();
    void restoreLiveActivity();
    void endQuickPeek(double duration, double bounce);
    void createWindow(const Screen& screen);
    void closeWindow();
    void suppressSystemHUD(bool release);
    void record(const char* name, Value args) const;

    // Runs `task` on a later turn, or after `delay`, unless the notch is gone by then.
    void post(std::function<void()> task);
    TaskHandle after(double delay, std::function<void()> task);
    Task guarded(std::function<void()> task) const;
    void animate(const Animation& anim, const std::function<void()>& change, std::function<void()> completion = {});

    Services& ctx_;
    Defaults& defaults_;
    NotchSources& sources_;
    GUIManager& gui_;
    Lifetime lifetime_;

    CGSSpace space;
    std::optional<NotchPanel> windowController;
    std::vector<Subscription> cancellables;
    Debounce disableDebounce;
    Debounce notificationSwapDebounce;
    Debounce notificationCloseDebounce;
    Debounce notificationRestoreDebounce;
    Debounce liveActivitySwapDebounce;
    Debounce quickPeekDebounce;
    Debounce adjustDebounce;
    Debounce hapticDebounce;
    // The delayed fade-in of an enable; an intervening disable takes it back.
    TaskHandle fadeIn_;

    PropertySet properties_;
};

// Cases by their names, as traces and scenarios write them.
template <>
struct OptionTraits<Notch::Notification> {
    using N = Notch::Notification;
    static constexpr OptionCase<N> cases[] = {
        {N::isCharging, "isCharging", ""},
        {N::isLowBattery, "isLowBattery", ""},
        {N::isLowPowerMode, "isLowPowerMode", ""},
        {N::didConnectAirPods, "didConnectAirPods", ""},
        {N::isLowAirPodsBattery, "isLowAirPodsBattery", ""},
        {N::isFocus, "isFocus", ""},
        {N::didChangeVolume, "didChangeVolume", ""},
        {N::didChangeBrightness, "didChangeBrightness", ""},
        {N::timeToLeave, "timeToLeave", ""},
        {N::none, "none", ""},
        {N::isRecording, "isRecording", ""},
        {N::didChangeKeyboardBrightness, "didChangeKeyboardBrightness", ""},
    };
};
template <>
struct OptionTraits<Notch::LiveActivity> {
    using L = Notch::LiveActivity;
    static constexpr OptionCase<L> cases[] = {
        {L::none, "none", ""},         {L::isLocked, "isLocked", ""},     {L::isAdjusting, "isAdjusting", ""},
        {L::isFocus, "isFocus", ""},   {L::isCalendar, "isCalendar", ""}, {L::isPlaying, "isPlaying", ""},
    };
};
template <>
struct OptionTraits<Notch::QuickPeek> {
    using Q = Notch::QuickPeek;
    static constexpr OptionCase<Q> cases[] = {
        {Q::none, "none", ""},
        {Q::isAdjusting, "isAdjusting", ""},
        {Q::isCalendar, "isCalendar", ""},
        {Q::isPlaying, "isPlaying", ""},
    };
};
template <>
struct OptionTraits<Notch::Axis> {
    static constexpr OptionCase<Notch::Axis> cases[] = {
        {Notch::Axis::horizontal, "horizontal", ""},
        {Notch::Axis::vertical, "vertical", ""},
    };
};

}  // namespace halvyn
