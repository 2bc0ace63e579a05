#include "shell/desktop_platform.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QGuiApplication>
#include <QWidget>

#include <cstdlib>
#include <system_error>

#include <unistd.h>

#include "platform/linux/bluez_bluetooth.h"
#include "platform/linux/dbus_helper_connection.h"
#include "platform/linux/helper_bus.h"
#include "platform/linux/desktop_do_not_disturb.h"
#include "platform/linux/geoclue_location.h"
#include "weather/open_meteo.h"
#include "platform/linux/ewmh_watcher.h"
#include "platform/linux/idle_inhibitor.h"
#include "platform/linux/linux_processes.h"
#include "platform/linux/linux_workspace.h"
#include "platform/linux/linux_capture_devices.h"
#include "platform/linux/pulse_audio_devices.h"
#include "platform/linux/modules.h"
#include "platform/linux/sound_files.h"
#include "platform/linux/sysfs_backlight.h"
#include "platform/linux/upower_kbd_backlight.h"
#include "platform/linux/upower_power_sources.h"
#include "runtime/logger.h"
#include "runtime/main_queue.h"
#include "settings/memory_preferences.h"
#include "settings/preferences_file.h"
#include "shell/resources.h"

namespace halvyn {

namespace {
// External edits are noticed through the file watcher; the file's own timer only backs it up
// rarely, so a still program does not wake up for it.
constexpr double kBackupPollSeconds = 24 * 3600;
// How often the sync folder is looked at without being told of a change.
const Duration kSyncRescan = seconds(60);

#ifndef HALVYN_WEATHER_URL
#define HALVYN_WEATHER_URL ""
#endif
// The forecast service: the build's address, unless the environment names another (tests).
std::string weatherEndpoint() {
    const char* env = std::getenv("HALVYN_WEATHER_URL");
    return env ? env : HALVYN_WEATHER_URL;
}
}  // namespace

DesktopPlatform::DesktopPlatform(MainQueue& main, BackgroundQueue& background, LogSink* log,
                                 const std::optional<std::filesystem::path>& prefs)
    : screens_(main),
      windows_(screens_, [this](const PanelConfig& c) { return factory_ ? factory_(c) : nullptr; }, log),
      // The folder's watch tells of changes at once; the slow rescan is for folders on network
      // or user-space file systems (a mounted cloud drive), where a change made on another
      // machine comes without an inotify event.
      syncStore_(main, Logger(log, "com.halvyn.app", "Defaults"), kSyncRescan),
      sounds_(module("halvyn-sounds"), soundFolders(), Logger(log, "com.halvyn.app", "Sounds")),
      http_(module("halvyn-http"), main),
      installer_(main,
                 [] {
                     return module("halvyn-updates").function<decltype(halvyn_unpack_archive)>("halvyn_unpack_archive");
                 }),
      verifier_(module("halvyn-updates"), main),
      // The session starts the installed program itself at login. The entry keeps the name that
      // earlier versions wrote, so that turning the setting off still finds it.
      autostart_(xdgConfigHome() ? std::optional(*xdgConfigHome() / "autostart") : std::nullopt, "app.halvyn.Halvyn",
                 bundle_.info().name, bundle_.info().launchCommand.front()),
      links_(log, "xdg-open", false) {
    Logger logger(log, "com.halvyn.app", "Defaults");
    if (prefs) {
        std::error_code ec;
        std::filesystem::create_directories(prefs->parent_path(), ec);
        if (ec) {
            logger.error("Cannot create %{public}s (%{public}s); settings are kept in memory only",
                         prefs->parent_path().string(), ec.message());
        } else {
            file_ = std::make_unique<PreferencesFile>(*prefs, main, logger, seconds(kBackupPollSeconds));
            // Saving replaces the file, so the folder is watched as well as the file; a save that
            // recreated a removed folder brings its watch back.
            watchPreferences();
            auto check = [this] {
                watchPreferences();
                file_->fileChanged();
            };
            QObject::connect(&watcher_, &QFileSystemWatcher::directoryChanged, &watcher_, check);
            QObject::connect(&watcher_, &QFileSystemWatcher::fileChanged, &watcher_, check);
            file_->setSavedCallback([this] { watchPreferences(); });
        }
    } else {
        logger.error("No home folder to keep settings in; settings are kept in memory only");
    }
    if (!file_) memory_ = std::make_unique<MemoryPreferences>();
    QObject::connect(&syncWatcher_, &QFileSystemWatcher::directoryChanged, &syncWatcher_,
                     [this] { syncStore_.folderChanged(); });

    audio_ = std::make_unique<PulseAudioDevices>(main, Logger(log, "com.halvyn.app", "AudioDevices"));
    capture_ = std::make_unique<LinuxCaptureDevices>(
        audio_.get(), std::make_unique<CameraWatcher>(main, Logger(log, "com.halvyn.app", "Cameras")));

    QDBusConnection system = QDBusConnection::systemBus();
    if (system.isConnected()) {
        power_ = std::make_unique<UPowerPowerSources>(system, Logger(log, "com.halvyn.app", "PowerSources"));
        keyboard_ = std::make_unique<UPowerKbdBacklight>(system, Logger(log, "com.halvyn.app", "KeyboardBacklight"));
        bluetooth_ = std::make_unique<BluezBluetooth>(system, Logger(log, "com.halvyn.app", "Bluetooth"));
    } else {
        Logger(log, "com.halvyn.app", "Platform")
            .error("No system bus (%{public}s); battery, low-power mode, accessories, location, sleep and lock absent",
                   system.lastError().message().toStdString());
    }
    workspace_ = std::make_unique<LinuxWorkspace>(system, QDBusConnection::sessionBus(),
                                                  Logger(log, "com.halvyn.app", "Workspace"));
    // The window manager's word on fullscreen and the frontmost application; X11 only.
    if (QGuiApplication::platformName() == QLatin1String("xcb")) {
        wm_ = std::make_unique<EwmhWatcher>(std::nullopt, Logger(log, "com.halvyn.app", "WindowManager"));
        windows_.setWindowManager(wm_.get());
        fullscreenObserver_ =
            wm_->onFullscreenChanged([this] { workspace_->announce(WorkspaceEvent::activeSpaceDidChange); });
    }
    processes_ = std::make_unique<LinuxProcesses>(wm_.get());
    backlight_ = std::make_unique<SysfsBacklight>("/sys/class/backlight", Logger(log, "com.halvyn.app", "Brightness"));
    // Keep-awake while locked goes through the session's idle inhibitor. Whether logind or the
    // screen saver gives one is learnt without waiting; the inhibitor says when neither does.
    if (system.isConnected() || QDBusConnection::sessionBus().isConnected())
        idleInhibitor_ = std::make_unique<IdleInhibitor>(system, QDBusConnection::sessionBus(),
                                                         Logger(log, "com.halvyn.app", "PowerAssertions"));
    else
        Logger(log, "com.halvyn.app", "Platform")
            .error("No message bus; the display is not kept awake while locked");

    Logger platformLog(log, "com.halvyn.app", "Platform");
    calendar_ = std::make_unique<ModuleCalendarStore>(module("halvyn-calendar"), files_, main, background,
                                                      Logger(log, "com.halvyn.app", "CalendarStore"),
                                                      files_.homeDirectory());
    // GeoClue is followed by name, so one that starts later is still used; it says when it is missing.
    if (system.isConnected())
        location_ = std::make_unique<GeoClueLocation>(system, Logger(log, "com.halvyn.app", "Location"));
    if (const std::string endpoint = weatherEndpoint(); !endpoint.empty())
        weather_ = std::make_unique<OpenMeteoWeather>(http_, endpoint);
    // GNOME's banner setting is opened after the first frame (startAfterFirstFrame); the port is
    // there from the start when either source may count.
    gnome_ = desktopIsGnome(std::getenv("XDG_CURRENT_DESKTOP"));
    if (QDBusConnection::sessionBus().isConnected() || gnome_)
        doNotDisturb_ = std::make_unique<DesktopDoNotDisturb>(QDBusConnection::sessionBus(), main,
                                                              Logger(log, "com.halvyn.app", "DoNotDisturb"));
    else
        platformLog.error("Neither GNOME's notification settings nor a session bus; Focus absent");

    // Media playing elsewhere on the desktop comes through the companion helper, found next to
    // the program and started when it does not run yet.
    const auto helperPath = programDirectory() / helperbus::kExecutable;
    QDBusConnection session = QDBusConnection::sessionBus();
    std::error_code ec;
    if (!session.isConnected()) {
        platformLog.error("No session bus; media playing elsewhere on the desktop is not shown");
    } else if (!std::filesystem::is_regular_file(helperPath, ec) || ::access(helperPath.c_str(), X_OK) != 0) {
        platformLog.error("%{public}s not found; media playing elsewhere on the desktop is not shown", helperPath.string());
    } else {
        helper_ = std::make_unique<DBusHelperConnection>(session, helperPath.string(), Logger(log, "com.halvyn.app", "XPCManager"),
                                                         &http_);
        helper_->holdStarts();  // until the first frame
    }
}

void DesktopPlatform::setSyncFolder(const std::filesystem::path& folder) {
    if (folder == syncStore_.folder()) return;
    if (const QStringList watched = syncWatcher_.directories(); !watched.isEmpty()) syncWatcher_.removePaths(watched);
    syncStore_.setFolder(folder);
    // The store makes a missing folder; the watch starts once it is there.
    if (!syncStore_.folder().empty()) syncWatcher_.addPath(QString::fromStdString(syncStore_.folder().string()));
}

void DesktopPlatform::startAfterFirstFrame() {
    links_.askHandlers();
    calendar_->start();
    if (helper_) helper_->allowStarts();
    if (doNotDisturb_ && gnome_)
        doNotDisturb_->followSettings(
            module("halvyn-gnome").function<decltype(halvyn_open_banner_setting)>("halvyn_open_banner_setting"));
}

void DesktopPlatform::watchPreferences() {
    const std::filesystem::path file = file_->path();
    const std::filesystem::path folder = file.parent_path();
    std::error_code ec;
    // While the folder is gone, the one above it tells when it comes back.
    const std::filesystem::path above = folder.parent_path();
    const bool folderThere = std::filesystem::is_directory(folder, ec);
    const QString aboveName = QString::fromStdString(above.string());
    if (!folderThere && !above.empty() && !watcher_.directories().contains(aboveName)) watcher_.addPath(aboveName);
    if (folderThere && watcher_.directories().contains(aboveName)) watcher_.removePath(aboveName);
    for (const auto& [path, isFolder] : {std::pair(folder, true), std::pair(file, false)}) {
        const QString name = QString::fromStdString(path.string());
        const QStringList& watched = isFolder ? watcher_.directories() : watcher_.files();
        if (!watched.contains(name) && std::filesystem::exists(path, ec)) watcher_.addPath(name);
    }
}

DesktopPlatform::~DesktopPlatform() {
    // The window server outlives the window manager's watcher.
    windows_.setWindowManager(nullptr);
}

AudioDevices* DesktopPlatform::audioDevices() { return audio_.get(); }
CaptureDevices* DesktopPlatform::captureDevices() { return capture_.get(); }
PowerSources* DesktopPlatform::powerSources() { return power_.get(); }
KeyboardBacklight* DesktopPlatform::keyboardBacklight() { return keyboard_.get(); }
Workspace* DesktopPlatform::workspace() { return workspace_.get(); }
Bluetooth* DesktopPlatform::bluetooth() { return bluetooth_.get(); }
Processes* DesktopPlatform::processes() { return processes_.get(); }
CalendarStore* DesktopPlatform::calendarStore() { return calendar_.get(); }
Location* DesktopPlatform::location() { return location_.get(); }
WeatherService* DesktopPlatform::weatherService() { return weather_.get(); }
FocusStatus* DesktopPlatform::focusStatus() { return doNotDisturb_.get(); }
PowerAssertions* DesktopPlatform::powerAssertions() { return idleInhibitor_.get(); }
HelperConnection* DesktopPlatform::helper() { return helper_.get(); }
DisplayBrightness* DesktopPlatform::displayBrightness() {
    return backlight_->device().empty() ? nullptr : backlight_.get();
}

Preferences* DesktopPlatform::preferences() {
    if (file_) return file_.get();
    return memory_.get();
}

}  // namespace halvyn
