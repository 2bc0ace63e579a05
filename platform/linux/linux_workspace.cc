#include "platform/linux/linux_workspace.h"

#include <QDBusMessage>
#include <QTimer>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>

#include "platform/linux/dbus_name.h"
#include "platform/linux/dbus_object.h"

namespace halvyn {

namespace {
const QString kLogin = QStringLiteral("org.freedesktop.login1");
const QString kManagerPath = QStringLiteral("/org/freedesktop/login1");
const QString kManager = QStringLiteral("org.freedesktop.login1.Manager");
const QString kSession = QStringLiteral("org.freedesktop.login1.Session");
const QString kAutoSession = QStringLiteral("/org/freedesktop/login1/session/auto");
const QString kScreenSaver = QStringLiteral("org.freedesktop.ScreenSaver");
const QString kScreenSaverPath = QStringLiteral("/org/freedesktop/ScreenSaver");
constexpr int kFirstRetryMs = 250;
constexpr int kLongestRetryMs = 30000;
}  // namespace

LinuxWorkspace::LinuxWorkspace(QDBusConnection system, QDBusConnection session, Logger logger)
    : system_(std::move(system)), session_(std::move(session)), logger_(std::move(logger)) {
    if (const char* id = std::getenv("XDG_SESSION_ID"); id && *id) sessionId_ = QString::fromUtf8(id);
    if (system_.isConnected()) {
        sleep_ = std::make_unique<DBusRelay>([this](const QDBusMessage& m) {
            const auto before = firstBool(m);
            if (!before) return;
            events_[*before ? WorkspaceEvent::willSleep : WorkspaceEvent::didWake].emit();
        });
        sleep_->listen(system_, kLogin, kManagerPath, kManager, QStringLiteral("PrepareForSleep"));
        // Lock and Unlock are heard from the start, before logind has named the session: those of
        // another session are dropped, and one heard before the name is known counts once it is.
        lock_ = std::make_unique<DBusRelay>([this](const QDBusMessage& m) { sessionSignal(m.path(), true); });
        unlock_ = std::make_unique<DBusRelay>([this](const QDBusMessage& m) { sessionSignal(m.path(), false); });
        lock_->listen(system_, kLogin, QString(), kSession, QStringLiteral("Lock"));
        unlock_->listen(system_, kLogin, QString(), kSession, QStringLiteral("Unlock"));
        login_ = std::make_unique<DBusName>(system_, kLogin, [this](bool owned) { loginChanged(owned); }, true);
    }
    if (session_.isConnected()) {
        screenSaverRelay_ = std::make_unique<DBusRelay>([this](const QDBusMessage& m) {
            if (const auto active = firstBool(m)) screenSaver(*active);
        });
        screenSaverRelay_->listen(session_, kScreenSaver, QString(), kScreenSaver, QStringLiteral("ActiveChanged"));
        saver_ = std::make_unique<DBusName>(session_, kScreenSaver, [this](bool owned) { screenSaverChanged(owned); });
    }
}

LinuxWorkspace::~LinuxWorkspace() = default;

void LinuxWorkspace::retry(int& delayMs, const unsigned& generation, std::function<void()> again) {
    delayMs = delayMs ? std::min(delayMs * 2, kLongestRetryMs) : kFirstRetryMs;
    QTimer::singleShot(delayMs, &anchor_, [&generation, asked = generation, again = std::move(again)] {
        if (asked == generation) again();
    });
}

void LinuxWorkspace::silent(bool& said, const char* what) {
    if (said) return;
    said = true;
    logger_.error("%{public}s does not answer; followed as soon as it does", std::string(what));
}

// MARK: - logind

void LinuxWorkspace::loginChanged(bool owned) {
    ++loginGeneration_;
    loginRetryMs_ = 0;
    saidLoginSilent_ = false;
    if (!owned) {
        if (!saidNoLogin_)
            logger_.error(loginSeen_ ? "logind left the system bus; sleep, wake and the screen lock are not followed "
                                           "until it returns"
                                         : "No logind on the system bus; sleep, wake and the screen lock are followed "
                                           "once it starts");
        saidNoLogin_ = true;
        return;
    }
    saidNoLogin_ = false;
    loginSeen_ = true;
    // A session once found stays this program's; the session object reads it again by itself.
    if (sessionPath_.isEmpty() || sessionPath_ == kAutoSession) findSession(0);
}

// The session this program runs in: the one named by XDG_SESSION_ID, else the one of this
// process; logind's "auto" otherwise.
void LinuxWorkspace::findSession(int step) {
    if (step == 0 && sessionId_.isEmpty()) step = 1;
    if (step == 2) {
        if (!saidNoSession_) logger_.error("logind knows no session of this program; following its current session");
        saidNoSession_ = true;
        return followSession(kAutoSession);
    }
    QDBusMessage call = QDBusMessage::createMethodCall(kLogin, kManagerPath, kManager,
                                                       step == 0 ? QStringLiteral("GetSession")
                                                                 : QStringLiteral("GetSessionByPID"));
    if (step == 0) call << sessionId_;
    else call << static_cast<quint32>(::getpid());
    callAsync(system_, call, kCallTimeoutMs, &anchor_, [this, step, asked = loginGeneration_](const QDBusMessage& r) {
        if (asked != loginGeneration_) return;
        if (noAnswer(r)) {
            silent(saidLoginSilent_, "logind");
            return retry(loginRetryMs_, loginGeneration_, [this, step] { findSession(step); });
        }
        loginRetryMs_ = 0;
        saidLoginSilent_ = false;
        const QString path = firstPath(r);
        if (path.isEmpty()) return findSession(step + 1);
        followSession(path);
    });
}

void LinuxWorkspace::followSession(const QString& path) {
    if (path == sessionPath_ && sessionObject_) return sessionObject_->reload();
    sessionPath_ = path;
    if (const auto early = earlySignals_.find(path); early != earlySignals_.end()) locked(early->second);
    earlySignals_.clear();
    sessionObject_ = std::make_unique<DBusObject>(system_, kLogin, sessionPath_, kSession, [this] {
        const QVariant hint = sessionObject_->get(QStringLiteral("LockedHint"));
        if (hint.typeId() == QMetaType::Bool) locked(hint.toBool());
    });
}

void LinuxWorkspace::sessionSignal(const QString& path, bool lock) {
    if (sessionPath_.isEmpty()) {
        // Bounded: one entry per session path, and only until the session is known.
        if (earlySignals_.size() < 64 || earlySignals_.count(path)) earlySignals_[path] = lock;
        return;
    }
    if (path == sessionPath_) locked(lock);
}

// Lock and Unlock, and the hint that follows them, say the same thing: each change is told once.
// The first word is where the lock screen starts: an unlocked screen is not an unlock.
void LinuxWorkspace::locked(bool locked) {
    if (locked_ == locked) return;
    const bool first = !locked_;
    locked_ = locked;
    if (first && !locked) return;
    events_[locked ? WorkspaceEvent::screenLocked : WorkspaceEvent::screenUnlocked].emit();
}

// MARK: - The screen saver

void LinuxWorkspace::screenSaverChanged(bool owned) {
    ++saverGeneration_;
    saverRetryMs_ = 0;
    saidSaverSilent_ = false;
    if (owned) {
        saverSeen_ = true;
        return readScreenSaver();
    }
    if (!saverSeen_) return;  // none on this desktop: nothing to say
    saverSeen_ = false;
    logger_.error("The screen saver left the session bus; followed again when it returns");
    // Nothing runs a screen saver any more.
    if (screenSaverActive_ == true) screenSaver(false);
}

void LinuxWorkspace::readScreenSaver() {
    const QDBusMessage call =
        QDBusMessage::createMethodCall(kScreenSaver, kScreenSaverPath, kScreenSaver, QStringLiteral("GetActive"));
    callAsync(session_, call, kCallTimeoutMs, &anchor_, [this, asked = saverGeneration_](const QDBusMessage& r) {
        if (asked != saverGeneration_) return;
        if (noAnswer(r)) {
            silent(saidSaverSilent_, "The screen saver");
            return retry(saverRetryMs_, saverGeneration_, [this] { readScreenSaver(); });
        }
        saverRetryMs_ = 0;
        saidSaverSilent_ = false;
        // A screen saver without GetActive is followed by its signal alone.
        if (r.type() != QDBusMessage::ReplyMessage) return;
        if (const auto active = firstBool(r)) screenSaver(*active);
    });
}

void LinuxWorkspace::screenSaver(bool active) {
    if (screenSaverActive_ == active) return;
    const bool first = !screenSaverActive_;
    screenSaverActive_ = active;
    if (first && !active) return;
    events_[active ? WorkspaceEvent::screensaverStarted : WorkspaceEvent::screensaverStopped].emit();
}

Subscription LinuxWorkspace::observe(WorkspaceEvent event, std::function<void()> cb) {
    return events_[event].connect(std::move(cb));
}

}  // namespace halvyn
