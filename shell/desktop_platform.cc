#include "shell/desktop_platform.h"

#include <QWidget>

#include <system_error>

#include "runtime/logger.h"
#include "runtime/main_queue.h"
#include "settings/memory_preferences.h"
#include "settings/preferences_file.h"

namespace halvyn {

namespace {
// External edits are noticed through the file watcher; the file's own timer only backs it up
// rarely, so a still program does not wake up for it.
constexpr double kBackupPollSeconds = 24 * 3600;
}  // namespace

DesktopPlatform::DesktopPlatform(MainQueue& main, LogSink* log, const std::optional<std::filesystem::path>& prefs)
    : screens_(main),
      windows_(screens_, [this](const PanelConfig& c) { return factory_ ? factory_(c) : nullptr; }, log),
      installer_(main) {
    Logger logger(log, "com.halvyn.app", "Defaults");
    if (prefs) {
        std::error_code ec;
        std::filesystem::create_directories(prefs->parent_path(), ec);
        if (ec) {
            logger.error("Cannot create %{public}s (%{public}s); settings are kept in memory only",
                         prefs->parent_path().string(), ec.message());
        } else {
            file_ = std::make_unique<PreferencesFile>(*prefs, main, logger, seconds(kBackupPollSeconds));
            // Saving replaces the file, so the folder is watched as well as the file.
            watcher_.addPath(QString::fromStdString(prefs->parent_path().string()));
            if (std::filesystem::exists(*prefs)) watcher_.addPath(QString::fromStdString(prefs->string()));
            const QString file = QString::fromStdString(prefs->string());
            auto check = [this, file] {
                if (!watcher_.files().contains(file) && QFileInfo::exists(file)) watcher_.addPath(file);
                file_->checkForExternalChanges();
            };
            QObject::connect(&watcher_, &QFileSystemWatcher::directoryChanged, &watcher_, check);
            QObject::connect(&watcher_, &QFileSystemWatcher::fileChanged, &watcher_, check);
        }
    } else {
        logger.error("No home folder to keep settings in; settings are kept in memory only");
    }
    if (!file_) memory_ = std::make_unique<MemoryPreferences>();
}

DesktopPlatform::~DesktopPlatform() = default;

Preferences* DesktopPlatform::preferences() {
    if (file_) return file_.get();
    return memory_.get();
}

}  // namespace halvyn
