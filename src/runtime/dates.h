#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "runtime/time.h"

namespace halvyn {

// Parses "YYYY-MM-DDTHH:MM[:SS[.fff]](Z|±HH:MM)" or a bare date "YYYY-MM-DD" (midnight UTC).
// Anything else, or an impossible date, is nullopt.
std::optional<WallTime> parseIso8601(std::string_view text);
// "2026-03-02T09:00:00Z", with ".mmm" only when there are milliseconds.
std::string formatIso8601(WallTime t);
// "+01:00" / "-05:30" / "Z" to minutes east of UTC.
std::optional<int> parseUtcOffset(std::string_view text);

}  // namespace halvyn
