#pragma once
// Reads the internal battery: its hardware registry entry, one key at a time, and the platform's
// power-source list. A missing key, or a value of the wrong kind, reads as unknown.

#include <cstdint>
#include <optional>

#include "platform/power_sources.h"
#include "runtime/value.h"

namespace halvyn {

enum class PowerSource { unknown, powerAdapter, battery };

// "unknown", "powerAdapter", "battery".
const char* rawValue(PowerSource p);
Value toValue(PowerSource p);

class BatteryHelper {
public:
    // The battery's registry entry, or nothing on a machine without one.
    static std::optional<BatteryHelper> find(PowerSources& sources);

    BatteryHelper(PowerSources& sources, PowerSources::Service service) : service(service), sources_(&sources) {}

    // The battery's registry entry.
    PowerSources::Service service;

    // From "ExternalConnected": the adapter when true, the battery when false, else unknown.
    PowerSource powerSource() const;
    // "IsCharging" alone, or, when "CurrentCapacity" and "MaxCapacity" are known too, also
    // requiring the capacity to be below the maximum. Unknown counts as not charging.
    bool isCharging() const;
    // Time to full charge in minutes while on the adapter and charging, when "AvgTimeToFull"
    // holds a plausible value (0 to 20159); else nothing.
    std::optional<int> timeToFull() const;
    // "Current Capacity" of the first internal battery in the power-source list, when it is a
    // whole number from 0 to 100.
    std::optional<int> batteryPercent() const;

    std::optional<bool> boolProperty(const char* key) const;
    std::optional<std::int64_t> intProperty(const char* key) const;

private:
    PowerSources* sources_;
};

// A whole number, when the value is a number without a fraction within 64 bits.
std::optional<std::int64_t> wholeNumber(const Value& v);

}  // namespace halvyn
