#pragma once
// Bluetooth accessories from BlueZ on the system bus: each paired or connected device with its
// address (written "aa-bb-cc-dd-ee-ff", as the audio devices' identifiers carry it) and the level
// of org.bluez.Battery1. Access is "allowedAlways" while an adapter can be read, "denied" when the
// bus refuses, "notDetermined" while BlueZ is not running.

#include <QDBusConnection>

#include <memory>

#include "platform/bluetooth.h"
#include "runtime/logger.h"
#include "runtime/published.h"

class QDBusServiceWatcher;

namespace halvyn {

class DBusRelay;

class BluezBluetooth final : public Bluetooth {
public:
    BluezBluetooth(QDBusConnection bus, Logger logger);
    ~BluezBluetooth() override;

    // Safe off the main queue: one blocking call to BlueZ, bounded by a time-out.
    std::optional<std::vector<PairedDevice>> pairedDevices() override;
    BluetoothAuthorization authorization() const override { return authorization_; }
    Subscription observeAuthorization(std::function<void()> cb) override;

private:
    void update();

    QDBusConnection bus_;
    Logger logger_;
    BluetoothAuthorization authorization_ = BluetoothAuthorization::notDetermined;
    Signal<> authorizationChanged_;
    std::unique_ptr<QDBusServiceWatcher> watcher_;
    std::unique_ptr<DBusRelay> added_, removed_;
    bool saidAbsent_ = false;
};

}  // namespace halvyn
