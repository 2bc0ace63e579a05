#pragma once
// Builds every manager of one running system at once, each after the ones its constructor uses,
// as ordered members: they go in the reverse order, the sources before the notch they drive.

#include <functional>
#include <memory>
#include <string_view>

#include "runtime/seam.h"

namespace halvyn {

class Context;
class Defaults;
class NotchSources;
class SystemHUDSuppression;
class Notch;
class ScreenManager;
class GUIManager;
class SoundManager;
class BatteryManager;
class PrivacyManager;
class ConnectivityManager;
class LockManager;
class LockScreen;
class FocusStateSource;
class VolumeManager;
class BrightnessManager;
class KeyboardBrightnessManager;
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

// What stands in for a manager's seam (a test's fake); absent, the manager itself serves.
struct AssemblySeams {
    SystemHUDSuppression* systemHUD = nullptr;
    FocusStateSource* focusState = nullptr;
    NowPlayingVisibility* nowPlayingVisibility = nullptr;
    NowPlayingControls* nowPlayingControls = nullptr;
    CalendarControls* calendarControls = nullptr;
};

class Assembly {
public:
    using Seams = AssemblySeams;
    // Told each manager's class name as soon as it is built, before the next one is: the
    // simulator follows a manager before the ones built after it subscribe to it.
    using Built = std::function<void(std::string_view manager)>;

    // The context reaches the managers through this assembly while it exists.
    Assembly(Context& ctx, Seams seams = {}, const Built& built = {});
    ~Assembly();
    Assembly(const Assembly&) = delete;
    Assembly& operator=(const Assembly&) = delete;

    Defaults& defaults() { return *defaults_; }
    NotchSources& notchSources() { return *notchSources_; }
    Notch& notch() { return *notch_; }
    ScreenManager& screenManager() { return *screenManager_; }
    NotchInput& notchInput() { return *notchInput_; }
    Outline& outline() { return *outline_; }
    SoundManager& sounds() { return *sounds_; }
    ConnectivityManager& connectivity() { return *connectivity_; }
    VolumeManager& volume() { return *volume_; }
    BrightnessManager& brightness() { return *brightness_; }
    KeyboardBrightnessManager& keyboardBrightness() { return *keyboardBrightness_; }
    OSDUIManager& osdUI() { return *osdUI_; }
    BatteryManager& battery() { return *battery_; }
    PrivacyManager& privacy() { return *privacy_; }
    LockManager& lock() { return *lock_; }
    FocusManager& focus() { return *focus_; }
    CalendarManager& calendar() { return *calendar_; }
    WeatherManager& weather() { return *weather_; }
    UpdateController& updates() { return *updates_; }
    XPCManager& xpc() { return *xpc_; }
    MusicManager& music() { return *music_; }
    LockScreen& lockScreen() { return *lockScreen_; }
    AppState& appState() { return *appState_; }
    GUIManager& guiManager() { return *guiManager_; }

    // The seams: a stand-in's, else the manager's own once it is built (and until it goes).
    SystemHUDSuppression* systemHUD() const;
    FocusStateSource* focusState() const;
    NowPlayingVisibility* nowPlayingVisibility() const;
    NowPlayingControls* nowPlayingControls() const;
    CalendarControls* calendarControls() const;

private:
    // A seam the assembly answers with `answer`, for a manager built before the one that serves it.
    template <class T>
    Seam<T> seam(T* (Assembly::*answer)() const) const;

    // Lends the context this assembly from before the first manager is built until after the
    // last one has gone.
    struct Lent {
        Lent(Context& ctx, Assembly& a);
        ~Lent();
        Context& ctx;
    };

    Context& ctx_;
    Seams seams_;
    Lent lent_;
    // In the order they are built; each constructor may use only the ones above it.
    std::unique_ptr<Defaults> defaults_;
    std::unique_ptr<NotchSources> notchSources_;
    // Hides the system's own display for the notch, the screen manager, the OSD and lock managers.
    std::unique_ptr<GUIManager> guiManager_;
    std::unique_ptr<Notch> notch_;
    std::unique_ptr<ScreenManager> screenManager_;  // observes the notch
    std::unique_ptr<NotchInput> notchInput_;        // observes the notch
    std::unique_ptr<Outline> outline_;              // observes the notch and the input
    std::unique_ptr<SoundManager> sounds_;
    // The sources use the notch and the sounds.
    std::unique_ptr<ConnectivityManager> connectivity_;
    std::unique_ptr<VolumeManager> volume_;  // reads the output device
    std::unique_ptr<BrightnessManager> brightness_;
    std::unique_ptr<OSDUIManager> osdUI_;
    std::unique_ptr<BatteryManager> battery_;
    std::unique_ptr<KeyboardBrightnessManager> keyboardBrightness_;  // reads the battery's power source
    std::unique_ptr<LockManager> lock_;
    std::unique_ptr<FocusManager> focus_;
    std::unique_ptr<PrivacyManager> privacy_;  // reads the lock and Focus sources
    std::unique_ptr<CalendarManager> calendar_;
    std::unique_ptr<WeatherManager> weather_;
    std::unique_ptr<UpdateController> updates_;  // reads the screen manager's fullscreen flag
    // The helper connection exists before the now-playing source asks the helper anything.
    std::unique_ptr<XPCManager> xpc_;
    std::unique_ptr<MusicManager> music_;  // reads the lock, screen and connectivity managers
    // Shown and hidden by the lock source; reads it and the widgets' sources.
    std::unique_ptr<LockScreen> lockScreen_;
    // Observes and drives every manager above.
    std::unique_ptr<AppState> appState_;
};

}  // namespace halvyn
