#include "shell/single_instance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QSocketNotifier>
#include <QThread>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <string_view>

namespace halvyn {

namespace {
constexpr char kMessage[] = "reopen\n";

// The socket's address, or nothing when the path is too long for one.
std::optional<sockaddr_un> addressOf(const QString& folder) {
    const QByteArray path = QFile::encodeName(folder + QStringLiteral("/instance.socket"));
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (static_cast<std::size_t>(path.size()) >= sizeof address.sun_path) return std::nullopt;
    std::memcpy(address.sun_path, path.constData(), static_cast<std::size_t>(path.size()));
    return address;
}
}  // namespace

SingleInstance::SingleInstance(QString folder) : folder_(std::move(folder)) {}

SingleInstance::~SingleInstance() {
    listener_.reset();
    for (auto& [fd, notifier] : callers_) {
        notifier.reset();
        ::close(fd);
    }
    if (listening_ >= 0) ::close(listening_);
}

QString SingleInstance::defaultFolder() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir::isAbsolutePath(runtime)) return runtime + QStringLiteral("/halvyn");
    return QDir::tempPath() + QStringLiteral("/halvyn-") + QString::number(::getuid());
}

bool SingleInstance::becomePrimary(std::function<void()> reopened) {
    QDir().mkpath(folder_);
    QFile::setPermissions(folder_, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    lock_ = std::make_unique<QLockFile>(folder_ + QStringLiteral("/instance.lock"));
    // A lock whose process is gone counts as stale at once.
    lock_->setStaleLockTime(0);
    if (!lock_->tryLock(0)) {
        lock_.reset();
        return false;
    }
    reopened_ = std::move(reopened);
    // Listening can fail (a folder that cannot hold sockets, a path too long); the lock still
    // keeps one instance.
    const auto address = addressOf(folder_);
    if (!address) return true;
    // Only the lock holder gets here, so a socket left behind is a dead instance's.
    ::unlink(address->sun_path);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return true;
    // Only this user may call, whatever the folder's permissions.
    const mode_t before = ::umask(0077);
    const bool bound = ::bind(fd, reinterpret_cast<const sockaddr*>(&*address), sizeof *address) == 0;
    ::umask(before);
    if (!bound || ::listen(fd, 4) != 0) {
        ::close(fd);
        return true;
    }
    listening_ = fd;
    listener_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    QObject::connect(listener_.get(), &QSocketNotifier::activated, listener_.get(), [this] { accept(); });
    return true;
}

void SingleInstance::accept() {
    while (callers_.size() < kMaxCallers) {
        const int fd = ::accept4(listening_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) break;
        auto notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
        QObject::connect(notifier.get(), &QSocketNotifier::activated, notifier.get(), [this, fd] { read(fd); });
        callers_[fd] = std::move(notifier);
    }
    // Callers beyond the bound wait in the queue until one of those here is done.
    listener_->setEnabled(callers_.size() < kMaxCallers);
}

void SingleInstance::read(int fd) {
    // A caller says one short message and goes; anything else is read past and dropped.
    char buffer[64];
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
    const bool ask = n > 0 && std::string_view(buffer, static_cast<std::size_t>(n)).find("reopen") != std::string_view::npos;
    // One message a connection: it is closed once read, or when the caller goes. The notifier
    // that called goes once its signal is done.
    if (auto it = callers_.find(fd); it != callers_.end()) {
        it->second->setEnabled(false);
        it->second.release()->deleteLater();
        callers_.erase(it);
    }
    ::close(fd);
    if (listener_) listener_->setEnabled(true);
    if (ask && reopened_) reopened_();
}

bool SingleInstance::handOver(int timeoutMs) const {
    const auto address = addressOf(folder_);
    if (!address) return false;
    QDeadlineTimer deadline(timeoutMs);
    // The running instance may hold the lock a moment before it listens.
    while (!deadline.hasExpired()) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0) return false;
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&*address), sizeof *address) == 0) {
            const timeval wait{std::max<long>(1, static_cast<long>(deadline.remainingTime() / 1000)), 0};
            ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &wait, sizeof wait);
            const bool sent = ::send(fd, kMessage, sizeof kMessage - 1, MSG_NOSIGNAL) == sizeof kMessage - 1;
            ::close(fd);
            return sent;
        }
        ::close(fd);
        QThread::msleep(50);
    }
    return false;
}

}  // namespace halvyn
