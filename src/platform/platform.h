#pragma once
// The operating system as the logic sees it: one port per service. A service that has no adapter
// on this platform is absent (nullptr) and the managers that need it stay quiet.

namespace halvyn {

class Preferences;
class CloudStore;
class Screens;
class WindowServer;
class OverlayPlacement;
class Workspace;
class DarwinNotify;
class SystemInfo;
class Haptics;
class AudioDevices;
class DisplayBrightness;
class Processes;
class Sounds;
class PowerSources;
class Bluetooth;
class Http;
class FileSystem;
class FocusStatus;
class CalendarStore;
class TravelTime;
class Location;
class WeatherService;
class Locale;
class UrlOpener;
class Bundle;
class Installer;
class ArchiveVerifier;
class PlayerApplications;
class HelperConnection;
class AppleScript;
class Pasteboard;
class AppLauncher;
class ArtworkDecoder;
class LoginItems;
class PowerAssertions;
class CaptureDevices;
class KeyboardBacklight;

class Platform {
public:
    virtual ~Platform() = default;

    virtual Preferences* preferences() { return nullptr; }
    virtual CloudStore* cloudStore() { return nullptr; }
    virtual Screens* screens() { return nullptr; }
    virtual WindowServer* windowServer() { return nullptr; }
    virtual OverlayPlacement* overlayPlacement() { return nullptr; }
    virtual Workspace* workspace() { return nullptr; }
    virtual DarwinNotify* darwinNotify() { return nullptr; }
    virtual SystemInfo* systemInfo() { return nullptr; }
    virtual Haptics* haptics() { return nullptr; }
    virtual AudioDevices* audioDevices() { return nullptr; }
    virtual DisplayBrightness* displayBrightness() { return nullptr; }
    virtual Processes* processes() { return nullptr; }
    virtual Sounds* sounds() { return nullptr; }
    virtual PowerSources* powerSources() { return nullptr; }
    virtual Bluetooth* bluetooth() { return nullptr; }
    virtual Http* http() { return nullptr; }
    virtual FileSystem* fileSystem() { return nullptr; }
    virtual FocusStatus* focusStatus() { return nullptr; }
    virtual CalendarStore* calendarStore() { return nullptr; }
    virtual TravelTime* travelTime() { return nullptr; }
    virtual Location* location() { return nullptr; }
    virtual WeatherService* weatherService() { return nullptr; }
    virtual Locale* locale() { return nullptr; }
    virtual UrlOpener* urlOpener() { return nullptr; }
    virtual Bundle* bundle() { return nullptr; }
    virtual Installer* installer() { return nullptr; }
    // Digests and signatures of downloaded updates.
    virtual ArchiveVerifier* archiveVerifier() { return nullptr; }
    // Now playing: the players, the companion helper, browser scripts, the pasteboard, opening
    // applications, artwork decoding.
    virtual PlayerApplications* players() { return nullptr; }
    virtual HelperConnection* helper() { return nullptr; }
    virtual AppleScript* appleScript() { return nullptr; }
    virtual Pasteboard* pasteboard() { return nullptr; }
    virtual AppLauncher* appLauncher() { return nullptr; }
    virtual ArtworkDecoder* artworkDecoder() { return nullptr; }
    // Start at login; keeping the machine awake.
    virtual LoginItems* loginItems() { return nullptr; }
    virtual PowerAssertions* powerAssertions() { return nullptr; }
    // Who records from the microphone or has a camera open.
    virtual CaptureDevices* captureDevices() { return nullptr; }
    virtual KeyboardBacklight* keyboardBacklight() { return nullptr; }
};

}  // namespace halvyn
