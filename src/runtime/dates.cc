#include "runtime/dates.h"

#include <cstdio>
#include <ctime>

namespace halvyn {

namespace {

bool digits(std::string_view s, std::size_t pos, std::size_t n, int& out) {
    if (pos + n > s.size()) return false;
    int v = 0;
    for (std::size_t i = pos; i < pos + n; ++i) {
        if (s[i] < '0' || s[i] > '9') return false;
        v = v * 10 + (s[i] - '0');
    }
    out = v;
    return true;
}

}  // namespace

std::optional<int> parseUtcOffset(std::string_view s) {
    if (s == "Z") return 0;
    int h = 0, m = 0;
    if (s.size() != 6 || (s[0] != '+' && s[0] != '-') || s[3] != ':' || !digits(s, 1, 2, h) || !digits(s, 4, 2, m))
        return std::nullopt;
    if (h > 23 || m > 59) return std::nullopt;
    const int total = h * 60 + m;
    return s[0] == '-' ? -total : total;
}

std::optional<WallTime> parseIso8601(std::string_view s) {
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, sec = 0;
    if (!digits(s, 0, 4, y) || s.size() < 10 || s[4] != '-' || !digits(s, 5, 2, mo) || s[7] != '-' ||
        !digits(s, 8, 2, d))
        return std::nullopt;
    std::size_t pos = 10;
    long long micros = 0;
    int offsetMinutes = 0;
    if (pos < s.size()) {
        if (s[pos] != 'T' && s[pos] != ' ') return std::nullopt;
        if (!digits(s, pos + 1, 2, h) || pos + 3 >= s.size() || s[pos + 3] != ':' || !digits(s, pos + 4, 2, mi))
            return std::nullopt;
        pos += 6;
        if (pos < s.size() && s[pos] == ':') {
            if (!digits(s, pos + 1, 2, sec)) return std::nullopt;
            pos += 3;
            if (pos < s.size() && s[pos] == '.') {
                ++pos;
                long long scale = 100000;
                std::size_t start = pos;
                while (pos < s.size() && s[pos] >= '0' && s[pos] <= '9') {
                    if (scale > 0) micros += (s[pos] - '0') * scale;
                    scale /= 10;
                    ++pos;
                }
                if (pos == start) return std::nullopt;
            }
        }
        auto off = parseUtcOffset(s.substr(pos));
        if (!off) return std::nullopt;
        offsetMinutes = *off;
    }
    if (mo < 1 || mo > 12 || d < 1 || h > 23 || mi > 59 || sec > 60) return std::nullopt;
    const std::chrono::year_month_day ymd{std::chrono::year(y), std::chrono::month(static_cast<unsigned>(mo)),
                                          std::chrono::day(static_cast<unsigned>(d))};
    if (!ymd.ok()) return std::nullopt;
    const auto days = std::chrono::sys_days(ymd);
    WallTime t = std::chrono::time_point_cast<std::chrono::microseconds>(days) + std::chrono::hours(h) +
                 std::chrono::minutes(mi) + std::chrono::seconds(sec) + std::chrono::microseconds(micros) -
                 std::chrono::minutes(offsetMinutes);
    return t;
}

std::string formatIso8601(WallTime t) {
    const auto secs = std::chrono::floor<std::chrono::seconds>(t);
    const auto days = std::chrono::floor<std::chrono::days>(secs);
    const std::chrono::year_month_day ymd{days};
    const std::chrono::hh_mm_ss hms{secs - days};
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(t - secs).count();
    char buf[96];
    if (ms != 0) {
        std::snprintf(buf, sizeof buf, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", static_cast<int>(ymd.year()),
                      static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()),
                      static_cast<int>(hms.hours().count()), static_cast<int>(hms.minutes().count()),
                      static_cast<int>(hms.seconds().count()), static_cast<int>(ms));
    } else {
        std::snprintf(buf, sizeof buf, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(ymd.year()),
                      static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()),
                      static_cast<int>(hms.hours().count()), static_cast<int>(hms.minutes().count()),
                      static_cast<int>(hms.seconds().count()));
    }
    return buf;
}

}  // namespace halvyn
