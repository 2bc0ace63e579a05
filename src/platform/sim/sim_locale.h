#pragma once
// The simulated locale: region, measurement system and UTC offset a scenario or a test sets.

#include <optional>
#include <string>

#include "platform/locale.h"

namespace halvyn {

class SimLocale final : public Locale {
public:
    std::optional<std::string> region() const override { return regionCode; }
    MeasurementSystem measurementSystem() const override { return measurement; }
    int utcOffsetSeconds(WallTime) const override { return offsetMinutes * 60; }

    std::optional<std::string> regionCode = "US";
    MeasurementSystem measurement = MeasurementSystem::us;
    int offsetMinutes = 0;
};

}  // namespace halvyn
