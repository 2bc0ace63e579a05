#include "platform/linux/dbus_object.h"

#include <QDBusArgument>
#include <QDBusServiceWatcher>
#include <QDBusVariant>

#include "runtime/value.h"

namespace halvyn {

namespace {
// A local service answers in milliseconds; the limit keeps a hung one from freezing the program.
constexpr int kCallTimeoutMs = 1000;
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
                         if (owner.isEmpty()) {
                             present_ = false;
                             properties_.clear();
                         } else {
                             reload();
                         }
                         changed_();
                     });
    reload();
}

DBusObject::~DBusObject() = default;

bool DBusObject::reload() {
    QDBusMessage call = QDBusMessage::createMethodCall(service_, path_, kProperties, QStringLiteral("GetAll"));
    call << interface_;
    const QDBusMessage reply = bus_.call(call, QDBus::Block, kCallTimeoutMs);
    present_ = reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty();
    properties_ = present_ ? mapFrom(reply.arguments().first()) : QVariantMap{};
    return present_;
}

void DBusObject::propertiesChanged(const QDBusMessage& message) {
    const QList<QVariant> args = message.arguments();
    if (args.size() < 2 || args[0].toString() != interface_) return;
    const QVariantMap changed = mapFrom(args[1]);
    for (auto it = changed.begin(); it != changed.end(); ++it) properties_[it.key()] = it.value();
    // Properties announced without their value are read again.
    if (args.size() > 2 && !args[2].toStringList().isEmpty()) reload();
    present_ = true;
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
