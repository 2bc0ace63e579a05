#include "platform/sim/sim_power_sources.h"

namespace halvyn {

SimPowerSources::SimPowerSources() {
    registry["ExternalConnected"] = Value(false);
    registry["IsCharging"] = Value(false);
    registry["CurrentCapacity"] = Value(80);
    registry["MaxCapacity"] = Value(100);
    registry["AvgTimeToFull"] = Value(65535);
    percent = Value(80);
}

PowerSources::Service SimPowerSources::matchingService(std::string_view name) {
    return present && name == "AppleSmartBattery" ? kBatteryService : 0;
}

Value SimPowerSources::registryProperty(Service service, std::string_view key) {
    if (!present || service != kBatteryService) return Value();
    auto it = registry.find(key);
    return it == registry.end() ? Value() : it->second;
}

std::vector<Value> SimPowerSources::powerSourceDescriptions() {
    if (!present) return {};
    Value d = Value::object();
    d.set("Type", "InternalBattery");
    if (!percent.isNull()) d.set("Current Capacity", percent);
    return {d};
}

Subscription SimPowerSources::observeChanges(std::function<void()> cb) {
    return changes_.connect(std::move(cb));
}

Subscription SimPowerSources::observeConnected(std::function<void()> cb) { return connected_.connect(std::move(cb)); }

Subscription SimPowerSources::observeLowPowerMode(std::function<void(std::optional<bool>)> cb) {
    return lowPower_.connect(std::move(cb));
}

void SimPowerSources::clear() {
    registry.clear();
    percent = Value();
}

void SimPowerSources::postChange() { changes_.emit(); }

void SimPowerSources::postConnected() { connected_.emit(); }

void SimPowerSources::setLowPowerMode(bool enabled) {
    lowPowerMode = enabled;
    lowPower_.emit(enabled);
}

void SimPowerSources::postLowPowerMode(std::optional<bool> carried) { lowPower_.emit(carried); }

}  // namespace halvyn
