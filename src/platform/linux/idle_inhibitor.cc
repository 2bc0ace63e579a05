#include "platform/linux/idle_inhibitor.h"

#include <QDBusMessage>
#include <QDBusUnixFileDescriptor>

#include <fcntl.h>
#include <unistd.h>

namespace halvyn {

namespace {
constexpr int kCallTimeoutMs = 2000;
const QString kLogin = QStringLiteral("org.freedesktop.login1");
const QString kScreenSaver = QStringLiteral("org.freedesktop.ScreenSaver");
const QString kWho = QStringLiteral("Halvyn");

// Asks the bus itself, never waiting long: this runs while the program starts.
QDBusMessage askBus(const QDBusConnection& bus, const QString& method, const QVariantList& args) {
    QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"),
                                                       QStringLiteral("/org/freedesktop/DBus"),
                                                       QStringLiteral("org.freedesktop.DBus"), method);
    call.setArguments(args);
    return bus.call(call, QDBus::Block, kCallTimeoutMs);
}

bool hasService(const QDBusConnection& bus, const QString& name) {
    if (!bus.isConnected()) return false;
    const QDBusMessage owned = askBus(bus, QStringLiteral("NameHasOwner"), {name});
    if (owned.type() == QDBusMessage::ReplyMessage && !owned.arguments().isEmpty() && owned.arguments().first().toBool())
        return true;
    const QDBusMessage activatable = askBus(bus, QStringLiteral("ListActivatableNames"), {});
    return activatable.type() == QDBusMessage::ReplyMessage && !activatable.arguments().isEmpty() &&
           activatable.arguments().first().toStringList().contains(name);
}
}  // namespace

IdleInhibitor::IdleInhibitor(QDBusConnection system, QDBusConnection session, Logger logger)
    : system_(std::move(system)), session_(std::move(session)), logger_(std::move(logger)) {}

IdleInhibitor::~IdleInhibitor() {
    for (auto& [id, held] : held_)
        if (held.fd >= 0) ::close(held.fd);
}

bool IdleInhibitor::available() const { return hasService(system_, kLogin) || hasService(session_, kScreenSaver); }

bool IdleInhibitor::inhibitWithLogind(const std::string& reason, Held& held) {
    if (!system_.isConnected()) return false;
    QDBusMessage call = QDBusMessage::createMethodCall(kLogin, QStringLiteral("/org/freedesktop/login1"),
                                                       QStringLiteral("org.freedesktop.login1.Manager"),
                                                       QStringLiteral("Inhibit"));
    call << QStringLiteral("idle") << kWho << QString::fromStdString(reason) << QStringLiteral("block");
    const QDBusMessage reply = system_.call(call, QDBus::Block, kCallTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return false;
    const auto fd = qvariant_cast<QDBusUnixFileDescriptor>(reply.arguments().first());
    if (!fd.isValid()) return false;
    // The inhibitor lasts while this descriptor is open; our own copy, closed on release.
    held.fd = ::fcntl(fd.fileDescriptor(), F_DUPFD_CLOEXEC, 3);
    return held.fd >= 0;
}

bool IdleInhibitor::inhibitWithScreenSaver(const std::string& reason, Held& held) {
    if (!session_.isConnected()) return false;
    QDBusMessage call = QDBusMessage::createMethodCall(kScreenSaver, QStringLiteral("/org/freedesktop/ScreenSaver"),
                                                       kScreenSaver, QStringLiteral("Inhibit"));
    call << kWho << QString::fromStdString(reason);
    const QDBusMessage reply = session_.call(call, QDBus::Block, kCallTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return false;
    bool ok = false;
    held.cookie = reply.arguments().first().toUInt(&ok);
    held.screenSaver = ok;
    return ok;
}

PowerAssertions::AssertionID IdleInhibitor::create(const std::string& type, const std::string& reason) {
    Held held;
    if (!inhibitWithLogind(reason, held) && !inhibitWithScreenSaver(reason, held)) {
        if (!saidRefused_) {
            saidRefused_ = true;
            logger_.error("Neither logind nor the screen saver inhibits idle; %{public}s not held", type);
        }
        return kNone;
    }
    const AssertionID id = next_++;
    if (next_ == kNone) ++next_;
    held_.emplace(id, held);
    return id;
}

void IdleInhibitor::release(AssertionID id) {
    auto it = held_.find(id);
    if (it == held_.end()) return;
    const Held held = it->second;
    held_.erase(it);
    if (held.fd >= 0) {
        ::close(held.fd);
        return;
    }
    if (held.screenSaver && session_.isConnected()) {
        QDBusMessage call = QDBusMessage::createMethodCall(kScreenSaver, QStringLiteral("/org/freedesktop/ScreenSaver"),
                                                           kScreenSaver, QStringLiteral("UnInhibit"));
        call << held.cookie;
        // Nothing waits on the answer: a screen saver that went away dropped the inhibitor with it.
        session_.call(call, QDBus::NoBlock);
    }
}

}  // namespace halvyn
