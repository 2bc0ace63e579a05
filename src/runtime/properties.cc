#include "runtime/properties.h"

#include <cstdio>
#include <ctime>

namespace halvyn {

Value toValue(WallTime t) {
    const auto secs = std::chrono::floor<std::chrono::seconds>(t);
    const std::time_t tt = static_cast<std::time_t>(secs.time_since_epoch().count());
    std::tm tm{};
    gmtime_r(&tt, &tm);
    char buf[96];
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(t - secs).count();
    if (ms != 0) {
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", tm.tm_year + 1900, tm.tm_mon + 1,
                      tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, static_cast<int>(ms));
    } else {
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02dZ", tm.tm_year + 1900, tm.tm_mon + 1,
                      tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
    }
    return Value(std::string(buf));
}

Value PropertySet::snapshot() const {
    Value v = Value::object();
    for (auto& p : props_) v.set(p.name, p.read());
    return v;
}

}  // namespace halvyn
