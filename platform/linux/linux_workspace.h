#pragma once
// Sleep, wake and the screen lock on a Linux desktop: logind's PrepareForSleep (before sleep,
// after wake), the session's Lock and Unlock signals and its LockedHint on the system bus, and
// the screen saver's ActiveChanged (and GetActive) on the session bus, each told as its workspace
// event.
//
// Both services are followed by their bus names and asked without waiting: one that is late,
// stalled or restarted is read when it answers, and nothing here holds up the program's start.

#include <QDBusConnection>
#include <QObject>

#include <map>
#include <memory>
#include <optional>
#include <string>

#include "platform/workspace.h"
#include "runtime/logger.h"
#include "runtime/published.h"

namespace halvyn {

class DBusName;
class DBusObject;
class DBusRelay;

class LinuxWorkspace final : public Workspace {
public:
    // A question to logind or the screen saver waits this long before it is asked again.
    static constexpr int kCallTimeoutMs = 2000;

    // `system` or `session` may be disconnected; what they carry is then absent.
    LinuxWorkspace(QDBusConnection system, QDBusConnection session, Logger logger);
    ~LinuxWorkspace() override;

    Subscription observe(WorkspaceEvent event, std::function<void()> cb) override;
    // Tells the observers of a workspace event found by another adapter (the window manager's).
    void announce(WorkspaceEvent event) { events_[event].emit(); }

    // The logind session followed, e.g. "/org/freedesktop/login1/session/c1"; empty until logind
    // has named it.
    const QString& sessionPath() const { return sessionPath_; }

private:
    void loginChanged(bool owned);
    void findSession(int step);
    void followSession(const QString& path);
    void readScreenSaver();
    void screenSaverChanged(bool owned);
    void screenSaver(bool active);
    void sessionSignal(const QString& path, bool lock);
    void locked(bool locked);
    // Once per stall: the service holds its name but does not answer.
    void silent(bool& said, const char* what);
    // Asks again after a growing pause, unless the service came or went meanwhile.
    void retry(int& delayMs, const unsigned& generation, std::function<void()> again);

    QDBusConnection system_, session_;
    Logger logger_;
    // XDG_SESSION_ID as it was at construction.
    QString sessionId_;
    QString sessionPath_;
    std::map<WorkspaceEvent, Signal<>> events_;
    std::optional<bool> locked_, screenSaverActive_;
    // The last Lock or Unlock of each session heard before this program's session was known.
    std::map<QString, bool> earlySignals_;
    // Raised whenever a service comes or goes: answers to the older questions are dropped.
    unsigned loginGeneration_ = 0, saverGeneration_ = 0;
    int loginRetryMs_ = 0, saverRetryMs_ = 0;
    bool saidNoLogin_ = false, saidNoSession_ = false, saidLoginSilent_ = false, saidSaverSilent_ = false;
    bool loginSeen_ = false, saverSeen_ = false;
    std::unique_ptr<DBusRelay> sleep_, lock_, unlock_, screenSaverRelay_;
    std::unique_ptr<DBusObject> sessionObject_;
    std::unique_ptr<DBusName> login_, saver_;
    // Goes first: pending answers and retries die with it.
    QObject anchor_;
};

}  // namespace halvyn
