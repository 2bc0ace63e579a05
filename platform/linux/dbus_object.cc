#include "platform/linux/dbus_object.h"

#include <QDBusArgument>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QTimer>

#include <algorithm>

#include "runtime/value.h"

namespace halvyn {

namespace {
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");

QVariantMap mapFrom(const QVariant& v) {
    if (v.canConvert<QDBusArgument>()) {
        const auto arg = v.value<QDBusArgument>();
        if (arg.currentSignature() == QLatin1String("a{sv}")) return qdbus_cast<QVariantMap>(arg);
        return {};
    }
    return v.toMap();
}
}  // namespace

bool DBusRelay::listen(QDBusConnection& bus, const QString& service, const QString& path, const QString& interface,
                       const QString& name) {
    return bus.connect(service, path, interface, name, this, SLOT(deliver(QDBusMessage)));
}

bool noAnswer(const QDBusMessage& reply) {
    const QString name = reply.errorName();
    return name == QLatin1String("org.freedesktop.DBus.Error.NoReply") ||
           name == QLatin1String("org.freedesktop.DBus.Error.Timeout") ||
           name == QLatin1String("org.freedesktop.DBus.Error.TimedOut");
}

DBusObject::DBusObject(QDBusConnection bus, QString service, QString path, QString interface,
                       std::function<void()> changed)
    : bus_(std::move(bus)),
      service_(std::move(service)),
      path_(std::move(path)),
      interface_(std::move(interface)),
      changed_(std::move(changed)),
      relay_([this](const QDBusMessage& m) { propertiesChanged(m); }) {
    relay_.listen(bus_, service_, path_, kProperties, QStringLiteral("PropertiesChanged"));
    watcher_ = std::make_unique<QDBusServiceWatcher>(service_, bus_, QDBusServiceWatcher::WatchForOwnerChange);
    QObject::connect(watcher_.get(), &QDBusServiceWatcher::serviceOwnerChanged, &relay_,
                     [this](const QString&, const QString&, const QString& owner) {
                         newOwner_ = true;
                         retryMs_ = 0;
                         if (!owner.isEmpty()) return reload();
                         ++generation_;  // an answer still on its way is the old owner's
                         reading_ = fresh_ = present_ = false;
                         properties_.clear();
                         changed_();
                     });
    reload();
}

DBusObject::~DBusObject() = default;

void DBusObject::reload() {
    QDBusMessage call = QDBusMessage::createMethodCall(service_, path_, kProperties, QStringLiteral("GetAll"));
    call << interface_;
    reading_ = true;
    const int generation = ++generation_;
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call, kCallTimeoutMs), &relay_);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, &relay_,
                     [this, generation](QDBusPendingCallWatcher* w) { answered(w, generation); });
}

void DBusObject::answered(QDBusPendingCallWatcher* call, int generation) {
    call->deleteLater();
    if (generation != generation_) return;
    const QDBusMessage reply = call->reply();
    if (noAnswer(reply)) {
        // Still there but stalled: a slow service is no absent one. The last readings stand and
        // the reading goes on: asked again after 1, 2, 4 ... 30 s, never all at once.
        retryMs_ = retryMs_ == 0 ? 1000 : std::min(retryMs_ * 2, 30000);
        QTimer::singleShot(retryMs_, &relay_, [this, generation] {
            if (generation == generation_) reload();
        });
        return;
    }
    reading_ = false;
    present_ = reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty();
    properties_ = present_ ? mapFrom(reply.arguments().first()) : QVariantMap{};
    if (present_) {
        fresh_ = std::exchange(newOwner_, false) || fresh_;
        retryMs_ = 0;
    }
    changed_();
}

void DBusObject::propertiesChanged(const QDBusMessage& message) {
    const QList<QVariant> args = message.arguments();
    if (args.size() < 2 || args[0].toString() != interface_) return;
    // A change before any full read tells that the service is back; the full read follows.
    if (!present_) {
        if (!reading_) reload();
        return;
    }
    const QVariantMap changed = mapFrom(args[1]);
    for (auto it = changed.begin(); it != changed.end(); ++it) properties_[it.key()] = it.value();
    // Properties announced without their value are read again.
    if (args.size() > 2 && !args[2].toStringList().isEmpty()) reload();
    changed_();
}

Value valueFromVariant(const QVariant& v) {
    QVariant plain = v;
    if (plain.canConvert<QDBusVariant>() && plain.userType() == qMetaTypeId<QDBusVariant>())
        plain = plain.value<QDBusVariant>().variant();
    switch (plain.typeId()) {
        case QMetaType::Bool: return Value(plain.toBool());
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
        case QMetaType::Short:
        case QMetaType::UShort:
        case QMetaType::UChar:
        case QMetaType::Double: return Value(plain.toDouble());
        case QMetaType::QString: return Value(plain.toString().toStdString());
        default: return Value();
    }
}

}  // namespace halvyn
