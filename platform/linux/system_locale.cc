#include "platform/linux/system_locale.h"

#include <langinfo.h>
#include <locale.h>

#include <cctype>
#include <chrono>
#include <ctime>
#include <string>

namespace halvyn {

namespace {

// "en_US.UTF-8" → "US"; nothing for "C", "POSIX" and names without a territory.
std::optional<std::string> territory(const char* name) {
    if (!name) return std::nullopt;
    const std::string s(name);
    const auto underscore = s.find('_');
    if (underscore == std::string::npos) return std::nullopt;
    std::string region;
    for (std::size_t i = underscore + 1; i < s.size() && std::isalpha(static_cast<unsigned char>(s[i])); ++i)
        region += static_cast<char>(std::toupper(static_cast<unsigned char>(s[i])));
    if (region.size() != 2) return std::nullopt;
    return region;
}

}  // namespace

std::optional<std::string> SystemLocale::region() const { return territory(::setlocale(LC_MEASUREMENT, nullptr)); }

MeasurementSystem SystemLocale::measurementSystem() const {
#ifdef _NL_MEASUREMENT_MEASUREMENT
    // The locale the user chose for measurements (the environment's), not the program's "C".
    if (locale_t loc = ::newlocale(LC_MEASUREMENT_MASK, "", static_cast<locale_t>(nullptr))) {
        const char* value = ::nl_langinfo_l(_NL_MEASUREMENT_MEASUREMENT, loc);
        const bool us = value && value[0] == 2;
        ::freelocale(loc);
        return us ? MeasurementSystem::us : MeasurementSystem::metric;
    }
#endif
    return region() == "US" ? MeasurementSystem::us : MeasurementSystem::metric;
}

int SystemLocale::utcOffsetSeconds(WallTime t) const {
    const std::time_t secs = static_cast<std::time_t>(
        std::chrono::floor<std::chrono::seconds>(t.time_since_epoch()).count());
    std::tm local{};
    if (!::localtime_r(&secs, &local)) return 0;
    return static_cast<int>(local.tm_gmtoff);
}

}  // namespace halvyn
