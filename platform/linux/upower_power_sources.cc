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
    Signal<> changes, connected;
    Signal<std::optional<bool>> lowPower;
    std::optional<bool> lastLowPower;
    std::string lastReading;
    bool saidUPower = false, saidProfiles = false, hadUPower = false, hadProfiles = false;

    bool batteryPresent() const {
        return display->present() && display->get("IsPresent").toBool() &&
               unsignedOf(display->get("Type")) == kTypeBattery;
    }
};

namespace {
// Says once that a service is missing, in the words for a service that never came (the machine
// has none: news, not a fault) or one that went (an error); forgets it when the service is back.
void sayPresence(const Logger& logger, bool present, bool& said, bool& had, const char* never, const char* gone) {
    if (present) {
        said = false;
        had = true;
    } else if (!said) {
        if (had)
            logger.error(gone);
        else
            logger.info(never);
        said = true;
    }
}
}  // namespace

UPowerPowerSources::UPowerPowerSources(QDBusConnection bus, Logger logger)
    : logger_(std::move(logger)), state_(std::make_unique<State>()) {
    // Both services are read in the background; until they answer there is no battery.
    state_->daemon = std::make_unique<DBusObject>(bus, kUPower, QStringLiteral("/org/freedesktop/UPower"), kUPower,
                                                  [this] { changed(); });
    state_->display = std::make_unique<DBusObject>(bus, kUPower,
                                                   QStringLiteral("/org/freedesktop/UPower/devices/DisplayDevice"),
                                                   kUPower + QStringLiteral(".Device"), [this] { changed(); });
    state_->profiles = std::make_unique<DBusObject>(bus, kProfiles, QStringLiteral("/net/hadess/PowerProfiles"),
                                                    kProfiles, [this] { profileChanged(); });
    state_->lastReading = reading();
}

UPowerPowerSources::~UPowerPowerSources() = default;

void UPowerPowerSources::changed() {
    State& s = *state_;
    // The daemon and its display device are read one after the other: nothing is told until both
    // are in, so that a half-read service never looks like a change.
    if (s.daemon->reading() || s.display->reading()) return;
    const bool fresh = s.display->takeFresh() | s.daemon->takeFresh();
    sayPresence(logger_, s.display->present(), s.saidUPower, s.hadUPower, "No UPower service; battery absent until it starts",
                "UPower went away; battery readings absent until it comes back");
    std::string now = reading();
    const bool same = now == s.lastReading;
    s.lastReading = std::move(now);
    // A service that went away leaves the last readings standing where they are shown.
    if (!s.display->present()) return;
    if (fresh) return s.connected.emit();
    // UPower announces every new energy reading; only a change in what the port reports is told.
    if (!same) s.changes.emit();
}

void UPowerPowerSources::profileChanged() {
    State& s = *state_;
    if (s.profiles->reading()) return;
    const bool fresh = s.profiles->takeFresh();
    sayPresence(logger_, s.profiles->present(), s.saidProfiles, s.hadProfiles,
                "No power-profiles-daemon service; low-power mode not followed until it starts",
                "power-profiles-daemon went away; low-power mode unknown until it comes back");
    if (!s.profiles->present()) return;
    const QVariant profile = s.profiles->get("ActiveProfile");
    std::optional<bool> lowPower;
    if (profile.typeId() == QMetaType::QString) lowPower = profile.toString() == QLatin1String("power-saver");
    // Every property change of the daemon comes here; only the mode's changes are told. The
    // first reading from a (re)started daemon is where the mode stands, not a switch.
    if (lowPower == s.lastLowPower) return;
    s.lastLowPower = lowPower;
    if (!fresh) s.lowPower.emit(lowPower);
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

Subscription UPowerPowerSources::observeConnected(std::function<void()> cb) {
    return state_->connected.connect(std::move(cb));
}

Subscription UPowerPowerSources::observeLowPowerMode(std::function<void(std::optional<bool>)> cb) {
    return state_->lowPower.connect(std::move(cb));
}

}  // namespace halvyn
