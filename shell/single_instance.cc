#include "shell/single_instance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QThread>

#include <unistd.h>

namespace halvyn {

namespace {
constexpr char kMessage[] = "reopen\n";
}

SingleInstance::SingleInstance(QString folder) : folder_(std::move(folder)) {}

SingleInstance::~SingleInstance() {
    if (server_) server_->close();
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
    const QString name = folder_ + QStringLiteral("/instance.socket");
    // Only the lock holder gets here, so a socket left behind is a dead instance's.
    QLocalServer::removeServer(name);
    server_ = std::make_unique<QLocalServer>();
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    auto* server = server_.get();
    QObject::connect(server, &QLocalServer::newConnection, server, [server, reopened = std::move(reopened)] {
        while (QLocalSocket* s = server->nextPendingConnection()) {
            QObject::connect(s, &QLocalSocket::disconnected, s, &QObject::deleteLater);
            QObject::connect(s, &QLocalSocket::readyRead, s, [s, reopened] {
                if (s->readAll().contains("reopen") && reopened) reopened();
            });
        }
    });
    // Listening can fail (a folder that cannot hold sockets); the lock still keeps one instance.
    server_->listen(name);
    return true;
}

bool SingleInstance::handOver(int timeoutMs) const {
    const QString name = folder_ + QStringLiteral("/instance.socket");
    QDeadlineTimer deadline(timeoutMs);
    // The running instance may hold the lock a moment before it listens.
    while (!deadline.hasExpired()) {
        QLocalSocket s;
        s.connectToServer(name);
        if (s.waitForConnected(static_cast<int>(std::max<qint64>(1, deadline.remainingTime())))) {
            s.write(kMessage, sizeof kMessage - 1);
            const bool sent = s.waitForBytesWritten(static_cast<int>(std::max<qint64>(1, deadline.remainingTime())));
            s.disconnectFromServer();
            return sent;
        }
        QThread::msleep(50);
    }
    return false;
}

}  // namespace halvyn
