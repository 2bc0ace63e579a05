#include "platform/linux/idle_inhibitor.h"

#include <QDBusMessage>
#include <QDBusUnixFileDescriptor>
#include <QTimer>

#include <fcntl.h>
#include <unistd.h>

#include "platform/linux/dbus_name.h"
#include "platform/linux/dbus_object.h"

namespace halvyn {

namespace {
const QString kLogin = QStringLiteral("org.freedesktop.login1");
const QString kScreenSaver = QStringLiteral("org.freedesktop.ScreenSaver");
const QString kScreenSaverPath = QStringLiteral("/org/freedesktop/ScreenSaver");
const QString kWho = QStringLiteral("Halvyn");
// A service that held its name but did not answer is asked again after this pause.
constexpr int kRetryMs = 500;
}  // namespace

IdleInhibitor::IdleInhibitor(QDBusConnection system, QDBusConnection session, Logger logger)
    : system_(std::move(system)), session_(std::move(session)), logger_(std::move(logger)) {
    // Both are started by the bus on demand where they are installed that way.
    logind_ = std::make_unique<DBusName>(system_, kLogin, [this](bool owned) { serviceChanged(By::logind, owned); }, true);
    screenSaver_ = std::make_unique<DBusName>(session_, kScreenSaver,
                                              [this](bool owned) { serviceChanged(By::screenSaver, owned); }, true);
}

IdleInhibitor::~IdleInhibitor() {
    for (auto& [id, w] : wanted_)
        if (w.fd >= 0) ::close(w.fd);
}

std::optional<bool> IdleInhibitor::available() const {
    const auto a = logind_->owned(), b = screenSaver_->owned();
    if (a == true || b == true) return true;
    if (a && b) return false;
    return std::nullopt;
}

std::size_t IdleInhibitor::heldCount() const {
    std::size_t n = 0;
    for (const auto& [id, w] : wanted_) n += w.by != By::nothing;
    return n;
}

PowerAssertions::AssertionID IdleInhibitor::create(const std::string& type, const std::string& reason) {
    if (available() == false) {
        refused(type);
        return kNone;
    }
    const AssertionID id = next_++;
    if (next_ == kNone) ++next_;
    wanted_[id] = Wanted{type, reason};
    take(id);
    return id;
}

void IdleInhibitor::refused(const std::string& type) {
    if (saidRefused_) return;
    saidRefused_ = true;
    logger_.error("Neither logind nor the screen saver inhibits idle; %{public}s not held", type);
}

// logind first; the screen saver where logind is not there or refuses.
void IdleInhibitor::take(AssertionID id) {
    Wanted& w = wanted_.at(id);
    if (logind_->owned() != false) return ask(id, By::logind);
    if (screenSaver_->owned() != false) return ask(id, By::screenSaver);
    w.asking = By::nothing;
    refused(w.type);
}

void IdleInhibitor::ask(AssertionID id, By by) {
    Wanted& w = wanted_.at(id);
    w.asking = by;
    QDBusMessage call;
    if (by == By::logind) {
        call = QDBusMessage::createMethodCall(kLogin, QStringLiteral("/org/freedesktop/login1"),
                                              QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("Inhibit"));
        call << QStringLiteral("idle") << kWho << QString::fromStdString(w.reason) << QStringLiteral("block");
    } else {
        call = QDBusMessage::createMethodCall(kScreenSaver, kScreenSaverPath, kScreenSaver, QStringLiteral("Inhibit"));
        call << kWho << QString::fromStdString(w.reason);
    }
    callAsync(by == By::logind ? system_ : session_, call, kCallTimeoutMs, &anchor_,
              [this, id, by, attempt = ++w.attempt](const QDBusMessage& reply) {
                  // Released, or asked again since: logind's inhibitor closes with the answer,
                  // the screen saver's is given back.
                  auto it = wanted_.find(id);
                  if (it == wanted_.end() || it->second.attempt != attempt) {
                      if (by == By::screenSaver && reply.type() == QDBusMessage::ReplyMessage &&
                          !reply.arguments().isEmpty())
                          unInhibit(reply.arguments().first().toUInt());
                      return;
                  }
                  answered(id, by, reply);
              });
}

void IdleInhibitor::answered(AssertionID id, By by, const QDBusMessage& reply) {
    Wanted& w = wanted_.at(id);
    if (noAnswer(reply)) {
        QTimer::singleShot(kRetryMs, &anchor_, [this, id, by, attempt = w.attempt] {
            auto it = wanted_.find(id);
            if (it != wanted_.end() && it->second.attempt == attempt) ask(id, by);
        });
        return;
    }
    w.asking = By::nothing;
    const bool ok = reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty();
    if (ok && by == By::logind) {
        const auto fd = qvariant_cast<QDBusUnixFileDescriptor>(reply.arguments().first());
        // The inhibitor lasts while this descriptor is open; our own copy, closed on release.
        if (fd.isValid()) w.fd = ::fcntl(fd.fileDescriptor(), F_DUPFD_CLOEXEC, 3);
        if (w.fd >= 0) w.by = By::logind;
    } else if (ok) {
        bool number = false;
        w.cookie = reply.arguments().first().toUInt(&number);
        if (number) w.by = By::screenSaver;
    }
    if (w.by != By::nothing) {
        saidRefused_ = false;
        return;
    }
    if (by == By::logind && screenSaver_->owned() != false) return ask(id, By::screenSaver);
    refused(w.type);
}

void IdleInhibitor::drop(Wanted& w) {
    if (w.fd >= 0) ::close(w.fd);
    w.fd = -1;
    w.by = By::nothing;
    w.asking = By::nothing;
    ++w.attempt;
}

// A service that leaves takes its inhibitors with it; one that comes (or comes back) gives those
// still wanted and not held.
void IdleInhibitor::serviceChanged(By by, bool owned) {
    for (auto& [id, w] : wanted_) {
        if (!owned && (w.by == by || w.asking == by)) {
            drop(w);
            take(id);
        } else if (owned && w.by == By::nothing && w.asking == By::nothing) {
            take(id);
        }
    }
}

void IdleInhibitor::release(AssertionID id) {
    auto it = wanted_.find(id);
    if (it == wanted_.end()) return;
    const Wanted w = it->second;
    wanted_.erase(it);
    if (w.fd >= 0) {
        ::close(w.fd);
        return;
    }
    if (w.by == By::screenSaver) unInhibit(w.cookie);
}

void IdleInhibitor::unInhibit(unsigned cookie) {
    if (!session_.isConnected()) return;
    QDBusMessage call =
        QDBusMessage::createMethodCall(kScreenSaver, kScreenSaverPath, kScreenSaver, QStringLiteral("UnInhibit"));
    call << cookie;
    // Nothing waits on the answer: a screen saver that went away dropped the inhibitor with it.
    session_.send(call);
}

}  // namespace halvyn
