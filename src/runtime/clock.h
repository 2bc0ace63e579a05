#pragma once

#include "runtime/time.h"

namespace halvyn {

class Clock {
public:
    virtual ~Clock() = default;
    // Wall time: calendars, dates, time stamps.
    virtual WallTime now() const = 0;
    // Monotonic time: every timer and debounce.
    virtual Uptime uptime() const = 0;
};

}  // namespace halvyn
