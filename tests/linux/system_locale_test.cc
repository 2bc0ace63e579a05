// The C library's time zone behind the calendar's local time: a daylight-saving change in a real
// zone neither skips nor doubles the hourly chime, and a half-hour zone chimes at half past UTC.

#include "platform/linux/system_locale.h"

#include <gtest/gtest.h>

#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "calendar/calendar_manager.h"
#include "linux/services.h"
#include "runtime/dates.h"

namespace halvyn {
namespace {

// TZ for its own lifetime, read again by the C library on the way in and out.
class Zone {
public:
    explicit Zone(const char* tz) : env_(std::in_place, "TZ", tz) { ::tzset(); }
    ~Zone() {
        env_.reset();
        ::tzset();
    }

private:
    std::optional<test::ScopedEnv> env_;
};

std::vector<std::string> chimes(const Locale& l, const char* from, int n) {
    std::vector<std::string> out;
    WallTime t = *parseIso8601(from);
    for (int i = 0; i < n; ++i) out.push_back(formatIso8601(t = calendar::nextFullHour(t, &l)));
    return out;
}

TEST(SystemLocale, DaylightSavingNeitherSkipsNorDoublesTheChime) {
    SystemLocale locale;
    {
        Zone berlin(":Europe/Berlin");
        EXPECT_EQ(locale.utcOffsetSeconds(*parseIso8601("2026-01-15T12:00:00Z")), 3600);
        EXPECT_EQ(locale.utcOffsetSeconds(*parseIso8601("2026-07-15T12:00:00Z")), 7200);
        // Clocks go back at 01:00 UTC on 25 October: local 02:00 comes twice, each once an hour.
        EXPECT_EQ(chimes(locale, "2026-10-24T23:30:00Z", 3),
                  (std::vector<std::string>{"2026-10-25T00:00:00Z", "2026-10-25T01:00:00Z", "2026-10-25T02:00:00Z"}));
        // Forward on 29 March: local 02:00 does not exist; the chimes stay an hour apart.
        EXPECT_EQ(chimes(locale, "2026-03-29T00:10:00Z", 2),
                  (std::vector<std::string>{"2026-03-29T01:00:00Z", "2026-03-29T02:00:00Z"}));
        EXPECT_EQ(formatIso8601(calendar::nextMidnight(*parseIso8601("2026-03-28T12:00:00Z"), &locale)),
                  "2026-03-28T23:00:00Z");
        EXPECT_EQ(formatIso8601(calendar::nextMidnight(*parseIso8601("2026-03-29T12:00:00Z"), &locale)),
                  "2026-03-29T22:00:00Z");
    }
    {
        Zone kolkata(":Asia/Kolkata");
        EXPECT_EQ(chimes(locale, "2026-03-02T09:00:00Z", 1), std::vector<std::string>{"2026-03-02T09:30:00Z"});
    }
}

}  // namespace
}  // namespace halvyn
