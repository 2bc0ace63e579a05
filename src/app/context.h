#pragma once
// Owns the runtime, the platform, the logging and the assembly of every manager of one running
// system; tests build a context each.

#include <memory>

#include "app/assembly.h"
#include "platform/services.h"

namespace halvyn {

namespace detail {
// What the context owns and lends its services: made before them, gone after the managers.
struct ContextParts {
    std::unique_ptr<Runtime> ownedRuntime;
    std::unique_ptr<Platform> ownedPlatform;
};
}  // namespace detail

class Context : private detail::ContextParts, public Services {
public:
    Context(std::unique_ptr<Runtime> runtime, std::unique_ptr<Platform> platform, LogSink* logs);
    ~Context();
    Context(const Context&) = delete;
    Context& operator=(const Context&) = delete;

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

private:
    // Set by the assembly for as long as it is being built and exists.
    friend class Assembly;
    void lend(Assembly* a) { lent_ = a; }
    Assembly* lent_ = nullptr;
    // The managers go before the runtime and platform they use (owned by a base).
    std::unique_ptr<Assembly> assembly_;
};

}  // namespace halvyn
