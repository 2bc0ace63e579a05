#include "platform/linux/upower_power_sources.h"

#include <cmath>

#include "platform/linux/dbus_object.h"
#include "runtime/published.h"

namespace halvyn {

namespace {
const QString kUPower = QStringLiteral("org.freedesktop.UPower");
const QString kProfiles = QStringLiteral("net.hadess.PowerProfiles");
constexpr PowerSources::Service kBattery = 1;

// UPower's device types and states.
constexpr unsigned kTypeBattery = 2;
enum : unsigned { kCharging = 1, kDischarging = 2, kEmpty = 3, kFullyCharged = 4, kPendingCharge = 5 };

std::optional<unsigned> unsignedOf(const QVariant& v) {
    bool ok = false;
    const unsigned n = v.toUInt(&ok);
    if (!ok || (v.typeId() != QMetaType::UInt && v.typeId() != QMetaType::Int)) return std::nullopt;
    return n;
}
}  // namespace

struct UPowerPowerSources::State {
    std::unique_ptr<DBusObject> daemon, display, profiles;
    Signal<> changes;
    Signal<std::optional<bool>> lowPower;
    std::optional<bool> lastLowPower;
    std::string lastReading;
    bool saidUPower = false, saidProfiles = false;

    bool batteryPresent() const {
        return display->present() && display->get("IsPresent").toBool() &&
               unsignedOf(display->get("Type")) == kTypeBattery;
    }
};

UPowerPowerSources::UPowerPowerSources(QDBusConnection bus, Logger logger)
    : logger_(std::move(logger)), state_(std::make_unique<State>()) {
    state_->daemon = std::make_unique<DBusObject>(bus, kUPower, QStringLiteral("/org/freedesktop/UPower"), kUPower,
                                                  [this] { changed(); });
    state_->display = std::make_unique<DBusObject>(bus, kUPower,
                                                   QStringLiteral("/org/freedesktop/UPower/devices/DisplayDevice"),
                                                   kUPower + QStringLiteral(".Device"), [this] { changed(); });
    state_->profiles = std::make_unique<DBusObject>(bus, kProfiles, QStringLiteral("/net/hadess/PowerProfiles"),
                                                    kProfiles, [this] { profileChanged(); });
    state_->lastReading = reading();
    if (const QVariant profile = state_->profiles->get("ActiveProfile"); profile.typeId() == QMetaType::QString)
        state_->lastLowPower = profile.toString() == QLatin1String("power-saver");
    if (!state_->display->present()) {
        logger_.error("No UPower service; battery absent");
        state_->saidUPower = true;
    }
    if (!state_->profiles->present()) {
        logger_.error("No power-profiles-daemon service; low-power mode not followed until it starts");
        state_->saidProfiles = true;
    }
}

UPowerPowerSources::~UPowerPowerSources() = default;

bool UPowerPowerSources::available() const { return state_->display->present(); }

void UPowerPowerSources::changed() {
    if (!state_->display->present() && !state_->saidUPower) {
        logger_.error("UPower went away; battery readings absent until it comes back");
        state_->saidUPower = true;
    } else if (state_->display->present()) {
        state_->saidUPower = false;
    }
    // UPower announces every new energy reading; only a change in what the port reports is told.
    std::string now = reading();
    if (now == state_->lastReading) return;
    state_->lastReading = std::move(now);
    state_->changes.emit();
}

void UPowerPowerSources::profileChanged() {
    const QVariant profile = state_->profiles->get("ActiveProfile");
    std::optional<bool> lowPower;
    if (profile.typeId() == QMetaType::QString) lowPower = profile.toString() == QLatin1String("power-saver");
    if (!state_->profiles->present() && !state_->saidProfiles) {
        logger_.error("power-profiles-daemon went away; low-power mode unknown until it comes back");
        state_->saidProfiles = true;
    } else if (state_->profiles->present()) {
        state_->saidProfiles = false;
    }
    // Every property change of the daemon comes here; only the mode's changes are told.
    if (lowPower == state_->lastLowPower) return;
    state_->lastLowPower = lowPower;
    state_->lowPower.emit(lowPower);
}

std::string UPowerPowerSources::reading() {
    Value::Array all;
    for (const char* key : {"ExternalConnected", "IsCharging", "CurrentCapacity", "AvgTimeToFull"})
        all.push_back(registryProperty(kBattery, key));
    return Value(std::move(all)).toJson();
}

PowerSources::Service UPowerPowerSources::matchingService(std::string_view name) {
    return name == "AppleSmartBattery" && state_->batteryPresent() ? kBattery : 0;
}

Value UPowerPowerSources::registryProperty(Service service, std::string_view key) {
    if (service != kBattery || !state_->batteryPresent()) return Value();
    const DBusObject& display = *state_->display;
    const auto deviceState = unsignedOf(display.get("State"));
    if (key == "ExternalConnected") {
        const QVariant onBattery = state_->daemon->get("OnBattery");
        if (onBattery.typeId() == QMetaType::Bool) return Value(!onBattery.toBool());
        // Without the daemon's word, the battery's own state tells.
        if (!deviceState) return Value();
        return Value(*deviceState != kDischarging && *deviceState != kEmpty);
    }
    if (key == "IsCharging") {
        if (!deviceState) return Value();
        return Value(*deviceState == kCharging);
    }
    if (key == "CurrentCapacity") {
        const Value percent = valueFromVariant(display.get("Percentage"));
        return percent.isNumber() ? Value(std::round(percent.asNumber())) : percent;
    }
    if (key == "MaxCapacity") return Value(100);
    if (key == "AvgTimeToFull") {
        const Value seconds = valueFromVariant(display.get("TimeToFull"));
        // UPower says 0 when it does not know.
        if (!seconds.isNumber() || seconds.asNumber() <= 0) return Value();
        return Value(std::round(seconds.asNumber() / 60));
    }
    return Value();
}

std::vector<Value> UPowerPowerSources::powerSourceDescriptions() {
    if (!state_->batteryPresent()) return {};
    Value capacity = valueFromVariant(state_->display->get("Percentage"));
    if (capacity.isNumber()) capacity = Value(std::round(capacity.asNumber()));
    return {Value(Value::Object{{"Type", Value("InternalBattery")}, {"Current Capacity", capacity}})};
}

Subscription UPowerPowerSources::observeChanges(std::function<void()> cb) { return state_->changes.connect(std::move(cb)); }

Subscription UPowerPowerSources::observeLowPowerMode(std::function<void(std::optional<bool>)> cb) {
    return state_->lowPower.connect(std::move(cb));
}

}  // namespace halvyn
