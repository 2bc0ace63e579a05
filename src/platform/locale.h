#pragma once
// The user's region, measurement system and local time zone.

#include <optional>
#include <string>

#include "runtime/time.h"

namespace halvyn {

enum class MeasurementSystem { us, metric };

class Locale {
public:
    virtual ~Locale() = default;
    virtual std::optional<std::string> region() const = 0;
    virtual MeasurementSystem measurementSystem() const = 0;
    // Seconds east of UTC of local time at `t` (daylight saving included).
    virtual int utcOffsetSeconds(WallTime t) const = 0;
};

}  // namespace halvyn
