#include "helper/mpris_helper.h"

#include <QBuffer>
#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QImage>
#include <QImageReader>
#include <QThreadPool>
#include <QUrl>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <cmath>

#include <fcntl.h>
#include <limits.h>
#include <linux/magic.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include "platform/linux/helper_bus.h"
#include "platform/linux/qt_http.h"

namespace halvyn {

namespace {

const QString kMpris = QStringLiteral("/org/mpris/MediaPlayer2");
const QString kRoot = QStringLiteral("org.mpris.MediaPlayer2");
const QString kPlayer = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");
const QString kDBus = QStringLiteral("org.freedesktop.DBus");
// A player answers a local call in milliseconds; one that takes longer is treated as gone for
// that call. A position asked for by the program waits less: it has a guess to fall back on.
constexpr int kCallTimeoutMs = 2000;
constexpr int kPositionTimeoutMs = 500;
constexpr int kArtTimeoutSeconds = 5;
// Artwork is drawn at most a few hundred points wide; a larger image is refused, not decoded.
constexpr int kMaxArtSide = 8192;
constexpr int kMaxDepth = 8;
// Entries of one map or list read from a player; the rest is skipped, so a player that sends a
// huge Metadata costs bounded work.
constexpr int kMaxEntries = 512;

const char* kIntrospection = R"(<interface name="org.halvyn.Helper">
  <method name="playPause"/>
  <method name="previousTrack"/>
  <method name="nextTrack"/>
  <method name="setPlayerPosition"><arg name="seconds" type="d" direction="in"/></method>
  <method name="setPlaybackRate"><arg name="rate" type="d" direction="in"/></method>
  <method name="setShuffle"><arg name="on" type="d" direction="in"/></method>
  <method name="getIsPlaying"><arg type="b" direction="out"/></method>
  <method name="getNowPlayingInfo"><arg type="a{sv}" direction="out"/></method>
  <method name="getNowPlayingBundle"><arg type="s" direction="out"/></method>
  <method name="getSeekerPosition"><arg type="a{sv}" direction="out"/></method>
  <method name="checkSupportedCommands"><arg type="a{sv}" direction="out"/></method>
  <signal name="nowPlayingDidChange"/>
  <signal name="applicationDidChange"/>
  <signal name="applicationIsPlayingDidChange">
    <arg name="isPlaying" type="b"/><arg name="playbackState" type="b"/><arg name="applicationName" type="s"/>
  </signal>
</interface>
)";

Value fromBus(const QVariant& v, int depth);

Value fromArgument(const QDBusArgument& arg, int depth) {
    if (depth > kMaxDepth) return Value();
    switch (arg.currentType()) {
        case QDBusArgument::MapType: {
            Value out = Value::object();
            arg.beginMap();
            for (int n = 0; !arg.atEnd(); ++n) {
                arg.beginMapEntry();
                const QVariant key = arg.asVariant();
                const QVariant value = arg.asVariant();
                arg.endMapEntry();
                if (n < kMaxEntries && key.typeId() == QMetaType::QString)
                    out.set(key.toString().toStdString(), fromBus(value, depth + 1));
            }
            arg.endMap();
            return out;
        }
        case QDBusArgument::ArrayType:
        case QDBusArgument::StructureType: {
            // A structure reads as the list of its fields.
            const bool array = arg.currentType() == QDBusArgument::ArrayType;
            Value out = Value::array();
            array ? arg.beginArray() : arg.beginStructure();
            for (int n = 0; !arg.atEnd(); ++n) {
                const QVariant one = arg.asVariant();
                if (n < kMaxEntries) out.push(fromBus(one, depth + 1));
            }
            array ? arg.endArray() : arg.endStructure();
            return out;
        }
        default: return fromBus(arg.asVariant(), depth + 1);
    }
}

Value fromBus(const QVariant& v, int depth) {
    if (depth > kMaxDepth) return Value();
    const int type = v.userType();
    if (type == qMetaTypeId<QDBusVariant>()) return fromBus(v.value<QDBusVariant>().variant(), depth + 1);
    if (type == qMetaTypeId<QDBusArgument>()) return fromArgument(v.value<QDBusArgument>(), depth + 1);
    if (type == qMetaTypeId<QDBusObjectPath>()) return Value(v.value<QDBusObjectPath>().path().toStdString());
    switch (type) {
        case QMetaType::QStringList: {
            Value out = Value::array();
            for (const QString& s : v.toStringList().mid(0, kMaxEntries)) out.push(Value(s.toStdString()));
            return out;
        }
        case QMetaType::QVariantList: {
            Value out = Value::array();
            for (const QVariant& one : v.toList().mid(0, kMaxEntries)) out.push(fromBus(one, depth + 1));
            return out;
        }
        case QMetaType::QVariantMap: {
            Value out = Value::object();
            const QVariantMap map = v.toMap();
            int n = 0;
            for (auto it = map.begin(); it != map.end() && n < kMaxEntries; ++it, ++n)
                out.set(it.key().toStdString(), fromBus(it.value(), depth + 1));
            return out;
        }
        default: return valueFromVariant(v);  // flags, numbers and texts; null for the rest
    }
}

QVariantMap toBus(const HelperDictionary& d) {
    QVariantMap out;
    for (const auto& [key, value] : d) {
        QVariant v;
        if (auto* b = std::get_if<bool>(&value)) v = *b;
        else if (auto* n = std::get_if<double>(&value)) v = *n;
        else if (auto* s = std::get_if<std::string>(&value)) v = QString::fromStdString(*s);
        else if (auto* bytes = std::get_if<Bytes>(&value)) v = QByteArray::fromStdString(bytes->data);
        else continue;
        out.insert(QString::fromStdString(key), v);
    }
    return out;
}

// Whether `path` is `tree` or lies inside it.
bool under(std::string_view path, std::string_view tree) {
    return path == tree || (path.starts_with(tree) && path.size() > tree.size() && path[tree.size()] == '/');
}

// The kernel's own file systems: their "files" are the state of processes and devices (the
// helper's own environment among them), never artwork.
bool kernelFileSystem(int fd) {
    struct statfs fs {};
    if (::fstatfs(fd, &fs) != 0) return true;
    constexpr unsigned long kernel[] = {PROC_SUPER_MAGIC, SYSFS_MAGIC, DEBUGFS_MAGIC, SECURITYFS_MAGIC, TRACEFS_MAGIC,
                                        CGROUP_SUPER_MAGIC, CGROUP2_SUPER_MAGIC, EFIVARFS_MAGIC};
    return std::find(std::begin(kernel), std::end(kernel), static_cast<unsigned long>(fs.f_type)) != std::end(kernel);
}

// Reads a local artwork file off the loop. A player may name any path: only a regular file
// outside /proc, /sys and /dev, and within the limit, is read. It is opened by its canonical
// path without following a link swapped in meanwhile, and checked on the opened descriptor: a
// FIFO would block, a device would never end.
std::string readArtFile(const std::string& path, std::string& failure) {
    char real[PATH_MAX];
    if (!::realpath(path.c_str(), real)) {
        failure = "cannot be opened";
        return {};
    }
    if (under(real, "/proc") || under(real, "/sys") || under(real, "/dev")) {
        failure = "is a system file";
        return {};
    }
    const int fd = ::open(real, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW);
    if (fd < 0) {
        failure = "cannot be opened";
        return {};
    }
    std::string bytes;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        failure = "is not a regular file";
    } else if (kernelFileSystem(fd)) {
        failure = "is a system file";
    } else if (static_cast<std::size_t>(st.st_size) > MprisHelper::kMaxArtBytes) {
        failure = "is larger than the artwork limit";
    } else {
        char buf[65536];
        ssize_t n;
        while ((n = ::read(fd, buf, sizeof buf)) > 0) {
            bytes.append(buf, static_cast<std::size_t>(n));
            if (bytes.size() > MprisHelper::kMaxArtBytes) {  // it grew while being read
                failure = "is larger than the artwork limit";
                bytes.clear();
                break;
            }
        }
        if (n < 0) {
            failure = "cannot be read";
            bytes.clear();
        }
    }
    ::close(fd);
    return bytes;
}

// What a player names may be any file or any web answer: it is passed on only when it decodes
// whole as an image of a common artwork format and size, so nothing else ever reaches the
// helper's clients.
void keepOnlyImage(std::string& bytes, std::string& failure) {
    if (bytes.empty() || !failure.empty()) return;
    QByteArray data = QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size()));
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setDecideFormatFromContent(true);
    const QByteArray format = reader.format();
    const QSize size = reader.size();
    const bool known = format == "png" || format == "jpeg" || format == "gif" || format == "bmp" || format == "webp";
    if (!known || !size.isValid() || size.width() > kMaxArtSide || size.height() > kMaxArtSide ||
        reader.read().isNull()) {
        failure = "is not an image";
        bytes.clear();
    }
}

}  // namespace

Value valueFromBus(const QVariant& v) { return fromBus(v, 0); }

// The helper's object on the bus: messages go to one function; no meta-object needed.
class HelperObject final : public QDBusVirtualObject {
public:
    explicit HelperObject(std::function<bool(const QDBusMessage&)> fn) : fn_(std::move(fn)) {}
    QString introspect(const QString&) const override { return QString::fromUtf8(kIntrospection); }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection&) override { return fn_(message); }

private:
    std::function<bool(const QDBusMessage&)> fn_;
};

MprisHelper::MprisHelper(QDBusConnection bus, Logger log)
    : bus_(std::move(bus)),
      log_(std::move(log)),
      object_(std::make_unique<HelperObject>([this](const QDBusMessage& m) { return handle(m); })),
      http_(std::make_unique<QtHttp>()),
      ownerRelay_([this](const QDBusMessage& m) { nameOwnerChanged(m); }),
      propertiesRelay_([this](const QDBusMessage& m) { propertiesChanged(m); }),
      seekedRelay_([this](const QDBusMessage& m) { seeked(m); }) {}

MprisHelper::~MprisHelper() {
    published_ = true;  // pending reads that end now publish nothing
    bus_.unregisterObject(QString::fromUtf8(helperbus::kPath));
    // Artwork reads still running post back to the anchor; they finish before it goes.
    QThreadPool::globalInstance()->waitForDone();
}

MprisHelper::Start MprisHelper::start(std::function<void()> nameLost) {
    if (!bus_.isConnected()) return Start::failed;
    const QString service = QString::fromUtf8(helperbus::kService);
    const auto owned = bus_.interface()->isServiceRegistered(service);
    if (!owned.isValid()) return Start::failed;
    if (owned.value()) return Start::nameTaken;
    if (!bus_.registerVirtualObject(QString::fromUtf8(helperbus::kPath), object_.get())) return Start::failed;
    nameLost_ = std::move(nameLost);
    ownerRelay_.listen(bus_, kDBus, QStringLiteral("/org/freedesktop/DBus"), kDBus, QStringLiteral("NameOwnerChanged"));
    propertiesRelay_.listen(bus_, QString(), kMpris, kProperties, QStringLiteral("PropertiesChanged"));
    seekedRelay_.listen(bus_, QString(), kMpris, kPlayer, QStringLiteral("Seeked"));
    // The name is taken once the players already there were read (or did not answer in time), so
    // the program's first questions find them.
    scan(std::shared_ptr<int>(new int(0), [this](int* p) {
        delete p;
        publish();
    }));
    return Start::ok;
}

void MprisHelper::publish() {
    if (published_) return;
    published_ = true;
    const auto reply = bus_.interface()->registerService(QString::fromUtf8(helperbus::kService),
                                                         QDBusConnectionInterface::DontQueueService,
                                                         QDBusConnectionInterface::DontAllowReplacement);
    if (reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered) return;
    log_.error("Another helper took the bus name first; this one ends");
    if (nameLost_) nameLost_();
}

double MprisHelper::now() const {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

void MprisHelper::logOnce(const std::string& key, const std::string& message) {
    if (logged_.insert(key).second) log_.error("%{public}s", message);
}

void MprisHelper::call(QDBusMessage message, int timeoutMs, std::function<void(const QDBusMessage&)> done) {
    message.setAutoStartService(false);
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(message, timeoutMs), &anchor_);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, &anchor_, [watcher, done = std::move(done)] {
        watcher->deleteLater();
        if (done) done(watcher->reply());
    });
}

void MprisHelper::emitSignal(const char* name, const QList<QVariant>& args) {
    QDBusMessage s = QDBusMessage::createSignal(QString::fromUtf8(helperbus::kPath),
                                                QString::fromUtf8(helperbus::kInterface), QString::fromUtf8(name));
    s.setArguments(args);
    bus_.send(s);
}

// MARK: - Following the players

void MprisHelper::scan(std::shared_ptr<int> token) {
    call(QDBusMessage::createMethodCall(kDBus, QStringLiteral("/org/freedesktop/DBus"), kDBus, QStringLiteral("ListNames")),
         kCallTimeoutMs, [this, token](const QDBusMessage& reply) {
             if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
                 log_.error("The bus does not list its names: %{public}s", reply.errorMessage().toStdString());
                 return;
             }
             for (const QString& name : reply.arguments().first().toStringList()) {
                 if (!MprisSessions::isPlayerName(name.toStdString())) continue;
                 QDBusMessage owner = QDBusMessage::createMethodCall(kDBus, QStringLiteral("/org/freedesktop/DBus"), kDBus,
                                                                     QStringLiteral("GetNameOwner"));
                 owner << name;
                 call(owner, kCallTimeoutMs, [this, name, token](const QDBusMessage& r) {
                     if (r.type() == QDBusMessage::ReplyMessage && !r.arguments().isEmpty())
                         addPlayer(name, r.arguments().first().toString(), token);
                 });
             }
         });
}

void MprisHelper::nameOwnerChanged(const QDBusMessage& m) {
    const QList<QVariant> args = m.arguments();
    if (args.size() < 3) return;
    const QString name = args[0].toString(), before = args[1].toString(), after = args[2].toString();
    if (!MprisSessions::isPlayerName(name.toStdString())) return;
    if (!before.isEmpty()) {
        MprisPlayer* p = sessions_.find(before.toStdString());
        if (p && p->name == name.toStdString()) sessions_.remove(before.toStdString());
    }
    if (!after.isEmpty()) addPlayer(name, after, {});
    settle();
}

void MprisHelper::addPlayer(const QString& name, const QString& owner, const std::shared_ptr<int>& token) {
    if (owner.isEmpty() || sessions_.find(owner.toStdString())) return;
    sessions_.add(owner.toStdString(), name.toStdString());
    QDBusMessage pid = QDBusMessage::createMethodCall(kDBus, QStringLiteral("/org/freedesktop/DBus"), kDBus,
                                                      QStringLiteral("GetConnectionUnixProcessID"));
    pid << owner;
    call(pid, kCallTimeoutMs, [this, busName = owner.toStdString(), token](const QDBusMessage& r) {
        MprisPlayer* p = sessions_.find(busName);
        if (!p || r.type() != QDBusMessage::ReplyMessage || r.arguments().isEmpty()) return;
        std::ifstream comm("/proc/" + std::to_string(r.arguments().first().toUInt()) + "/comm");
        std::getline(comm, p->processName);
    });
    readProperties(owner.toStdString(), "org.mpris.MediaPlayer2", token);
    readProperties(owner.toStdString(), "org.mpris.MediaPlayer2.Player", token);
}

void MprisHelper::readProperties(const std::string& busName, const char* interface, std::shared_ptr<int> token) {
    QDBusMessage get = QDBusMessage::createMethodCall(QString::fromStdString(busName), kMpris, kProperties,
                                                      QStringLiteral("GetAll"));
    get << QString::fromUtf8(interface);
    const bool player = QString::fromUtf8(interface) == kPlayer;
    call(get, kCallTimeoutMs, [this, busName, player, token = std::move(token)](const QDBusMessage& reply) {
        MprisPlayer* p = sessions_.find(busName);
        if (!p) return;  // it left meanwhile
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
            // Keeps what it knew; a player that never answered is never chosen.
            logOnce(busName + " answer", "Player " + p->name + " does not answer: " + reply.errorMessage().toStdString());
            return;
        }
        if (sessions_.apply(busName, valueFromBus(reply.arguments().first()), player, now()))
            logOnce(busName + " types", "Player " + p->name + " publishes properties of the wrong type; they are ignored");
        settle();
    });
}

void MprisHelper::propertiesChanged(const QDBusMessage& m) {
    const QList<QVariant> args = m.arguments();
    const std::string sender = m.service().toStdString();
    MprisPlayer* p = sessions_.find(sender);
    if (!p || args.size() < 2) return;
    const QString interface = args[0].toString();
    if (interface != kPlayer && interface != kRoot) return;
    if (sessions_.apply(sender, valueFromBus(args[1]), interface == kPlayer, now()))
        logOnce(sender + " types", "Player " + p->name + " publishes properties of the wrong type; they are ignored");
    // Properties announced without their value are read again.
    if (args.size() > 2 && !args[2].toStringList().isEmpty()) readProperties(sender, interface.toUtf8().constData());
    settle();
}

void MprisHelper::seeked(const QDBusMessage& m) {
    const std::string sender = m.service().toStdString();
    if (!sessions_.find(sender) || m.arguments().isEmpty()) return;
    const Value us = valueFromBus(m.arguments().first());
    if (!us.isNumber()) return;
    sessions_.setPosition(sender, us.asNumber() / 1e6, now(), true);
    settle();
}

void MprisHelper::settle() {
    if (const MprisPlayer* p = sessions_.current(); p && !p->track.artUrl.empty() && p->artRead != p->track.artUrl)
        fetchArt(*p);
    const SessionChanges c = sessions_.takeChanges();
    if (c.application) emitSignal("applicationDidChange");
    if (c.isPlaying) {
        const MprisPlayer* p = sessions_.current();
        const bool playing = p && p->status == PlaybackStatus::playing;
        // Stopped, or no player at all: nothing to resume, the program may let go at once.
        const bool stopped = !p || p->status == PlaybackStatus::stopped;
        const std::string name = p ? p->applicationName() : std::string();
        emitSignal("applicationIsPlayingDidChange", {playing, !playing && stopped, QString::fromStdString(name)});
    }
    if (c.nowPlaying) emitSignal("nowPlayingDidChange");
}

// MARK: - Artwork

void MprisHelper::fetchArt(const MprisPlayer& p) {
    const std::string busName = p.busName, url = p.track.artUrl;
    if (!artInFlight_.insert({busName, url}).second) return;
    const QUrl u(QString::fromStdString(url));
    if (u.isLocalFile()) {
        const std::string path = u.toLocalFile().toStdString();
        checkArt(busName, url, [path](std::string& failure) { return readArtFile(path, failure); });
        return;
    }
    if (u.scheme() == QLatin1String("http") || u.scheme() == QLatin1String("https")) {
        HttpRequest request;
        request.url = url;
        request.timeout = seconds(kArtTimeoutSeconds);
        request.maxBodyBytes = kMaxArtBytes;
        http_->send(request, [this, busName, url](HttpResponse r) {
            if (!r.ok()) return artDone(busName, url, {}, r.error.empty() ? "answered " + std::to_string(r.status) : r.error);
            checkArt(busName, url, [body = std::move(r.body)](std::string&) mutable { return std::move(body); });
        });
        return;
    }
    artDone(busName, url, {}, "is not a file or web address");
}

void MprisHelper::checkArt(const std::string& busName, const std::string& url,
                           std::function<std::string(std::string& failure)> read) {
    QThreadPool::globalInstance()->start([this, busName, url, read = std::move(read)] {
        std::string failure;
        std::string bytes = read(failure);
        keepOnlyImage(bytes, failure);
        QMetaObject::invokeMethod(
            &anchor_, [this, busName, url, bytes = std::move(bytes), failure] { artDone(busName, url, bytes, failure); },
            Qt::QueuedConnection);
    });
}

void MprisHelper::artDone(const std::string& busName, const std::string& url, std::string bytes,
                          const std::string& failure) {
    artInFlight_.erase({busName, url});
    MprisPlayer* p = sessions_.find(busName);
    if (!p) return;
    if (!failure.empty()) logOnce(busName + " art", "Artwork of " + p->name + " not read: " + url + " " + failure);
    sessions_.setArt(busName, url, std::move(bytes));
    settle();
}

// MARK: - Requests

bool MprisHelper::handle(const QDBusMessage& request) {
    if (request.type() != QDBusMessage::MethodCallMessage) return false;
    const QString iface = request.interface();
    if (!iface.isEmpty() && iface != QLatin1String(helperbus::kInterface)) return false;
    const std::string member = request.member().toStdString();
    auto answer = [&](const QVariant& v) { bus_.send(request.createReply(v)); };
    auto done = [&] {
        if (!request.isReplyRequired()) return;
        bus_.send(request.createReply());
    };
    auto number = [&]() -> std::optional<double> {
        const QList<QVariant> args = request.arguments();
        if (args.size() != 1 || args[0].typeId() != QMetaType::Double || !std::isfinite(args[0].toDouble())) return std::nullopt;
        return args[0].toDouble();
    };
    if (member == "getIsPlaying") answer(sessions_.isPlaying());
    else if (member == "getNowPlayingInfo") answer(toBus(sessions_.nowPlayingInfo()));
    else if (member == "getNowPlayingBundle") answer(QString::fromStdString(sessions_.bundle().value_or("")));
    else if (member == "checkSupportedCommands") answer(toBus(sessions_.supportedCommands()));
    else if (member == "getSeekerPosition") replyPosition(request);
    else if (member == "playPause") command(QStringLiteral("PlayPause")), done();
    else if (member == "previousTrack") command(QStringLiteral("Previous")), done();
    else if (member == "nextTrack") command(QStringLiteral("Next")), done();
    else if (member == "setPlayerPosition" || member == "setPlaybackRate" || member == "setShuffle") {
        const auto value = number();
        if (!value) {
            bus_.send(request.createErrorReply(QDBusError::InvalidArgs, QStringLiteral("one finite number expected")));
            return true;
        }
        if (member == "setPlayerPosition") seekTo(*value);
        else if (member == "setShuffle") setShuffle(*value != 0);
        else setRate(*value);
        done();
    } else {
        return false;
    }
    return true;
}

void MprisHelper::replyPosition(const QDBusMessage& request) {
    const MprisPlayer* p = sessions_.current();
    if (!p) {
        bus_.send(request.createReply(QVariantMap()));
        return;
    }
    // The position is not announced while it runs: asked fresh, with the running guess as fallback.
    QDBusMessage get = QDBusMessage::createMethodCall(QString::fromStdString(p->busName), kMpris, kProperties,
                                                      QStringLiteral("Get"));
    get << kPlayer << QStringLiteral("Position");
    const std::string busName = p->busName;
    call(get, kPositionTimeoutMs, [this, request, busName](const QDBusMessage& reply) {
        if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
            const Value us = valueFromBus(reply.arguments().first());
            if (us.isNumber()) sessions_.setPosition(busName, us.asNumber() / 1e6, now(), false);
        }
        bus_.send(request.createReply(toBus(sessions_.position(now()))));
    });
}

void MprisHelper::command(const QString& method, const QList<QVariant>& args) {
    const MprisPlayer* p = sessions_.current();
    if (!p) return;
    QDBusMessage m = QDBusMessage::createMethodCall(QString::fromStdString(p->busName), kMpris, kPlayer, method);
    m.setArguments(args);
    const std::string busName = p->busName, name = p->name;
    call(m, kCallTimeoutMs, [this, busName, name, method](const QDBusMessage& reply) {
        if (reply.type() == QDBusMessage::ErrorMessage)
            logOnce(busName + " " + method.toStdString(),
                    "Player " + name + " refused " + method.toStdString() + ": " + reply.errorMessage().toStdString());
    });
}

void MprisHelper::seekTo(double seconds) {
    const MprisPlayer* p = sessions_.current();
    if (!p || !p->canSeek) return;
    double target = std::max(seconds, 0.0);
    if (p->track.duration) target = std::min(target, *p->track.duration);
    const auto us = static_cast<qlonglong>(std::llround(target * 1e6));
    if (!p->track.id.empty() && p->track.id.front() == '/')
        return command(QStringLiteral("SetPosition"),
                       {QVariant::fromValue(QDBusObjectPath(QString::fromStdString(p->track.id))), us});
    // Without a track id only a relative jump is possible.
    const auto offset = static_cast<qlonglong>(std::llround((target - p->positionNow(now())) * 1e6));
    command(QStringLiteral("Seek"), {offset});
}

void MprisHelper::setRate(double rate) {
    const MprisPlayer* p = sessions_.current();
    if (!p || !p->canControl || rate <= 0) return;
    if ((p->minimumRate && rate < *p->minimumRate) || (p->maximumRate && rate > *p->maximumRate)) return;
    setProperty(*p, QStringLiteral("Rate"), QVariant(rate), "the rate");
}

void MprisHelper::setShuffle(bool on) {
    const MprisPlayer* p = sessions_.current();
    if (!p || !p->canControl || !p->shuffle) return;
    setProperty(*p, QStringLiteral("Shuffle"), QVariant(on), "shuffle");
}

void MprisHelper::setProperty(const MprisPlayer& p, const QString& property, const QVariant& value, const char* what) {
    QDBusMessage set = QDBusMessage::createMethodCall(QString::fromStdString(p.busName), kMpris, kProperties,
                                                      QStringLiteral("Set"));
    set << kPlayer << property << QVariant::fromValue(QDBusVariant(value));
    const std::string busName = p.busName, name = p.name, key = busName + " " + property.toStdString();
    call(set, kCallTimeoutMs, [this, key, name, what](const QDBusMessage& reply) {
        if (reply.type() == QDBusMessage::ErrorMessage)
            logOnce(key, "Player " + name + " refused " + what + ": " + reply.errorMessage().toStdString());
    });
}

}  // namespace halvyn
