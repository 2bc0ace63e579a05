#pragma once
// The desktop program: the context on real time with the desktop's adapters (settings file,
// screens, windows), start-up, the notch window and the status item.

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "runtime/published.h"

namespace halvyn {

class Context;
class LogSink;
class NotchWindow;
class StatusItem;
class DesktopPlatform;
class ContextLevels;
class QtUpdateWindow;

// The preferences file: $XDG_CONFIG_HOME/halvyn/preferences.json, or ~/.config/halvyn/ when the
// variable is unset or not absolute. Nothing when neither can be found.
std::optional<std::filesystem::path> preferencesPath();

class DesktopApp {
public:
    static constexpr const char* kName = "Halvyn";
    static constexpr const char* kVersion = "1.0.0";

    // Needs the application object. `preferences`: where settings live (nothing: in memory only).
    DesktopApp(LogSink* log, std::optional<std::filesystem::path> preferences);
    ~DesktopApp();

    // Start-up: settings synchronisation when asked for, then the notch, then the status item,
    // then the launch's update check.
    void start();

    Context& context() { return *ctx_; }
    NotchWindow* notchWindow() const;
    StatusItem* statusItem() const { return status_.get(); }

private:
    void reportScreens();

    DesktopPlatform* platform_ = nullptr;
    // Outlives the context: the notch window that reads it goes with the context.
    std::unique_ptr<ContextLevels> levels_;
    std::unique_ptr<Context> ctx_;
    std::unique_ptr<StatusItem> status_;
    // Goes before the context: its view follows the update controller.
    std::unique_ptr<QtUpdateWindow> updateWindow_;
    Subscription enabledObserver_;
    bool saidNoScreen_ = false;
};

}  // namespace halvyn
