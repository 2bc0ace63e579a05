#include "platform/linux/dbus_name.h"

#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>

namespace halvyn {

namespace {
const QString kDBus = QStringLiteral("org.freedesktop.DBus");
// The bus itself answers at once; the bound is only for a bus in trouble.
constexpr int kBusTimeoutMs = 5000;

QDBusMessage askBus(const QString& method, const QVariantList& args) {
    QDBusMessage call = QDBusMessage::createMethodCall(kDBus, QStringLiteral("/org/freedesktop/DBus"), kDBus, method);
    call.setArguments(args);
    return call;
}
}  // namespace

void callAsync(const QDBusConnection& bus, const QDBusMessage& call, int timeoutMs, QObject* context,
               std::function<void(const QDBusMessage&)> done) {
    auto* w = new QDBusPendingCallWatcher(bus.asyncCall(call, timeoutMs), context);
    QObject::connect(w, &QDBusPendingCallWatcher::finished, context, [w, done = std::move(done)] {
        w->deleteLater();
        done(w->reply());
    });
}

QString firstPath(const QDBusMessage& reply) {
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return {};
    const QVariant v = reply.arguments().first();
    if (v.userType() != qMetaTypeId<QDBusObjectPath>()) return {};
    return v.value<QDBusObjectPath>().path();
}

std::optional<bool> firstBool(const QDBusMessage& reply) {
    const auto args = reply.arguments();
    if (args.isEmpty() || args.first().typeId() != QMetaType::Bool) return std::nullopt;
    return args.first().toBool();
}

DBusName::DBusName(QDBusConnection bus, QString name, std::function<void(bool)> changed, bool activatable)
    : bus_(std::move(bus)), name_(std::move(name)), changed_(std::move(changed)) {
    watcher_ = std::make_unique<QDBusServiceWatcher>(name_, bus_, QDBusServiceWatcher::WatchForOwnerChange);
    QObject::connect(watcher_.get(), &QDBusServiceWatcher::serviceOwnerChanged, &anchor_,
                     [this](const QString&, const QString& before, const QString& owner) {
                         if (!before.isEmpty() && !owner.isEmpty()) set(false);
                         set(!owner.isEmpty());
                     });
    if (!bus_.isConnected()) {
        owned_ = false;
        return;
    }
    callAsync(bus_, askBus(QStringLiteral("NameHasOwner"), {name_}), kBusTimeoutMs, &anchor_,
              [this, activatable](const QDBusMessage& reply) {
                  if (owned_) return;  // the watcher told first
                  const bool owned = firstBool(reply).value_or(false);
                  if (owned || !activatable) return set(owned);
                  callAsync(bus_, askBus(QStringLiteral("ListActivatableNames"), {}), kBusTimeoutMs, &anchor_,
                            [this](const QDBusMessage& names) {
                                if (owned_) return;
                                set(!names.arguments().isEmpty() &&
                                    names.arguments().first().toStringList().contains(name_));
                            });
              });
}

DBusName::~DBusName() = default;

void DBusName::set(bool owned) {
    if (owned_ == false && !owned) return;
    owned_ = owned;
    changed_(owned);
}

}  // namespace halvyn
