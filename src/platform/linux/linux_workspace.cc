#include "platform/linux/linux_workspace.h"

#include <QDBusMessage>
#include <QDBusObjectPath>

#include <unistd.h>

#include <cstdlib>
#include <utility>

#include "platform/linux/dbus_object.h"

namespace halvyn {

namespace {
const QString kLogin = QStringLiteral("org.freedesktop.login1");
const QString kManagerPath = QStringLiteral("/org/freedesktop/login1");
const QString kManager = QStringLiteral("org.freedesktop.login1.Manager");
const QString kSession = QStringLiteral("org.freedesktop.login1.Session");
constexpr int kCallTimeoutMs = 1000;

// The session this program runs in: the one named by XDG_SESSION_ID, else the one of this
// process; logind's "auto" otherwise.
QString findSession(QDBusConnection& bus) {
    auto ask = [&](const QString& method, const QVariant& arg) -> QString {
        QDBusMessage call = QDBusMessage::createMethodCall(kLogin, kManagerPath, kManager, method);
        call << arg;
        const QDBusMessage reply = bus.call(call, QDBus::Block, kCallTimeoutMs);
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return {};
        return reply.arguments().first().value<QDBusObjectPath>().path();
    };
    QString path;
    if (const char* id = std::getenv("XDG_SESSION_ID"); id && *id) path = ask(QStringLiteral("GetSession"), QString::fromUtf8(id));
    if (path.isEmpty()) path = ask(QStringLiteral("GetSessionByPID"), QVariant::fromValue(static_cast<quint32>(::getpid())));
    return path.isEmpty() ? QStringLiteral("/org/freedesktop/login1/session/auto") : path;
}

bool firstBool(const QDBusMessage& m, bool& out) {
    const auto args = m.arguments();
    if (args.isEmpty() || args.first().typeId() != QMetaType::Bool) return false;
    out = args.first().toBool();
    return true;
}
}  // namespace

LinuxWorkspace::LinuxWorkspace(QDBusConnection system, QDBusConnection session, Logger logger)
    : logger_(std::move(logger)) {
    if (system.isConnected()) {
        sleep_ = std::make_unique<DBusRelay>([this](const QDBusMessage& m) {
            bool before;
            if (!firstBool(m, before)) return;
            events_[before ? WorkspaceEvent::willSleep : WorkspaceEvent::didWake].emit();
        });
        sleep_->listen(system, kLogin, kManagerPath, kManager, QStringLiteral("PrepareForSleep"));
        sessionPath_ = findSession(system);
        lock_ = std::make_unique<DBusRelay>([this](const QDBusMessage&) { locked(true); });
        unlock_ = std::make_unique<DBusRelay>([this](const QDBusMessage&) { locked(false); });
        lock_->listen(system, kLogin, sessionPath_, kSession, QStringLiteral("Lock"));
        unlock_->listen(system, kLogin, sessionPath_, kSession, QStringLiteral("Unlock"));
        session_ = std::make_unique<DBusObject>(system, kLogin, sessionPath_, kSession, [this] {
            if (!session_->present()) {
                // Said when the first reading finds no session, as the construction used to.
                if (!sessionRead_ && !session_->reading() && !std::exchange(saidNoSession_, true))
                    logger_.error("No logind session; sleep, wake and the screen lock are not followed");
                return;
            }
            const QVariant hint = session_->get(QStringLiteral("LockedHint"));
            if (hint.typeId() != QMetaType::Bool) return;
            // The reading at start-up is where the screen stands, not a change of it; a lock
            // that happened while logind was away is one.
            if (std::exchange(sessionRead_, true)) locked(hint.toBool());
            else locked_ = hint.toBool();
        });
    }
    if (session.isConnected()) {
        screenSaver_ = std::make_unique<DBusRelay>([this](const QDBusMessage& m) {
            bool active;
            if (!firstBool(m, active)) return;
            distributed(active ? "com.apple.screensaver.didstart" : "com.apple.screensaver.didstop").emit();
        });
        screenSaver_->listen(session, QStringLiteral("org.freedesktop.ScreenSaver"), QString(),
                             QStringLiteral("org.freedesktop.ScreenSaver"), QStringLiteral("ActiveChanged"));
    }
}

LinuxWorkspace::~LinuxWorkspace() = default;

// Lock and Unlock, and the hint that follows them, say the same thing: each change is told once.
void LinuxWorkspace::locked(bool locked) {
    if (locked_ == locked) return;
    locked_ = locked;
    distributed(locked ? "com.apple.screenIsLocked" : "com.apple.screenIsUnlocked").emit();
}

Signal<>& LinuxWorkspace::distributed(const std::string& name) { return distributed_[name]; }

Subscription LinuxWorkspace::observe(WorkspaceEvent event, std::function<void()> cb) {
    return events_[event].connect(std::move(cb));
}

Subscription LinuxWorkspace::observeDistributed(const std::string& name, std::function<void()> cb) {
    return distributed(name).connect(std::move(cb));
}

void LinuxWorkspace::postDistributed(const std::string& name) { distributed(name).emit(); }

}  // namespace halvyn
