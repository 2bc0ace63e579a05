#pragma once
// Bluetooth accessories from BlueZ on the system bus: each paired or connected device with its
// address (written "aa-bb-cc-dd-ee-ff", as the audio devices' identifiers carry it) and the level
// of org.bluez.Battery1. Access is "allowedAlways" while an adapter can be read, "denied" when the
// bus refuses, "notDetermined" while BlueZ is not running. BlueZ is followed by name and read in
// the background on every change it announces; the devices are served from the last reading, so
// asking never waits for BlueZ.

#include <QDBusConnection>
#include <QObject>

#include <memory>
#include <mutex>

#include "platform/bluetooth.h"
#include "runtime/logger.h"
#include "runtime/published.h"

class QDBusMessage;
class QDBusServiceWatcher;

namespace halvyn {

class DBusRelay;

class BluezBluetooth final : public Bluetooth {
public:
    BluezBluetooth(QDBusConnection bus, Logger logger);
    ~BluezBluetooth() override;

    // From the last reading; safe on any thread. Nothing while BlueZ has not answered.
    std::optional<std::vector<PairedDevice>> pairedDevices() override;
    BluetoothAuthorization authorization() const override { return authorization_; }
    Subscription observeAuthorization(std::function<void()> cb) override;

private:
    void update();
    void answered(const QDBusMessage& reply);

    QDBusConnection bus_;
    Logger logger_;
    BluetoothAuthorization authorization_ = BluetoothAuthorization::notDetermined;
    Signal<> authorizationChanged_;
    QObject context_;  // owns the pending question and the retry; their answers die with it
    std::unique_ptr<QDBusServiceWatcher> watcher_;
    std::unique_ptr<DBusRelay> relay_;
    bool saidAbsent_ = false;
    bool asking_ = false, again_ = false;
    int retryMs_ = 0;
    mutable std::mutex mutex_;
    std::optional<std::vector<PairedDevice>> paired_;
};

}  // namespace halvyn
