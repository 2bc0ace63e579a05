#pragma once
// Sleep, wake and the screen lock on a Linux desktop: logind's PrepareForSleep (before sleep,
// after wake), the session's Lock and Unlock signals and its LockedHint on the system bus, and
// the screen saver's ActiveChanged on the session bus. The lock and the screen saver are told as
// the distributed notifications the lock screen follows ("com.apple.screenIsLocked", ...);
// notifications posted here reach the observers of this process.

#include <QDBusConnection>

#include <map>
#include <memory>
#include <optional>
#include <string>

#include "platform/workspace.h"
#include "runtime/logger.h"
#include "runtime/published.h"

namespace halvyn {

class DBusObject;
class DBusRelay;

class LinuxWorkspace final : public Workspace {
public:
    // `system` or `session` may be disconnected; what they carry is then absent.
    LinuxWorkspace(QDBusConnection system, QDBusConnection session, Logger logger);
    ~LinuxWorkspace() override;

    Subscription observe(WorkspaceEvent event, std::function<void()> cb) override;
    Subscription observeDistributed(const std::string& name, std::function<void()> cb) override;
    void postDistributed(const std::string& name) override;
    // Tells the observers of a workspace event found by another adapter (the window manager's).
    void announce(WorkspaceEvent event) { events_[event].emit(); }

    // The logind session followed, e.g. "/org/freedesktop/login1/session/c1"; empty without one.
    const QString& sessionPath() const { return sessionPath_; }

private:
    void locked(bool locked);
    Signal<>& distributed(const std::string& name);

    Logger logger_;
    QString sessionPath_;
    std::map<WorkspaceEvent, Signal<>> events_;
    std::map<std::string, Signal<>> distributed_;
    std::optional<bool> locked_;
    bool saidNoSession_ = false;
    bool sessionRead_ = false;
    std::unique_ptr<DBusRelay> sleep_, lock_, unlock_, screenSaver_;
    std::unique_ptr<DBusObject> session_;
};

}  // namespace halvyn
