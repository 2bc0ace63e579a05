#pragma once
// The panel laid over the locked screen with the widget row, and keeping the display awake for
// a while after locking. `LockManager` calls show when the screen locks and hide when it
// unlocks; the login window's preferences say which system elements the row must keep clear of.

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "lockscreen/lock_seams.h"
#include "notch/cgs_space.h"
#include "notch/notch_panel.h"
#include "platform/power_assertions.h"
#include "platform/screens.h"
#include "runtime/debounce.h"
#include "runtime/lifetime.h"
#include "runtime/properties.h"
#include "runtime/published.h"
#include "runtime/task.h"
#include "runtime/value.h"
#include "settings/key.h"

namespace halvyn {

class Services;
class Defaults;
class LockManager;
class CalendarManager;
class WeatherManager;
class MusicManager;

// The borderless, non-activating panel that carries the lock-screen view: 562 points wide,
// centred on its screen, as tall as the screen. Unlike the notch's panel it is released when
// closed.
class LockScreenPanel : public OverlayPanel {
public:
    static constexpr double kWidth = 562;

    explicit LockScreenPanel(WindowServer* server) : OverlayPanel(server, config()) {}
    static PanelConfig config();
    static Rect frameFor(const Screen& screen);
};

// What the login window shows on the lock screen, from its preferences.
struct LoginWindowFlags {
    bool hasClock = true;
    bool hasMessage = false;
    bool hasAvatar = true;
    bool hasMultipleAccounts = false;
};

// The flags read from the login window's preferences (a property list, old-style text or XML);
// nothing, with the reason in `error`, when the text is not a property list with a dictionary
// at its top.
std::optional<LoginWindowFlags> parseLoginWindowPreferences(std::string_view text, std::string* error = nullptr);

class LockScreen final : public LockScreenPresenter {
public:
    static constexpr int kSpaceLevel = 400;
    static constexpr double kFadeOut = 0.225;
    static constexpr const char* kDefaultsPath = "/usr/bin/defaults";
    static constexpr const char* kLoginWindowDomain = "/Library/Preferences/com.apple.loginwindow";

    LockScreen(Services& ctx, Defaults& defaults, LockManager& lock, CalendarManager& calendar, WeatherManager& weather,
               MusicManager& music);
    ~LockScreen() override;
    LockScreen(const LockScreen&) = delete;
    LockScreen& operator=(const LockScreen&) = delete;

    // Called by the lock source when the screen locks and when it unlocks.
    void show() override;
    void hide() override;

    Owned<bool, LockScreen> isVisible{false};
    // The keep-awake assertions are held.
    Owned<bool, LockScreen> isAwake{false};
    Owned<bool, LockScreen> hasClock{true};
    Owned<bool, LockScreen> hasMessage{false};
    Owned<bool, LockScreen> hasAvatar{true};
    Owned<bool, LockScreen> hasMultipleAccounts{false};
    // Layout of the lock-screen view, in points: where the widget row starts below the top, how
    // much room the bottom keeps for the login elements, and the kinds in the row (empty: no row).
    Owned<double, LockScreen> topInset{0};
    Owned<double, LockScreen> bottomInset{0};
    Owned<WidgetOrder, LockScreen> widgets;
    // The view is on screen (the panel is open).
    Owned<bool, LockScreen> hasAppeared{false};

    // The open panel, if any.
    const LockScreenPanel* panel() const { return windowController.get(); }
    // The screen the panel is laid out for (the main-display screen), if any.
    std::optional<Screen> screen() const;
    const PropertySet& properties() const { return properties_; }

private:
    void readLoginWindowPreferences();
    void applyLoginWindowText(const std::optional<std::string>& text);
    void closePanel();
    void placePanel();
    void keepAwake(const std::string& reason);
    void releaseAssertions();
    void updateLayout();
    void observeAuthorizations();
    void setAppeared(bool appeared);

    Services& ctx_;
    Defaults& defaults_;
    LockManager& lock_;
    CalendarManager& calendar_;
    WeatherManager& weather_;
    MusicManager& music_;
    Lifetime lifetime_;
    CGSSpace space;
    std::unique_ptr<LockScreenPanel> windowController;
    std::vector<Subscription> cancellables;
    Subscription calendarAuthorization_;
    Subscription weatherAuthorization_;
    Debounce hideDebounce;
    PowerAssertions::AssertionID idleAssertionID = PowerAssertions::kNone;
    PowerAssertions::AssertionID noDisplayAssertionID = PowerAssertions::kNone;
    PowerAssertions::AssertionID preventUserIdleDisplayAssertionID = PowerAssertions::kNone;
    TaskHandle sleepTask;
    bool saidNoLayer_ = false;
    PropertySet properties_;
};

}  // namespace halvyn
