// An iCalendar file: any bytes parse to a calendar or an error (a deeply nested one is refused
// before the parser sees it), and expanding any calendar over the seventeen-hour window does
// bounded work and never faults.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "calendar/ics_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace std::chrono;
    if (size > (1 << 20)) return 0;
    auto cal = halvyn::ics::Calendar::parse(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!cal) return 0;
    const halvyn::WallTime from(sys_days(year{2026} / 3 / 29) + hours(20));
    halvyn::ics::ExpandOptions options{"fuzz", {"me@example.org"}, "Europe/Berlin", 500};
    halvyn::ics::StepBudget budget;
    std::vector<halvyn::CalendarEvent> events;
    cal->events(from, from + seconds(61200), options, events, budget);
    if (!events.empty()) (void)cal->find(events.front().id, options, budget);
    return 0;
}
