#pragma once
// Following services on D-Bus: a relay that hands a bus signal to a function, and one object's
// properties of one interface, read in full when its service appears, merged on every change and
// forgotten when the service goes. Reads never wait: they are answered on the toolkit's event
// loop, where everything here runs, so a service that stalls never holds up the program.

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QVariantMap>

class QDBusPendingCallWatcher;

#include <functional>
#include <memory>
#include <utility>

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

// Whether a failed call means the service is there but did not answer in time (stalled or busy),
// rather than absent or refusing.
bool noAnswer(const QDBusMessage& reply);

class DBusObject {
public:
    // A local service answers in milliseconds; the limit only bounds a stalled one.
    static constexpr int kCallTimeoutMs = 5000;

    // Starts the first full read and returns at once. `changed` is called after every full read
    // that ends (answered or not), every change of the properties and the service's going; never
    // from within the constructor.
    DBusObject(QDBusConnection bus, QString service, QString path, QString interface, std::function<void()> changed);
    ~DBusObject();
    DBusObject(const DBusObject&) = delete;
    DBusObject& operator=(const DBusObject&) = delete;

    // The service answered the last full read.
    bool present() const { return present_; }
    // A full read is on its way; what `get` gives is about to be replaced.
    bool reading() const { return reading_; }
    // Whether the properties come from the first full read since the service (re)appeared, and
    // nothing has been reported of them since: a starting point rather than a change. Asking
    // clears it.
    bool takeFresh() { return std::exchange(fresh_, false); }
    // A property; invalid when it or the service is missing.
    QVariant get(const QString& name) const { return properties_.value(name); }
    const QString& path() const { return path_; }
    // Reads every property again, in the background. A service that has its name but does not
    // answer is asked again, less and less often.
    void reload();

private:
    void propertiesChanged(const QDBusMessage& message);
    void answered(QDBusPendingCallWatcher* call, int generation);

    QDBusConnection bus_;
    QString service_, path_, interface_;
    std::function<void()> changed_;
    QVariantMap properties_;
    bool present_ = false;
    bool reading_ = false;
    bool newOwner_ = true;  // the next answered read is the first from this owner
    bool fresh_ = false;
    int generation_ = 0;    // a read whose generation is past is stale
    int retryMs_ = 0;
    std::unique_ptr<QDBusServiceWatcher> watcher_;
    DBusRelay relay_;
};

// A plain value from a bus value: booleans, numbers and strings as themselves, anything else null.
class Value;
Value valueFromVariant(const QVariant& v);

}  // namespace halvyn
