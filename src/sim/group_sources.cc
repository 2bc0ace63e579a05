// The battery, accessory and lock sources in halvyn-sim: the `battery`, `lowPowerMode` and
// `bluetooth` platform state, the battery and bluetooth actions, and the BatteryManager,
// ConnectivityManager and LockManager objects. The lock actions themselves post the distributed
// notifications (the notch group's); the LockManager listens to them.
//
// Battery registry values are kept as the scenario gives them, of whatever kind, so that a
// scenario can simulate a registry that reports a value of the wrong kind; null is unknown.

#include <cmath>
#include <set>

#include <nlohmann/json.hpp>

#include "app/context.h"
#include "lockscreen/lock_manager.h"
#include "platform/sim/sim_platform.h"
#include "sim/registry.h"
#include "sources/battery_manager.h"
#include "sources/connectivity_manager.h"

namespace halvyn {

namespace {

using json = nlohmann::json;
using Problem = std::optional<std::string>;

// Scenario field → registry key of the battery entry ("percent" is the power-source list's).
const std::pair<const char*, const char*> kBatteryFields[] = {
    {"externalConnected", "ExternalConnected"}, {"isCharging", "IsCharging"},
    {"currentCapacity", "CurrentCapacity"},     {"maxCapacity", "MaxCapacity"},
    {"avgTimeToFull", "AvgTimeToFull"},
};

Value scalar(const json& j) {
    if (j.is_boolean()) return Value(j.get<bool>());
    if (j.is_number()) return Value(j.get<double>());
    if (j.is_string()) return Value(j.get<std::string>());
    return Value();
}

bool isBatteryField(const std::string& name) {
    if (name == "present" || name == "percent") return true;
    for (auto& [field, key] : kBatteryFields)
        if (name == field) return true;
    return false;
}

// `skip` names the event's own keys ("at", "do") when checking an action.
Problem checkBattery(const json& v, const std::set<std::string>& skip = {}) {
    if (!v.is_object()) return std::string("must be an object");
    for (auto& [k, val] : v.items()) {
        if (skip.count(k)) continue;
        if (!isBatteryField(k)) return "unknown battery field '" + k + "'";
        if (k == "present") {
            if (!val.is_boolean()) return std::string("'present' must be a Boolean");
        } else if (val.is_array() || val.is_object() || (val.is_number() && !std::isfinite(val.get<double>()))) {
            return "'" + k + "' must be a registry value (a Boolean, number, text or null)";
        }
    }
    return std::nullopt;
}

void applyBattery(SimPowerSources& power, const json& v) {
    if (auto it = v.find("present"); it != v.end()) power.present = it->get<bool>();
    if (auto it = v.find("percent"); it != v.end()) power.percent = scalar(*it);
    for (auto& [field, key] : kBatteryFields) {
        auto it = v.find(field);
        if (it == v.end()) continue;
        if (it->is_null())
            power.registry.erase(key);
        else
            power.registry[key] = scalar(*it);
    }
}

bool isPercent(const json& j) {
    if (!j.is_number()) return false;
    const double d = j.get<double>();
    return std::isfinite(d) && d >= 0 && d <= 255 && std::floor(d) == d;
}

bool isColorId(const json& j) {
    if (j.is_null()) return true;
    if (!j.is_number()) return false;
    const double d = j.get<double>();
    return std::isfinite(d) && std::fabs(d) <= 2147483647.0 && std::floor(d) == d;
}

Problem checkAccessory(const json& d, const std::set<std::string>& skip, const std::string& where) {
    if (!d.is_object()) return where + "must be an object";
    for (auto& [k, val] : d.items()) {
        if (skip.count(k)) continue;
        if (k == "address") {
            if (!val.is_string()) return where + "'address' must be a text";
        } else if (k == "connected") {
            if (!val.is_boolean()) return where + "'connected' must be a Boolean";
        } else if (k == "colorId") {
            if (!isColorId(val)) return where + "'colorId' must be a whole number or null";
        } else if (k == "left" || k == "right" || k == "single") {
            if (!isPercent(val)) return where + "'" + k + "' must be a whole number from 0 to 255";
        } else {
            return where + "unknown accessory field '" + k + "'";
        }
    }
    if (!d.contains("address")) return where + "missing 'address'";
    return std::nullopt;
}

void applyAccessory(PairedDevice& d, const json& v) {
    if (auto it = v.find("connected"); it != v.end()) d.isConnected = it->get<bool>();
    if (auto it = v.find("colorId"); it != v.end())
        d.colorID = it->is_null() ? std::nullopt : std::optional<int>(it->get<int>());
    if (auto it = v.find("left"); it != v.end()) d.batteryPercentLeft = it->get<std::uint8_t>();
    if (auto it = v.find("right"); it != v.end()) d.batteryPercentRight = it->get<std::uint8_t>();
    if (auto it = v.find("single"); it != v.end()) d.batteryPercentSingle = it->get<std::uint8_t>();
}

const std::vector<std::string> kAuthorizations{"allowedAlways", "denied", "restricted", "notDetermined"};

Problem checkBluetooth(const json& v) {
    if (!v.is_object()) return std::string("must be an object");
    for (auto& [k, val] : v.items()) {
        if (k == "authorization") {
            if (!val.is_string() || !fromRaw<BluetoothAuthorization>(val.get<std::string>()))
                return std::string("'authorization' must be one of 'allowedAlways', 'denied', 'restricted', 'notDetermined'");
        } else if (k == "paired") {
            if (!val.is_array()) return std::string("'paired' must be an array");
            for (std::size_t i = 0; i < val.size(); ++i)
                if (auto p = checkAccessory(val[i], {}, "paired " + std::to_string(i) + ": ")) return p;
        } else {
            return "unknown field '" + k + "'";
        }
    }
    return std::nullopt;
}

void applyBluetooth(SimBluetooth& bt, const json& v) {
    if (auto it = v.find("authorization"); it != v.end())
        bt.setAuthorization(*fromRaw<BluetoothAuthorization>(it->get<std::string>()));
    if (auto it = v.find("paired"); it != v.end()) {
        bt.paired.emplace();
        for (auto& d : *it) {
            PairedDevice device;
            device.addressString = d["address"].get<std::string>();
            applyAccessory(device, d);
            bt.paired->push_back(device);
        }
    }
}

}  // namespace

void registerSourcesGroup(SimRegistry& r) {
    // Platform state.
    r.addPlatformKey({"battery", [](const json& v) { return checkBattery(v); },
                      [](SimWorld& w, const json& v) {
                          // Given, the battery is what the scenario says: a key left out is unknown.
                          auto& power = w.platform.simPowerSources();
                          power.clear();
                          applyBattery(power, v);
                      }});
    r.addPlatformKey({"lowPowerMode",
                      [](const json& v) -> Problem {
                          if (!v.is_boolean()) return std::string("must be a Boolean");
                          return std::nullopt;
                      },
                      [](SimWorld& w, const json& v) { w.platform.simPowerSources().lowPowerMode = v.get<bool>(); }});
    r.addPlatformKey({"bluetooth", checkBluetooth,
                      [](SimWorld& w, const json& v) { applyBluetooth(w.platform.simBluetooth(), v); }});

    // Traced objects.
    r.addObject({"BatteryManager", [](SimWorld& w) -> const PropertySet& { return w.ctx.battery().properties(); }});
    r.addObject({"ConnectivityManager",
                 [](SimWorld& w) -> const PropertySet& { return w.ctx.connectivity().properties(); }});
    r.addObject({"LockManager", [](SimWorld& w) -> const PropertySet& { return w.ctx.lock().properties(); }});

    // battery
    r.addAction({"battery.change", {}, [](const json& ev) { return checkBattery(ev, {"at", "do"}); },
                 [](SimWorld& w, const json& ev) {
                     auto& power = w.platform.simPowerSources();
                     applyBattery(power, ev);
                     power.postChange();
                 }});
    r.addAction({"lowPowerMode.set", {{"enabled", ArgType::boolean}}, nullptr, [](SimWorld& w, const json& ev) {
                     w.platform.simPowerSources().setLowPowerMode(ev["enabled"].get<bool>());
                 }});

    // bluetooth
    r.addAction({"bluetooth.update", {{"address", ArgType::string}},
                 [](const json& ev) { return checkAccessory(ev, {"at", "do"}, ""); },
                 [](SimWorld& w, const json& ev) {
                     applyAccessory(w.platform.simBluetooth().device(ev["address"].get<std::string>()), ev);
                 }});
    r.addAction({"bluetooth.authorization", {{"value", ArgType::string, true, kAuthorizations}}, nullptr,
                 [](SimWorld& w, const json& ev) {
                     w.platform.simBluetooth().setAuthorization(
                         *fromRaw<BluetoothAuthorization>(ev["value"].get<std::string>()));
                 }});
}

}  // namespace halvyn
