#pragma once
// Durations and instants of the system. Seconds given as numbers are converted once, here,
// rounded to the nearest microsecond.

#include <chrono>
#include <cmath>
#include <cstdint>
#include <limits>

namespace halvyn {

using Duration = std::chrono::microseconds;
// Monotonic time since the runtime started; what timers are measured against.
using Uptime = std::chrono::microseconds;
// Wall-clock time (UTC), for calendars, dates and time stamps.
using WallTime = std::chrono::sys_time<std::chrono::microseconds>;

// Seconds to a duration. NaN becomes zero; values beyond about 290,000 years saturate.
inline Duration seconds(double s) {
    if (std::isnan(s)) return Duration::zero();
    const double us = std::round(s * 1e6);
    constexpr double maxUs = static_cast<double>(std::numeric_limits<std::int64_t>::max() / 2);
    if (us >= maxUs) return Duration(static_cast<std::int64_t>(maxUs));
    if (us <= -maxUs) return Duration(-static_cast<std::int64_t>(maxUs));
    return Duration(static_cast<std::int64_t>(us));
}

inline double toSeconds(Duration d) { return static_cast<double>(d.count()) / 1e6; }

}  // namespace halvyn
