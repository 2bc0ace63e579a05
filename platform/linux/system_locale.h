#pragma once
// The user's locale and local time zone from the C library: the region and measurement system of
// the measurement locale, and the time zone's offset at any instant (daylight saving included).

#include "platform/locale.h"

namespace halvyn {

class SystemLocale final : public Locale {
public:
    std::optional<std::string> region() const override;
    MeasurementSystem measurementSystem() const override;
    int utcOffsetSeconds(WallTime t) const override;
};

}  // namespace halvyn
