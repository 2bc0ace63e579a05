#pragma once
// The desktop program: the context on real time with the desktop's adapters (settings file,
// screens, windows), start-up, the notch window and the status item.

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "app/version.h"
#include "runtime/published.h"

class QTimer;

namespace halvyn {

class Context;
class LogSink;
class NotchWindow;
class StatusItem;
class DesktopPlatform;
class ContextLevels;
class QtUpdateWindow;
class DesktopShell;

// The preferences file: $XDG_CONFIG_HOME/halvyn/preferences.json, or ~/.config/halvyn/ when the
// variable is unset or not absolute. Nothing when neither can be found.
std::optional<std::filesystem::path> preferencesPath();

class DesktopApp {
public:
    static constexpr const char* kName = kProgramName;
    static constexpr const char* kVersion = kProgramVersion;

    // Needs the application object. `preferences`: where settings live (nothing: in memory only).
    DesktopApp(LogSink* log, std::optional<std::filesystem::path> preferences);
    ~DesktopApp();

    // Start-up: the sources the notch draws, the status item (invisible), the update window,
    // then the application state's start-up (settings synchronisation, its settings observers,
    // the first launch's permission pages or the notch, the status item shown, the update check).
    void start();

    // Another launch handed over to this one: the application state decides (the settings).
    void reopen();

    Context& context() { return *ctx_; }
    NotchWindow* notchWindow() const;
    StatusItem* statusItem() const { return status_.get(); }
    // Where the windows the application state opens by name are registered ("settings", the
    // permission pages, "about"); exists from the construction on, so they can be registered
    // before `start`.
    DesktopShell& shell() { return *shell_; }

private:
    void reportScreens();
    // Work the first frame does not need (the status menu, questions to the desktop) runs once the
    // notch has painted it, or shortly after start-up when it does not.
    void startAfterFirstFrame();

    DesktopPlatform* platform_ = nullptr;
    // Outlives the context: the notch window that reads it goes with the context.
    std::unique_ptr<ContextLevels> levels_;
    std::unique_ptr<Context> ctx_;
    std::unique_ptr<StatusItem> status_;
    std::unique_ptr<DesktopShell> shell_;
    // Goes before the context: its view follows the update controller.
    std::unique_ptr<QtUpdateWindow> updateWindow_;
    std::unique_ptr<QTimer> afterFirstFrame_;
    Subscription enabledObserver_;
    Subscription syncFolderObserver_;
    Subscription saveProblemObserver_;
    bool saidNoScreen_ = false;
};

}  // namespace halvyn
