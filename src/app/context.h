#pragma once
// Owns the runtime, the platform and every manager of one running system. Managers are created
// lazily on first access and live as long as the context; tests build a context each.

#include <memory>
#include <string>
#include <string_view>

#include "runtime/logger.h"
#include "runtime/runtime.h"
#include "runtime/value.h"

namespace halvyn {

class Platform;
class Defaults;
class NotchSources;
class SystemHUDSuppression;
class Notch;
class ScreenManager;
class GUIManager;
class SoundManager;
class BatteryManager;
class ConnectivityManager;
class LockManager;
class LockScreen;
class FocusStateSource;
class VolumeManager;
class BrightnessManager;
class OSDUIManager;
class NowPlayingVisibility;
class NotchInput;
class Outline;
class NowPlayingControls;
class CalendarControls;
class FocusManager;
class CalendarManager;
class WeatherManager;
class UpdateController;
class MusicManager;
class XPCManager;
class AppState;

// Receives the calls of the notch's operations, for halvyn-sim's trace.
class CallRecorder {
public:
    virtual ~CallRecorder() = default;
    virtual void call(std::string_view name, Value args) = 0;
};

class Context {
public:
    static constexpr const char* kSubsystem = "com.halvyn.app";

    Context(std::unique_ptr<Runtime> runtime, std::unique_ptr<Platform> platform, LogSink* logs);
    ~Context();
    Context(const Context&) = delete;
    Context& operator=(const Context&) = delete;

    Runtime& runtime() { return *runtime_; }
    Clock& clock() { return runtime_->clock(); }
    MainQueue& main() { return runtime_->main(); }
    BackgroundQueue& background() { return runtime_->background(); }
    Platform& platform() { return *platform_; }

    LogSink* logSink() const { return logs_; }
    Logger logger(std::string category) const { return Logger(logs_, kSubsystem, std::move(category)); }

    CallRecorder* callRecorder() const { return calls_; }
    void setCallRecorder(CallRecorder* r) { calls_ = r; }

    // Managers, created on first use.
    Defaults& defaults();
    Notch& notch();
    ScreenManager& screenManager();
    GUIManager& guiManager();
    SoundManager& sounds();
    BatteryManager& battery();
    ConnectivityManager& connectivity();
    LockManager& lock();
    LockScreen& lockScreen();
    VolumeManager& volume();
    BrightnessManager& brightness();
    OSDUIManager& osdUI();
    NotchInput& notchInput();
    Outline& outline();
    FocusManager& focus();
    WeatherManager& weather();
    CalendarManager& calendar();
    // The views draw these sources only once something created them.
    FocusManager* existingFocus() const { return focus_.get(); }
    CalendarManager* existingCalendar() const { return calendar_.get(); }
    WeatherManager* existingWeather() const { return weather_.get(); }
    MusicManager* existingMusic() const { return music_.get(); }
    UpdateController& updates();
    MusicManager& music();
    XPCManager& xpc();
    // The application state: start-up, the status menu, windows and permission pages.
    AppState& appState();
    AppState* existingAppState() const { return appState_.get(); }

    // Where sources register for the notch's questions.
    NotchSources& notchSources();
    // The display-process suppression of the system's own volume and brightness display: the
    // one set here (a test's), else the OSDUIManager, created on first use.
    SystemHUDSuppression* systemHUD();
    void setSystemHUD(SystemHUDSuppression* s) { systemHUD_ = s; }
    // Whether a Focus is active, once the Focus source provides it; absent, none is.
    FocusStateSource* focusState() const { return focusState_; }
    void setFocusState(FocusStateSource* s) { focusState_ = s; }
    // Whether the now-playing activity is hidden, once the now-playing source provides it;
    // absent, it is not.
    NowPlayingVisibility* nowPlayingVisibility() const { return nowPlayingVisibility_; }
    void setNowPlayingVisibility(NowPlayingVisibility* s) { nowPlayingVisibility_ = s; }
    // What the notch input drives in the now-playing and calendar sources, once they register;
    // absent, a swipe skips and dismisses nothing.
    NowPlayingControls* nowPlayingControls() const { return nowPlayingControls_; }
    void setNowPlayingControls(NowPlayingControls* c) { nowPlayingControls_ = c; }
    CalendarControls* calendarControls() const { return calendarControls_; }
    void setCalendarControls(CalendarControls* c) { calendarControls_ = c; }

private:
    std::unique_ptr<Runtime> runtime_;
    std::unique_ptr<Platform> platform_;
    LogSink* logs_;
    CallRecorder* calls_ = nullptr;

    SystemHUDSuppression* systemHUD_ = nullptr;
    FocusStateSource* focusState_ = nullptr;
    NowPlayingVisibility* nowPlayingVisibility_ = nullptr;
    NowPlayingControls* nowPlayingControls_ = nullptr;
    CalendarControls* calendarControls_ = nullptr;

    // Declared after the runtime and platform so they are destroyed first.
    std::unique_ptr<Defaults> defaults_;
    std::unique_ptr<NotchSources> notchSources_;
    std::unique_ptr<GUIManager> guiManager_;
    std::unique_ptr<Notch> notch_;
    std::unique_ptr<ScreenManager> screenManager_;  // observes the notch: destroyed before it
    std::unique_ptr<NotchInput> notchInput_;        // observes the notch
    std::unique_ptr<Outline> outline_;              // observes the notch and the input
    std::unique_ptr<SoundManager> sounds_;
    // The sources use the notch and the sounds: destroyed before them.
    std::unique_ptr<BatteryManager> battery_;
    std::unique_ptr<ConnectivityManager> connectivity_;
    std::unique_ptr<LockManager> lock_;
    // Shown and hidden by the lock source; reads it and the widgets' sources.
    std::unique_ptr<LockScreen> lockScreen_;
    std::unique_ptr<OSDUIManager> osdUI_;
    // The displays read the sources and ask the notch: destroyed before them.
    std::unique_ptr<VolumeManager> volume_;
    std::unique_ptr<BrightnessManager> brightness_;
    // Focus hands the notch back to the calendar; the calendar reads the location authorization.
    std::unique_ptr<WeatherManager> weather_;
    std::unique_ptr<CalendarManager> calendar_;
    std::unique_ptr<FocusManager> focus_;
    // Reads the screen manager's fullscreen flag: destroyed before it.
    std::unique_ptr<UpdateController> updates_;
    // The now-playing source reads the lock, screen and connectivity managers; the helper
    // connection calls into it: destroyed first.
    std::unique_ptr<MusicManager> music_;
    std::unique_ptr<XPCManager> xpc_;
    // Observes and drives every manager above: destroyed first.
    std::unique_ptr<AppState> appState_;
};

}  // namespace halvyn
