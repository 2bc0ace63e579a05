#pragma once
// The operating system as the desktop program reaches it. Only services with a real adapter are
// present; the rest are absent, and their managers stay quiet.

#include <QFileInfo>
#include <QFileSystemWatcher>

#include <filesystem>
#include <memory>
#include <optional>

#include "platform/linux/desktop_links.h"
#include "platform/linux/system_locale.h"
#include "platform/linux/linux_installer.h"
#include "platform/linux/module_ports.h"
#include "platform/linux/posix_file_system.h"
#include "platform/linux/qt_artwork_decoder.h"
#include "platform/linux/xdg_autostart.h"
#include "platform/platform.h"
#include "runtime/published.h"
#include "settings/chosen_folder_store.h"
#include "shell/qt_screens.h"
#include "shell/qt_window_server.h"

namespace halvyn {

class BackgroundQueue;
class LogSink;
class MainQueue;
class PreferencesFile;
class MemoryPreferences;
class PulseAudioDevices;
class LinuxCaptureDevices;
class UPowerPowerSources;
class UPowerKbdBacklight;
class LinuxWorkspace;
class SysfsBacklight;
class BluezBluetooth;
class EwmhWatcher;
class LinuxProcesses;
class IdleInhibitor;
class GeoClueLocation;
class OpenMeteoWeather;
class DesktopDoNotDisturb;
class DBusHelperConnection;

class DesktopPlatform final : public Platform {
public:
    DesktopPlatform(MainQueue& main, BackgroundQueue& background, LogSink* log,
                    const std::optional<std::filesystem::path>& preferences);
    ~DesktopPlatform() override;

    Preferences* preferences() override;
    CloudStore* cloudStore() override { return &syncStore_; }
    Screens* screens() override { return &screens_; }
    WindowServer* windowServer() override { return &windows_; }
    ArtworkDecoder* artworkDecoder() override { return &artwork_; }
    Locale* locale() override { return &locale_; }
    AudioDevices* audioDevices() override;
    PowerSources* powerSources() override;
    Workspace* workspace() override;
    DisplayBrightness* displayBrightness() override;
    KeyboardBacklight* keyboardBacklight() override;
    Bluetooth* bluetooth() override;
    Processes* processes() override;
    Sounds* sounds() override { return &sounds_; }
    Http* http() override { return &http_; }
    FileSystem* fileSystem() override { return &files_; }
    Bundle* bundle() override { return &bundle_; }
    Installer* installer() override { return &installer_; }
    ArchiveVerifier* archiveVerifier() override { return &verifier_; }
    LoginItems* loginItems() override { return &autostart_; }
    UrlOpener* urlOpener() override { return &links_; }
    Pasteboard* pasteboard() override { return &links_; }
    PowerAssertions* powerAssertions() override;
    CalendarStore* calendarStore() override;
    Location* location() override;
    WeatherService* weatherService() override;
    FocusStatus* focusStatus() override;
    HelperConnection* helper() override;
    CaptureDevices* captureDevices() override;

    // What waits until the notch's first frame is on the screen: the calendars among it.
    void startAfterFirstFrame();

    QtScreens& qtScreens() { return screens_; }
    QtWindowServer& qtWindows() { return windows_; }
    void setPanelFactory(QtWindowServer::Factory f) { factory_ = std::move(f); }
    // The folder the synchronised settings are kept in (empty: none); followed from then on.
    void setSyncFolder(const std::filesystem::path& folder);
    ChosenFolderCloudStore& syncStore() { return syncStore_; }

private:
    // Watches the settings file and its folder (or, while it is gone, the folder above it).
    void watchPreferences();

    QtScreens screens_;
    QtWindowServer::Factory factory_;
    QtWindowServer windows_;
    std::unique_ptr<PreferencesFile> file_;
    std::unique_ptr<MemoryPreferences> memory_;
    QFileSystemWatcher watcher_;
    ChosenFolderCloudStore syncStore_;
    // The sync folder, watched (through inotify) so that a change a sync tool brings in is seen at once.
    QFileSystemWatcher syncWatcher_;
    QtArtworkDecoder artwork_;
    SystemLocale locale_;
    // The status services, each present only when its adapter could start.
    std::unique_ptr<PulseAudioDevices> audio_;
    // The microphone through the audio client, the cameras through /dev and /proc.
    std::unique_ptr<LinuxCaptureDevices> capture_;
    std::unique_ptr<UPowerPowerSources> power_;
    std::unique_ptr<UPowerKbdBacklight> keyboard_;
    std::unique_ptr<LinuxWorkspace> workspace_;
    std::unique_ptr<SysfsBacklight> backlight_;
    std::unique_ptr<BluezBluetooth> bluetooth_;
    std::unique_ptr<EwmhWatcher> wm_;
    std::unique_ptr<LinuxProcesses> processes_;
    // Sounds, HTTP, update archives and calendars come from modules opened on first use.
    ModuleSounds sounds_;
    std::unique_ptr<IdleInhibitor> idleInhibitor_;
    // The companion helper that follows the desktop's media players; absent without it.
    std::unique_ptr<DBusHelperConnection> helper_;
    Subscription fullscreenObserver_;
    ModuleHttp http_;
    PosixFileSystem files_;
    LinuxBundle bundle_;
    LinuxInstaller installer_;
    ModuleVerifier verifier_;
    XdgAutostart autostart_;
    // Links open with the user's chosen application; share links go on the clipboard.
    DesktopLinks links_;
    // Calendar files, GeoClue, Open-Meteo, the desktop's do not disturb (as its Focus).
    std::unique_ptr<ModuleCalendarStore> calendar_;
    std::unique_ptr<GeoClueLocation> location_;
    std::unique_ptr<OpenMeteoWeather> weather_;
    std::unique_ptr<DesktopDoNotDisturb> doNotDisturb_;
    bool gnome_ = false;  // the desktop is GNOME: its banner setting counts as do not disturb
};

}  // namespace halvyn
