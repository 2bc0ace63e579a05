#pragma once
// Following services on D-Bus: a relay that hands a bus signal to a function, and one object's
// properties of one interface, read in full when its service appears, merged on every change and
// forgotten when the service goes. Everything runs on the thread of the toolkit's event loop.

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QVariantMap>

#include <functional>
#include <memory>

class QDBusServiceWatcher;

namespace halvyn {

// The bus delivers signals to slots only; this one slot calls a function.
class DBusRelay final : public QObject {
    Q_OBJECT
public:
    explicit DBusRelay(std::function<void(const QDBusMessage&)> fn) : fn_(std::move(fn)) {}
    // Connects a signal of `service` (any object when `path` is empty) to the relay.
    bool listen(QDBusConnection& bus, const QString& service, const QString& path, const QString& interface,
                const QString& name);

public Q_SLOTS:
    void deliver(const QDBusMessage& message) { fn_(message); }

private:
    std::function<void(const QDBusMessage&)> fn_;
};

class DBusObject {
public:
    // `changed` is called after every change of the properties, the service's coming and going
    // included; never from within the constructor.
    DBusObject(QDBusConnection bus, QString service, QString path, QString interface, std::function<void()> changed);
    ~DBusObject();
    DBusObject(const DBusObject&) = delete;
    DBusObject& operator=(const DBusObject&) = delete;

    // The service answered the last full read.
    bool present() const { return present_; }
    // A property; invalid when it or the service is missing.
    QVariant get(const QString& name) const { return properties_.value(name); }
    const QString& path() const { return path_; }
    // Reads every property again; false when the service does not answer.
    bool reload();

private:
    void propertiesChanged(const QDBusMessage& message);

    QDBusConnection bus_;
    QString service_, path_, interface_;
    std::function<void()> changed_;
    QVariantMap properties_;
    bool present_ = false;
    std::unique_ptr<QDBusServiceWatcher> watcher_;
    DBusRelay relay_;
};

// A plain value from a bus value: booleans, numbers and strings as themselves, anything else null.
class Value;
Value valueFromVariant(const QVariant& v);

}  // namespace halvyn
