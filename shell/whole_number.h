#pragma once
// Doubles that reach the desktop as whole numbers (a slider's position, a size in points) come
// from settings a person may have edited by hand, or from other programs: any double at all.

#include <algorithm>
#include <cmath>

namespace halvyn {

// `v` rounded to the nearest whole number within [lo, hi]: beyond either end (1e300, infinity)
// it is that end, never an overflow's arbitrary value; NaN, which lies nowhere, is `ifNaN`.
inline int wholeNumberWithin(double v, int lo, int hi, int ifNaN) {
    if (std::isnan(v)) return ifNaN;
    return static_cast<int>(std::lround(std::clamp(v, static_cast<double>(lo), static_cast<double>(hi))));
}

}  // namespace halvyn
