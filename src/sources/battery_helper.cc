#include "sources/battery_helper.h"

#include <cmath>

namespace halvyn {

const char* rawValue(PowerSource p) {
    switch (p) {
        case PowerSource::unknown: return "unknown";
        case PowerSource::powerAdapter: return "powerAdapter";
        case PowerSource::battery: return "battery";
    }
    return "unknown";
}

Value toValue(PowerSource p) { return Value(rawValue(p)); }

std::optional<std::int64_t> wholeNumber(const Value& v) {
    if (!v.isNumber()) return std::nullopt;
    const double d = v.asNumber();
    // Beyond ±2^53 doubles are no longer exact; nothing the registry reports gets there.
    if (!std::isfinite(d) || std::trunc(d) != d || std::fabs(d) > 9007199254740992.0) return std::nullopt;
    return static_cast<std::int64_t>(d);
}

std::optional<BatteryHelper> BatteryHelper::find(PowerSources& sources) {
    const auto service = sources.matchingService("AppleSmartBattery");
    if (service == 0) return std::nullopt;
    return BatteryHelper(sources, service);
}

std::optional<bool> BatteryHelper::boolProperty(const char* key) const {
    const Value v = sources_->registryProperty(service, key);
    if (!v.isBool()) return std::nullopt;
    return v.asBool();
}

std::optional<std::int64_t> BatteryHelper::intProperty(const char* key) const {
    return wholeNumber(sources_->registryProperty(service, key));
}

PowerSource BatteryHelper::powerSource() const {
    const auto external = boolProperty("ExternalConnected");
    if (!external) return PowerSource::unknown;
    return *external ? PowerSource::powerAdapter : PowerSource::battery;
}

bool BatteryHelper::isCharging() const {
    const auto charging = boolProperty("IsCharging");
    const auto current = intProperty("CurrentCapacity");
    const auto max = intProperty("MaxCapacity");
    if (charging && current && max) return *charging && *current < *max;
    return charging.value_or(false);
}

std::optional<int> BatteryHelper::timeToFull() const {
    if (boolProperty("ExternalConnected") != true || !isCharging()) return std::nullopt;
    const auto minutes = intProperty("AvgTimeToFull");
    if (!minutes || *minutes < 0 || *minutes > 20159) return std::nullopt;
    return static_cast<int>(*minutes);
}

std::optional<int> BatteryHelper::batteryPercent() const {
    for (const Value& d : sources_->powerSourceDescriptions()) {
        const Value* type = d.find("Type");
        if (!type || !type->isString() || type->asString() != "InternalBattery") continue;
        const Value* capacity = d.find("Current Capacity");
        const auto percent = capacity ? wholeNumber(*capacity) : std::nullopt;
        if (!percent || *percent < 0 || *percent > 100) return std::nullopt;
        return static_cast<int>(*percent);
    }
    return std::nullopt;
}

}  // namespace halvyn
