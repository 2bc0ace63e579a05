#pragma once
// The connection to the companion helper over the session bus. The helper serves a name of its
// own; this side follows who owns it: a helper that leaves (or is replaced) breaks the connection,
// and connecting again starts one when none serves. Requests sent while the helper is still
// coming up wait for it, a bounded number and for a bounded time. Replies and callbacks arrive on
// the event loop's thread, which is the main queue's. Artwork on the web, which the helper names
// without its bytes, is fetched here and added to the now-playing answers once it arrived.

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QString>

#include <deque>
#include <memory>
#include <string>

#include "platform/helper_connection.h"
#include "platform/linux/dbus_object.h"
#include "runtime/logger.h"

class QDBusServiceWatcher;
class QTimer;

namespace halvyn {

// A reply of the helper as the program reads it: a flag, a text (an empty one is none) or a
// dictionary of flags, numbers, texts and bytes; anything else is monostate.
HelperReply helperReplyFrom(const QDBusMessage& reply);

class Http;

class DBusHelperConnection final : public HelperConnection {
public:
    static constexpr std::size_t kMaxWaiting = 64;
    static constexpr int kStartTimeoutMs = 5000;
    static constexpr int kReplyTimeoutMs = 3000;
    // Artwork from the web larger than this, or slower than this, is not shown.
    static constexpr std::size_t kMaxArtBytes = std::size_t{8} << 20;
    static constexpr double kArtTimeoutSeconds = 5;

    // `helperPath`: the executable started when no helper serves; empty: never start one.
    // `http`: fetches artwork on the web; none: such artwork is not shown.
    DBusHelperConnection(QDBusConnection bus, std::string helperPath, Logger log, Http* http = nullptr);
    ~DBusHelperConnection() override;

    bool connect(HelperClient& client) override;
    void invalidate() override;
    void send(const std::string& request, const std::vector<double>& args,
              std::function<void(const HelperReply&)> reply) override;

    // A helper serves the name now.
    bool helperPresent() const { return !owner_.isEmpty(); }
    // Starting the helper waits until allowStarts: the program's first frame comes first, and
    // the helper's start would compete with it. A start asked for meanwhile happens then.
    void holdStarts() { startsHeld_ = true; }
    void allowStarts();
    bool startWaiting() const { return startWanted_; }

private:
    void ownerChanged(const QString& owner);
    void startHelper();
    void dispatch(const std::string& request, const std::vector<double>& args,
                  std::function<void(const HelperReply&)> reply);
    void callback(const QDBusMessage& message);
    // Adds fetched web artwork to a now-playing answer, or starts fetching what it names.
    void completeArtwork(HelperReply& reply);

    struct Waiting {
        std::string request;
        std::vector<double> args;
        std::function<void(const HelperReply&)> reply;
    };

    QDBusConnection bus_;
    std::string helperPath_;
    Logger log_;
    HelperClient* client_ = nullptr;
    QString owner_;
    // Raised whenever the connection is made or broken: replies of an older one are dropped.
    unsigned generation_ = 0;
    std::deque<Waiting> waiting_;
    bool saidStartFailure_ = false;
    // The helper did not come up in time; requests no longer wait for it.
    bool gaveUp_ = false;
    bool startsHeld_ = false;
    bool startWanted_ = false;
    QObject anchor_;
    std::unique_ptr<QTimer> startTimer_;
    std::unique_ptr<QDBusServiceWatcher> watcher_;
    DBusRelay relay_;
    Http* http_;
    // The web artwork fetched last (or being fetched), and its bytes once they arrived whole.
    std::string artUrl_, art_;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace halvyn
