#pragma once
// One desktop program per session: the first launch holds a lock in the user's runtime folder and
// listens on a local socket beside it (plain POSIX: no network library at start); a later launch
// finds the lock taken, tells the running one to reopen, and ends. A lock left by a program that
// died is taken over.

#include <QString>

#include <functional>
#include <map>
#include <memory>

class QLockFile;
class QSocketNotifier;

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

    // Connections from later launches read at once; more wait for one of them to end.
    static constexpr std::size_t kMaxCallers = 8;

private:
    void accept();
    void read(int fd);

    QString folder_;
    std::unique_ptr<QLockFile> lock_;
    int listening_ = -1;
    std::unique_ptr<QSocketNotifier> listener_;
    std::map<int, std::unique_ptr<QSocketNotifier>> callers_;
    std::function<void()> reopened_;
};

}  // namespace halvyn
