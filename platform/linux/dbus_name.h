#pragma once
// Asking services on D-Bus without waiting, and following who owns a name. Everything runs on
// the thread of the toolkit's event loop; nothing here blocks it.

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

class QDBusServiceWatcher;

namespace halvyn {

// Sends `call` without waiting; `done` gets the reply or the error (a time-out after `timeoutMs`)
// on the event loop's thread, unless `context` is destroyed first.
void callAsync(const QDBusConnection& bus, const QDBusMessage& call, int timeoutMs, QObject* context,
               std::function<void(const QDBusMessage&)> done);
// The reply's first argument as an object path or a boolean; empty or nothing when it is not one.
QString firstPath(const QDBusMessage& reply);
std::optional<bool> firstBool(const QDBusMessage& reply);

// A name on the bus, followed: `changed(true)` when it gets an owner, `changed(false)` when it
// loses it; a new owner taking over directly is a leaving and a coming. The first answer, asked
// without waiting at construction, counts as a change. `activatable`: a name that the bus starts
// on demand counts as owned.
class DBusName {
public:
    DBusName(QDBusConnection bus, QString name, std::function<void(bool owned)> changed, bool activatable = false);
    ~DBusName();
    DBusName(const DBusName&) = delete;
    DBusName& operator=(const DBusName&) = delete;

    // Nothing while the bus has not answered yet.
    std::optional<bool> owned() const { return owned_; }

private:
    void set(bool owned);

    QDBusConnection bus_;
    QString name_;
    std::function<void(bool)> changed_;
    std::optional<bool> owned_;
    std::unique_ptr<QDBusServiceWatcher> watcher_;
    // Goes first: answers still on their way die with it.
    QObject anchor_;
};

}  // namespace halvyn
