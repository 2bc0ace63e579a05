#include "platform/linux/dbus_helper_connection.h"

#include <QDBusArgument>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QProcess>
#include <QTimer>

#include <utility>

#include <unistd.h>

#include "nowplaying/artwork_signature.h"
#include "platform/http.h"
#include "platform/linux/helper_bus.h"
#include "runtime/value.h"

namespace halvyn {

namespace {

const QString kService = QString::fromUtf8(helperbus::kService);
const QString kPath = QString::fromUtf8(helperbus::kPath);
const QString kInterface = QString::fromUtf8(helperbus::kInterface);
const QString kDBus = QStringLiteral("org.freedesktop.DBus");
constexpr const char* kArtworkIdentifier = "kMRMediaRemoteNowPlayingInfoArtworkIdentifier";
constexpr const char* kArtworkData = "kMRMediaRemoteNowPlayingInfoArtworkData";

HelperScalar scalarFrom(const QVariant& v) {
    if (v.typeId() == QMetaType::QByteArray) return Bytes{v.toByteArray().toStdString()};
    const Value plain = valueFromVariant(v);
    if (plain.isBool()) return plain.asBool();
    if (plain.isNumber()) return plain.asNumber();
    if (plain.isString()) return plain.asString();
    return std::monostate{};
}

}  // namespace

HelperReply helperReplyFrom(const QDBusMessage& reply) {
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return {};
    const QVariant v = reply.arguments().first();
    if (v.typeId() == QMetaType::Bool) return v.toBool();
    if (v.typeId() == QMetaType::QString) {
        if (v.toString().isEmpty()) return {};
        return v.toString().toStdString();
    }
    if (v.userType() == qMetaTypeId<QDBusArgument>()) {
        const auto arg = v.value<QDBusArgument>();
        if (arg.currentSignature() != QLatin1String("a{sv}")) return {};
        const QVariantMap map = qdbus_cast<QVariantMap>(arg);
        HelperDictionary d;
        for (auto it = map.begin(); it != map.end(); ++it) d[it.key().toStdString()] = scalarFrom(it.value());
        return d;
    }
    return {};
}

DBusHelperConnection::DBusHelperConnection(QDBusConnection bus, std::string helperPath, Logger log, Http* http)
    : bus_(std::move(bus)),
      helperPath_(std::move(helperPath)),
      log_(std::move(log)),
      startTimer_(std::make_unique<QTimer>()),
      relay_([this](const QDBusMessage& m) { callback(m); }),
      http_(http) {
    startTimer_->setSingleShot(true);
    startTimer_->setInterval(kStartTimeoutMs);
    QObject::connect(startTimer_.get(), &QTimer::timeout, &anchor_, [this] {
        if (!owner_.isEmpty()) return;
        log_.error("halvyn-helper did not come up on the session bus; media playing elsewhere is not shown until it does");
        waiting_.clear();
        gaveUp_ = true;
    });
    watcher_ = std::make_unique<QDBusServiceWatcher>(kService, bus_, QDBusServiceWatcher::WatchForOwnerChange);
    QObject::connect(watcher_.get(), &QDBusServiceWatcher::serviceOwnerChanged, &anchor_,
                     [this](const QString&, const QString&, const QString& owner) { ownerChanged(owner); });
    for (const char* name : {"nowPlayingDidChange", "applicationDidChange", "applicationIsPlayingDidChange"})
        relay_.listen(bus_, kService, kPath, kInterface, QString::fromUtf8(name));
}

DBusHelperConnection::~DBusHelperConnection() = default;

bool DBusHelperConnection::connect(HelperClient& client) {
    if (!bus_.isConnected()) return false;
    client_ = &client;
    ++generation_;
    waiting_.clear();
    if (!owner_.isEmpty()) return true;
    // Who serves is asked without waiting; requests wait for the answer.
    QDBusMessage ask = QDBusMessage::createMethodCall(kDBus, QStringLiteral("/org/freedesktop/DBus"), kDBus,
                                                      QStringLiteral("GetNameOwner"));
    ask << kService;
    auto* w = new QDBusPendingCallWatcher(bus_.asyncCall(ask, kReplyTimeoutMs), &anchor_);
    QObject::connect(w, &QDBusPendingCallWatcher::finished, &anchor_, [this, w] {
        w->deleteLater();
        const QDBusMessage r = w->reply();
        if (!owner_.isEmpty() || !client_) return;
        if (r.type() == QDBusMessage::ReplyMessage && !r.arguments().isEmpty())
            ownerChanged(r.arguments().first().toString());
        else
            startHelper();
    });
    return true;
}

void DBusHelperConnection::invalidate() {
    client_ = nullptr;
    ++generation_;
    waiting_.clear();
}

void DBusHelperConnection::allowStarts() {
    startsHeld_ = false;
    if (std::exchange(startWanted_, false) && owner_.isEmpty() && client_) startHelper();
}

void DBusHelperConnection::startHelper() {
    if (helperPath_.empty() || startTimer_->isActive()) return;
    if (startsHeld_) {
        startWanted_ = true;
        return;
    }
    const QStringList args = {QStringLiteral("--exit-with"), QString::number(::getpid())};
    if (!QProcess::startDetached(QString::fromStdString(helperPath_), args)) {
        if (!saidStartFailure_) log_.error("Cannot start %{public}s", helperPath_);
        saidStartFailure_ = true;
        return;
    }
    startTimer_->start();
}

void DBusHelperConnection::ownerChanged(const QString& owner) {
    const QString before = owner_;
    owner_ = owner;
    if (!before.isEmpty() && before != owner) {
        // The helper died or was replaced: what was on its way is lost.
        HelperClient* c = client_;
        client_ = nullptr;
        ++generation_;
        waiting_.clear();
        if (c) c->connectionInvalidated();
        return;
    }
    if (owner.isEmpty()) return;
    startTimer_->stop();
    std::deque<Waiting> ready;
    ready.swap(waiting_);
    for (auto& w : ready) dispatch(w.request, w.args, std::move(w.reply));
    // A helper that came after it was given up on: what plays is read as after its callbacks.
    if (gaveUp_ && client_) {
        gaveUp_ = false;
        log_.info("halvyn-helper is on the session bus now");
        client_->applicationDidChange();
        if (client_) client_->nowPlayingDidChange();
    }
}

void DBusHelperConnection::send(const std::string& request, const std::vector<double>& args,
                                std::function<void(const HelperReply&)> reply) {
    if (!client_) return;  // no connection: dropped
    if (owner_.isEmpty()) {
        if (waiting_.size() == kMaxWaiting) waiting_.pop_front();
        waiting_.push_back({request, args, std::move(reply)});
        return;
    }
    dispatch(request, args, std::move(reply));
}

void DBusHelperConnection::dispatch(const std::string& request, const std::vector<double>& args,
                                    std::function<void(const HelperReply&)> reply) {
    QDBusMessage m = QDBusMessage::createMethodCall(kService, kPath, kInterface, QString::fromStdString(request));
    m.setAutoStartService(false);
    for (double a : args) m << a;
    if (!reply) {
        bus_.send(m);
        return;
    }
    auto* w = new QDBusPendingCallWatcher(bus_.asyncCall(m, kReplyTimeoutMs), &anchor_);
    QObject::connect(w, &QDBusPendingCallWatcher::finished, &anchor_,
                     [this, w, generation = generation_, reply = std::move(reply)] {
                         w->deleteLater();
                         // A reply that never came (or an error) has no effect, as one lost with the helper.
                         if (generation != generation_ || !client_ || w->isError()) return;
                         HelperReply r = helperReplyFrom(w->reply());
                         completeArtwork(r);
                         reply(r);
                     });
}

void DBusHelperConnection::completeArtwork(HelperReply& reply) {
    auto* d = std::get_if<HelperDictionary>(&reply);
    const auto id = d ? d->find(kArtworkIdentifier) : HelperDictionary::iterator();
    if (!d || id == d->end() || d->count(kArtworkData)) return;
    const auto* url = std::get_if<std::string>(&id->second);
    if (!url || !isWebArtwork(*url)) return;
    if (*url == artUrl_ && !art_.empty()) {
        (*d)[kArtworkData] = Bytes{art_};
        return;
    }
    // Until its bytes are here the artwork is not announced, as artwork that could not be read.
    const std::string address = *url;
    d->erase(id);
    if (!http_ || address == artUrl_) return;  // on its way, or refused already
    artUrl_ = address;
    art_.clear();
    HttpRequest request;
    request.url = address;
    request.timeout = request.deadline = seconds(kArtTimeoutSeconds);
    request.maxBodyBytes = kMaxArtBytes;
    http_->send(request, [this, address, alive = std::weak_ptr<int>(alive_)](HttpResponse r) {
        if (alive.expired() || address != artUrl_) return;
        if (!r.ok() || !looksLikeArtwork(r.body)) {
            const std::string why = !r.error.empty() ? r.error : !r.ok() ? "answered " + std::to_string(r.status) : "is not an image";
            log_.error("Artwork not read: %{public}s %{public}s", address, why);
            return;
        }
        art_ = std::move(r.body);
        if (client_) client_->nowPlayingDidChange();
    });
}

void DBusHelperConnection::callback(const QDBusMessage& message) {
    if (!client_) return;
    const QString name = message.member();
    if (name == QLatin1String("nowPlayingDidChange")) return client_->nowPlayingDidChange();
    if (name == QLatin1String("applicationDidChange")) return client_->applicationDidChange();
    if (name != QLatin1String("applicationIsPlayingDidChange")) return;
    const QList<QVariant> a = message.arguments();
    if (a.size() != 3 || a[0].typeId() != QMetaType::Bool || a[1].typeId() != QMetaType::Bool ||
        a[2].typeId() != QMetaType::QString)
        return;
    client_->applicationIsPlayingDidChange(a[0].toBool(), a[1].toBool(), a[2].toString().toStdString());
}

}  // namespace halvyn
