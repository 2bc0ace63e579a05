#pragma once
// The desktop's Do Not Disturb, told as the Focus daemons' log: GNOME's
// "org.gnome.desktop.notifications show-banners" (GSettings; off means do not disturb) and the
// notification server's "Inhibited" property (org.freedesktop.Notifications) where the server
// offers it. Each change is written as the lines the two daemons log for the do-not-disturb mode
// (a "Registration" line with "DND Enabled", a "ServiceProvider" state update), so the Focus
// source follows the desktop by its own rules. The daemons do not exist here: this program's
// own process stands in for both (see StandInProcesses).

#include <QDBusConnection>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/log_stream.h"
#include "platform/processes.h"
#include "runtime/logger.h"

namespace halvyn {

class MainQueue;
class DBusObject;

class DesktopDoNotDisturb final : public LogStream {
public:
    static constexpr const char* kStateDaemon = "identityservicesd";
    static constexpr const char* kRegistrationDaemon = "donotdisturbd";

    // `keyfile`: read the settings from this GSettings key file instead of the desktop's own
    // settings backend. Without GNOME's notification schema only the notification server counts,
    // and so without a settings backend that holds the desktop's state: neither XDG_CONFIG_HOME
    // nor HOME set (the database of a home guessed from the user database need not be this
    // session's), or GSETTINGS_BACKEND=memory (only the schema's defaults).
    DesktopDoNotDisturb(QDBusConnection session, MainQueue& main, Logger log,
                        std::optional<std::string> keyfile = std::nullopt);
    ~DesktopDoNotDisturb() override;
    DesktopDoNotDisturb(const DesktopDoNotDisturb&) = delete;
    DesktopDoNotDisturb& operator=(const DesktopDoNotDisturb&) = delete;

    // Neither the settings schema nor a session bus: nothing to follow.
    bool available() const;
    bool hasSettings() const { return settings_ != nullptr; }
    // GNOME's "show-banners" as the settings read now; true without the settings.
    bool bannersShown() const;
    // Do not disturb, by either source.
    bool enabled() const;
    // The process that stands in for both daemons.
    static ProcessID standIn() { return static_cast<ProcessID>(::getpid()); }

    Subscription open(const std::vector<ProcessID>& processes, std::function<void(const LogEntry&)> entry,
                      std::function<void(const std::string& error)> failed) override;

    // The lines the daemons log when do not disturb turns on or off.
    static std::vector<LogEntry> linesFor(bool enabled);

private:
    void update();
    static void settingsChanged(void* settings, const char* key, void* self);

    MainQueue& main_;
    Logger log_;
    void* settings_ = nullptr;  // GSettings
    unsigned long handler_ = 0;
    std::unique_ptr<DBusObject> notifications_;
    bool connected_ = false;
    bool serverPresent_ = false;
    bool last_ = false;
    struct Streams;
    std::shared_ptr<Streams> streams_;
};

// The processes of the system, except that the look-up of the two Focus daemons by name finds the
// stand-in process of the desktop's do-not-disturb log. Everything else goes to `inner`.
class StandInProcesses final : public Processes {
public:
    explicit StandInProcesses(Processes& inner) : inner_(inner) {}

    std::vector<RunningApplication> runningApplications() const override { return inner_.runningApplications(); }
    std::vector<RunningApplication> runningApplications(const std::string& id) const override {
        return inner_.runningApplications(id);
    }
    Subscription observeRunningApplications(std::function<void(const std::vector<RunningApplication>&)> cb) override {
        return inner_.observeRunningApplications(std::move(cb));
    }
    std::optional<RunningApplication> frontmostApplication() const override { return inner_.frontmostApplication(); }
    Subscription observeActivation(std::function<void(const RunningApplication&)> cb) override {
        return inner_.observeActivation(std::move(cb));
    }
    bool sendSignal(ProcessID pid, ProcessSignal signal) override { return inner_.sendSignal(pid, signal); }
    ProcessID ownProcessID() const override { return inner_.ownProcessID(); }
    ProcessStatus status(ProcessID pid) const override { return inner_.status(pid); }
    std::vector<std::string> onScreenWindowOwners() const override { return inner_.onScreenWindowOwners(); }
    std::optional<std::string> pgrep(const std::string& name) const override;

private:
    Processes& inner_;
};

}  // namespace halvyn
