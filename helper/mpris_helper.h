#pragma once
// The companion helper: follows the MPRIS players on the session bus without polling, answers
// the program's requests from what it knows, forwards the media commands to the player that owns
// the session and announces changes as signals. Every call to a player is asynchronous with a
// bounded time-out, so a player that hangs never holds up the loop.

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>

#include <functional>
#include <memory>
#include <set>
#include <string>

#include "nowplaying/mpris_sessions.h"
#include "platform/linux/dbus_object.h"
#include "runtime/logger.h"

namespace halvyn {

class QtHttp;
class HelperObject;

// A bus value as a plain value: numbers, flags, texts (object paths too), lists and string-keyed
// maps; anything else, and anything nested deeper than a few levels, is null.
Value valueFromBus(const QVariant& v);

class MprisHelper {
public:
    // Artwork larger than this is not read.
    static constexpr std::size_t kMaxArtBytes = std::size_t{8} << 20;

    MprisHelper(QDBusConnection bus, Logger log);
    ~MprisHelper();
    MprisHelper(const MprisHelper&) = delete;
    MprisHelper& operator=(const MprisHelper&) = delete;

    enum class Start { ok, nameTaken, failed };
    // Publishes the helper's object, reads the players already there, then takes the helper's
    // name. `nameLost` runs when another helper took the name meanwhile.
    Start start(std::function<void()> nameLost);

private:
    // The calls of the first look hold `token`; when the last of them ends, the name is taken.
    void scan(std::shared_ptr<int> token);
    void publish();
    void nameOwnerChanged(const QDBusMessage& m);
    void propertiesChanged(const QDBusMessage& m);
    void seeked(const QDBusMessage& m);
    void addPlayer(const QString& name, const QString& owner, const std::shared_ptr<int>& token);
    void readProperties(const std::string& busName, const char* interface, std::shared_ptr<int> token = {});
    void settle();
    void fetchArt(const MprisPlayer& p);
    // Reads (a file) and checks artwork off the loop; the outcome comes back to artDone.
    void checkArt(const std::string& busName, const std::string& url,
                  std::function<std::string(std::string& failure)> read);
    void artDone(const std::string& busName, const std::string& url, std::string bytes, const std::string& failure);

    bool handle(const QDBusMessage& request);
    void replyPosition(const QDBusMessage& request);
    void command(const QString& method, const QList<QVariant>& args = {});
    void seekTo(double seconds);
    void setRate(double rate);
    void setShuffle(bool on);
    // Sets one of the current player's properties, logging once when the player refuses it.
    void setProperty(const MprisPlayer& p, const QString& property, const QVariant& value, const char* what);

    // Calls a player; `done` runs once with the reply or the error, on the loop.
    void call(QDBusMessage message, int timeoutMs, std::function<void(const QDBusMessage&)> done);
    void emitSignal(const char* name, const QList<QVariant>& args = {});
    // Says a player's fault once, not on every change.
    void logOnce(const std::string& key, const std::string& message);
    double now() const;

    QDBusConnection bus_;
    Logger log_;
    MprisSessions sessions_;
    QObject anchor_;  // owns the pending calls; their replies die with the helper
    std::unique_ptr<HelperObject> object_;
    std::unique_ptr<QtHttp> http_;
    DBusRelay ownerRelay_, propertiesRelay_, seekedRelay_;
    std::set<std::pair<std::string, std::string>> artInFlight_;
    std::set<std::string> logged_;
    std::function<void()> nameLost_;
    bool published_ = false;
};

}  // namespace halvyn
