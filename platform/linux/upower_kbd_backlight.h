#pragma once
// The keyboard's backlight as UPower reports it (its KbdBacklight object): the level is the
// brightness over the maximum, read when UPower appears, and changes come as its signals, with
// the source that made them ("external": the hardware; "internal": a program through UPower).
// Without UPower, or without the object (no lit keyboard), there is no level and no change.

#include <QDBusConnection>
#include <QObject>

#include <memory>
#include <optional>

#include "platform/keyboard_backlight.h"
#include "platform/linux/dbus_object.h"
#include "runtime/logger.h"

namespace halvyn {

class DBusName;

class UPowerKbdBacklight final : public KeyboardBacklight {
public:
    UPowerKbdBacklight(QDBusConnection bus, Logger logger);
    ~UPowerKbdBacklight() override;

    std::optional<float> level() const override;
    Subscription observeChanges(Callback cb) override;

private:
    void serviceChanged(bool owned);
    void read();
    void changed(const QDBusMessage& message, bool withSource);

    QDBusConnection bus_;
    Logger logger_;
    std::optional<int> max_, raw_;
    bool reading_ = false, saidAbsent_ = false;
    int generation_ = 0;  // an answer from a past generation is stale
    Signal<float, bool> changes_;
    DBusRelay plain_, withSource_;
    std::unique_ptr<DBusName> name_;
    // Goes first: answers still on their way die with it.
    QObject anchor_;
};

}  // namespace halvyn
