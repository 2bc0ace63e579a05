#include "platform/linux/bluez_bluetooth.h"

#include <QDBusArgument>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <utility>

#include "platform/linux/dbus_object.h"

namespace halvyn {

namespace {
const QString kBluez = QStringLiteral("org.bluez");

using Interfaces = QMap<QString, QVariantMap>;
using Objects = QMap<QDBusObjectPath, Interfaces>;

struct Reading {
    bool answered = false;
    bool denied = false;
    Objects objects;
};

Reading readingFrom(const QDBusMessage& reply) {
    Reading r;
    if (reply.type() != QDBusMessage::ReplyMessage) {
        r.denied = reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.AccessDenied");
        return r;
    }
    if (reply.arguments().isEmpty() || !reply.arguments().first().canConvert<QDBusArgument>()) return r;
    const auto arg = reply.arguments().first().value<QDBusArgument>();
    if (arg.currentSignature() != QLatin1String("a{oa{sa{sv}}}")) return r;
    arg >> r.objects;
    r.answered = true;
    return r;
}

QVariant plain(const QVariant& v) {
    if (v.userType() == qMetaTypeId<QDBusVariant>()) return v.value<QDBusVariant>().variant();
    return v;
}

std::string dashedAddress(const QString& address) {
    std::string s = address.toLower().toStdString();
    for (char& c : s)
        if (c == ':') c = '-';
    return s;
}

// Each paired or connected device with its battery level.
std::vector<PairedDevice> devicesFrom(const Objects& objects) {
    std::vector<PairedDevice> out;
    for (const auto& interfaces : objects) {
        const auto device = interfaces.find(QStringLiteral("org.bluez.Device1"));
        if (device == interfaces.end()) continue;
        const QVariant address = plain(device->value(QStringLiteral("Address")));
        if (address.typeId() != QMetaType::QString) continue;
        const QVariant paired = plain(device->value(QStringLiteral("Paired")));
        const QVariant connected = plain(device->value(QStringLiteral("Connected")));
        const bool isConnected = connected.typeId() == QMetaType::Bool && connected.toBool();
        if (!isConnected && !(paired.typeId() == QMetaType::Bool && paired.toBool())) continue;
        PairedDevice d;
        d.addressString = dashedAddress(address.toString());
        d.isConnected = isConnected;
        const auto battery = interfaces.find(QStringLiteral("org.bluez.Battery1"));
        if (battery != interfaces.end()) {
            bool ok = false;
            const QVariant p = plain(battery->value(QStringLiteral("Percentage")));
            const double percent = p.toDouble(&ok);
            // Anything but a number from 0 to 100 is no reading.
            if (ok && p.typeId() != QMetaType::QString && percent >= 0 && percent <= 100)
                d.batteryPercentSingle = static_cast<std::uint8_t>(std::lround(percent));
        }
        out.push_back(std::move(d));
    }
    return out;
}

}  // namespace

BluezBluetooth::BluezBluetooth(QDBusConnection bus, Logger logger) : bus_(std::move(bus)), logger_(std::move(logger)) {
    watcher_ = std::make_unique<QDBusServiceWatcher>(kBluez, bus_, QDBusServiceWatcher::WatchForOwnerChange);
    QObject::connect(watcher_.get(), &QDBusServiceWatcher::serviceOwnerChanged, &context_,
                     [this](const QString&, const QString&, const QString&) {
                         retryMs_ = 0;
                         update();
                     });
    // An adapter plugged in or switched on later, a device paired, connected or with a new level.
    const QString manager = QStringLiteral("org.freedesktop.DBus.ObjectManager");
    relay_ = std::make_unique<DBusRelay>([this](const QDBusMessage&) { update(); });
    relay_->listen(bus_, kBluez, QStringLiteral("/"), manager, QStringLiteral("InterfacesAdded"));
    relay_->listen(bus_, kBluez, QStringLiteral("/"), manager, QStringLiteral("InterfacesRemoved"));
    relay_->listen(bus_, kBluez, QString(), QStringLiteral("org.freedesktop.DBus.Properties"),
                   QStringLiteral("PropertiesChanged"));
    update();
}

BluezBluetooth::~BluezBluetooth() = default;

void BluezBluetooth::update() {
    // One question at a time; news that comes meanwhile asks once more when it is answered.
    if (asking_) {
        again_ = true;
        return;
    }
    asking_ = true;
    QDBusMessage call = QDBusMessage::createMethodCall(kBluez, QStringLiteral("/"),
                                                       QStringLiteral("org.freedesktop.DBus.ObjectManager"),
                                                       QStringLiteral("GetManagedObjects"));
    auto* pending = new QDBusPendingCallWatcher(bus_.asyncCall(call, DBusObject::kCallTimeoutMs), &context_);
    QObject::connect(pending, &QDBusPendingCallWatcher::finished, &context_, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        asking_ = false;
        answered(w->reply());
        if (std::exchange(again_, false)) update();
    });
}

void BluezBluetooth::answered(const QDBusMessage& reply) {
    const Reading r = readingFrom(reply);
    if (!r.answered && noAnswer(reply)) {
        // BlueZ holds its name but does not answer: asked again after 1, 2, 4 ... 30 s.
        retryMs_ = retryMs_ == 0 ? 1000 : std::min(retryMs_ * 2, 30000);
        QTimer::singleShot(retryMs_, &context_, [this] { update(); });
    } else {
        retryMs_ = 0;
    }
    bool adapter = false;
    for (const auto& interfaces : r.objects) adapter = adapter || interfaces.contains(QStringLiteral("org.bluez.Adapter1"));
    BluetoothAuthorization now = BluetoothAuthorization::notDetermined;
    if (r.denied)
        now = BluetoothAuthorization::denied;
    else if (adapter)
        now = BluetoothAuthorization::allowedAlways;
    if (now != BluetoothAuthorization::allowedAlways && !saidAbsent_) {
        // A machine without Bluetooth is normal; a bus that refuses is not.
        if (r.denied)
            logger_.error("The bus refuses access to BlueZ; accessories absent");
        else
            logger_.info("No Bluetooth adapter from BlueZ; accessories absent until one appears");
        saidAbsent_ = true;
    } else if (now == BluetoothAuthorization::allowedAlways) {
        saidAbsent_ = false;
    }
    {
        std::lock_guard lock(mutex_);
        paired_ = r.answered ? std::optional(devicesFrom(r.objects)) : std::nullopt;
    }
    if (now == authorization_) return;
    authorization_ = now;
    authorizationChanged_.emit();
}

std::optional<std::vector<PairedDevice>> BluezBluetooth::pairedDevices() {
    std::lock_guard lock(mutex_);
    return paired_;
}

Subscription BluezBluetooth::observeAuthorization(std::function<void()> cb) {
    return authorizationChanged_.connect(std::move(cb));
}

}  // namespace halvyn
