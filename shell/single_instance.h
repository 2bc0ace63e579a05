#pragma once
// One desktop program per session: the first launch holds a lock in the user's runtime folder and
// listens beside it; a later launch finds the lock taken, tells the running one to reopen, and
// ends. A lock left by a program that died is taken over.

#include <QString>

#include <functional>
#include <memory>

class QLocalServer;
class QLockFile;

namespace halvyn {

class SingleInstance {
public:
    // `folder`: where the lock and the socket live; by default $XDG_RUNTIME_DIR/halvyn (or a
    // per-user folder in the temporary directory when the variable is unset).
    explicit SingleInstance(QString folder = defaultFolder());
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    static QString defaultFolder();

    // True when this process is now the one instance; `reopened` runs whenever a later launch
    // hands over to it. Needs the application object.
    bool becomePrimary(std::function<void()> reopened);
    // From a later launch: asks the running instance to reopen. False when none answered.
    bool handOver(int timeoutMs = 3000) const;

private:
    QString folder_;
    std::unique_ptr<QLockFile> lock_;
    std::unique_ptr<QLocalServer> server_;
};

}  // namespace halvyn
