#include "platform/linux/upower_kbd_backlight.h"

#include <algorithm>

#include "platform/linux/dbus_name.h"

namespace halvyn {

namespace {
const QString kUPower = QStringLiteral("org.freedesktop.UPower");
const QString kPath = QStringLiteral("/org/freedesktop/UPower/KbdBacklight");
const QString kInterface = QStringLiteral("org.freedesktop.UPower.KbdBacklight");

// The reply's or signal's first argument as a 32-bit integer, as the interface declares it.
std::optional<int> firstInt(const QDBusMessage& m) {
    const auto args = m.arguments();
    if (args.isEmpty() || args.first().typeId() != QMetaType::Int) return std::nullopt;
    return args.first().toInt();
}
}  // namespace

UPowerKbdBacklight::UPowerKbdBacklight(QDBusConnection bus, Logger logger)
    : bus_(std::move(bus)),
      logger_(std::move(logger)),
      plain_([this](const QDBusMessage& m) { changed(m, false); }),
      withSource_([this](const QDBusMessage& m) { changed(m, true); }) {
    plain_.listen(bus_, kUPower, kPath, kInterface, QStringLiteral("BrightnessChanged"));
    withSource_.listen(bus_, kUPower, kPath, kInterface, QStringLiteral("BrightnessChangedWithSource"));
    name_ = std::make_unique<DBusName>(bus_, kUPower, [this](bool owned) { serviceChanged(owned); });
}

UPowerKbdBacklight::~UPowerKbdBacklight() = default;

std::optional<float> UPowerKbdBacklight::level() const {
    if (!max_ || !raw_) return std::nullopt;
    return static_cast<float>(std::clamp(*raw_, 0, *max_)) / static_cast<float>(*max_);
}

Subscription UPowerKbdBacklight::observeChanges(Callback cb) { return changes_.connect(std::move(cb)); }

void UPowerKbdBacklight::serviceChanged(bool owned) {
    ++generation_;
    reading_ = false;
    max_.reset();
    raw_.reset();
    if (owned) read();
}

// The maximum, then the level: what the object holds when UPower appears is where the level
// stands, not a change.
void UPowerKbdBacklight::read() {
    reading_ = true;
    const int generation = ++generation_;
    auto ask = [this](const char* method) { return QDBusMessage::createMethodCall(kUPower, kPath, kInterface, method); };
    callAsync(bus_, ask("GetMaxBrightness"), DBusObject::kCallTimeoutMs, &anchor_,
              [this, generation, ask](const QDBusMessage& reply) {
                  if (generation != generation_) return;
                  const auto max = firstInt(reply);
                  if (!max || *max <= 0) {
                      reading_ = false;
                      if (!saidAbsent_)
                          logger_.info("No keyboard backlight on UPower; the keyboard display stays away");
                      saidAbsent_ = true;
                      return;
                  }
                  callAsync(bus_, ask("GetBrightness"), DBusObject::kCallTimeoutMs, &anchor_,
                            [this, generation, max](const QDBusMessage& reply) {
                                if (generation != generation_) return;
                                reading_ = false;
                                saidAbsent_ = false;
                                max_ = max;
                                raw_ = firstInt(reply).value_or(0);
                            });
              });
}

void UPowerKbdBacklight::changed(const QDBusMessage& message, bool withSource) {
    const auto raw = firstInt(message);
    if (!raw) return;
    if (!max_) {
        // A keyboard light that came after UPower: its maximum first.
        if (!reading_) read();
        return;
    }
    bool external = false;
    if (withSource) {
        const auto args = message.arguments();
        external = args.size() > 1 && args[1].typeId() == QMetaType::QString &&
                   args[1].toString() == QLatin1String("external");
    }
    raw_ = raw;
    changes_.emit(*level(), external);
}

}  // namespace halvyn
