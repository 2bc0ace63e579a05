#pragma once
// Owns the runtime, the platform, the logging and the assembly of every manager of one running
// system; tests build a context each.

#include <memory>
#include <string>
#include <string_view>

#include "app/assembly.h"
#include "runtime/logger.h"
#include "runtime/runtime.h"
#include "runtime/value.h"

namespace halvyn {

class Platform;

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

    // Builds every manager, in order, with the seams given (a test's stand-ins); the simulator
    // is told each one as it is built. Once only, before any manager is asked for.
    Assembly& assemble(Assembly::Seams seams = {}, const Assembly::Built& built = {});
    // The managers. A context not yet assembled is assembled with the managers' own seams; while
    // it is being built, a manager's constructor reaches only the ones built before it.
    Assembly& assembly() { return lent_ ? *lent_ : assemble(); }
    Defaults& defaults() { return assembly().defaults(); }
    Notch& notch() { return assembly().notch(); }
    ScreenManager& screenManager() { return assembly().screenManager(); }
    GUIManager& guiManager() { return assembly().guiManager(); }
    SoundManager& sounds() { return assembly().sounds(); }
    BatteryManager& battery() { return assembly().battery(); }
    PrivacyManager& privacy() { return assembly().privacy(); }
    ConnectivityManager& connectivity() { return assembly().connectivity(); }
    LockManager& lock() { return assembly().lock(); }
    LockScreen& lockScreen() { return assembly().lockScreen(); }
    VolumeManager& volume() { return assembly().volume(); }
    BrightnessManager& brightness() { return assembly().brightness(); }
    KeyboardBrightnessManager& keyboardBrightness() { return assembly().keyboardBrightness(); }
    OSDUIManager& osdUI() { return assembly().osdUI(); }
    NotchInput& notchInput() { return assembly().notchInput(); }
    Outline& outline() { return assembly().outline(); }
    FocusManager& focus() { return assembly().focus(); }
    WeatherManager& weather() { return assembly().weather(); }
    CalendarManager& calendar() { return assembly().calendar(); }
    UpdateController& updates() { return assembly().updates(); }
    MusicManager& music() { return assembly().music(); }
    XPCManager& xpc() { return assembly().xpc(); }
    // The application state: start-up, the status menu, windows and permission pages.
    AppState& appState() { return assembly().appState(); }
    // Where sources register for the notch's questions.
    NotchSources& notchSources() { return assembly().notchSources(); }

    // The seams between managers, read while the assembly is built and while it goes: absent
    // until the manager that serves one is built. The system's display suppression is the
    // OSDUIManager's; a Focus, the Focus source's (absent, none is active); the now-playing
    // activity's visibility and controls, the now-playing source's (absent, it is not hidden and
    // a swipe skips nothing); the calendar's controls, the calendar source's.
    SystemHUDSuppression* systemHUD() const { return lent_ ? lent_->systemHUD() : nullptr; }
    FocusStateSource* focusState() const { return lent_ ? lent_->focusState() : nullptr; }
    NowPlayingVisibility* nowPlayingVisibility() const { return lent_ ? lent_->nowPlayingVisibility() : nullptr; }
    NowPlayingControls* nowPlayingControls() const { return lent_ ? lent_->nowPlayingControls() : nullptr; }
    CalendarControls* calendarControls() const { return lent_ ? lent_->calendarControls() : nullptr; }

private:
    std::unique_ptr<Runtime> runtime_;
    std::unique_ptr<Platform> platform_;
    LogSink* logs_;
    CallRecorder* calls_ = nullptr;

    // Set by the assembly for as long as it is being built and exists.
    friend class Assembly;
    void lend(Assembly* a) { lent_ = a; }
    Assembly* lent_ = nullptr;
    // Declared after the runtime and platform so that the managers go first.
    std::unique_ptr<Assembly> assembly_;
};

}  // namespace halvyn
