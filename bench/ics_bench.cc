// Reading a large calendar: 5,000 events of an iCalendar file (its own VTIMEZONE; one in five a
// weekly series with an exclusion, one in twenty all-day) parsed and expanded over the window the
// calendar source asks for (17 hours); and a hostile file's query, bounded by its step budget.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "calendar/ics_reader.h"

namespace halvyn {
namespace {

using namespace std::chrono;

std::string largeCalendar(int events) {
    std::string out =
        "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Bench//EN\r\nBEGIN:VTIMEZONE\r\nTZID:Europe/Berlin\r\n"
        "BEGIN:DAYLIGHT\r\nTZOFFSETFROM:+0100\r\nTZOFFSETTO:+0200\r\nDTSTART:19700329T020000\r\n"
        "RRULE:FREQ=YEARLY;BYMONTH=3;BYDAY=-1SU\r\nEND:DAYLIGHT\r\nBEGIN:STANDARD\r\nTZOFFSETFROM:+0200\r\n"
        "TZOFFSETTO:+0100\r\nDTSTART:19701025T030000\r\nRRULE:FREQ=YEARLY;BYMONTH=10;BYDAY=-1SU\r\nEND:STANDARD\r\n"
        "END:VTIMEZONE\r\n";
    char line[512];
    for (int i = 0; i < events; ++i) {
        // Spread over two years around the window, as a calendar that has been used for a while.
        const int day = 1 + i % 28, month = 1 + (i / 28) % 12, year = 2025 + (i / 336) % 2, hour = 8 + i % 10;
        out += "BEGIN:VEVENT\r\n";
        std::snprintf(line, sizeof line, "UID:event-%d@bench.example.org\r\nSUMMARY:Meeting %d\r\n", i, i);
        out += line;
        if (i % 20 == 0) {
            std::snprintf(line, sizeof line, "DTSTART;VALUE=DATE:%04d%02d%02d\r\n", year, month, day);
            out += line;
        } else {
            std::snprintf(line, sizeof line,
                          "DTSTART;TZID=Europe/Berlin:%04d%02d%02dT%02d0000\r\nDTEND;TZID=Europe/Berlin:%04d%02d%02dT%02d3000\r\n",
                          year, month, day, hour, year, month, day, hour);
            out += line;
        }
        if (i % 5 == 1) {
            std::snprintf(line, sizeof line, "RRULE:FREQ=WEEKLY;BYDAY=MO,WE\r\nEXDATE;TZID=Europe/Berlin:%04d%02d%02dT%02d0000\r\n",
                          year + 1, month, day, hour);
            out += line;
        }
        out += "LOCATION:Room 4\r\nDESCRIPTION:Join https://zoom.us/j/123456789\\nAgenda\r\n"
               "ORGANIZER:mailto:boss@example.org\r\nATTENDEE;PARTSTAT=ACCEPTED:mailto:me@example.org\r\nEND:VEVENT\r\n";
    }
    return out + "END:VCALENDAR\r\n";
}

void BM_ParseAndExpand5000Events(benchmark::State& state) {
    const std::string text = largeCalendar(5000);
    const WallTime from(sys_days(year{2026} / 3 / 30) + hours(6));
    const ics::ExpandOptions options{"bench", {"me@example.org"}, "Europe/Berlin"};
    std::size_t found = 0;
    for (auto _ : state) {
        auto cal = ics::Calendar::parse(text);
        std::vector<CalendarEvent> events;
        ics::StepBudget budget;
        cal->events(from, from + seconds(61200), options, events, budget);
        found = events.size();
        benchmark::DoNotOptimize(events.data());
    }
    state.counters["instances"] = static_cast<double>(found);
}
BENCHMARK(BM_ParseAndExpand5000Events)->Unit(benchmark::kMillisecond);

void BM_Expand5000EventsParsedOnce(benchmark::State& state) {
    const auto cal = ics::Calendar::parse(largeCalendar(5000));
    const WallTime from(sys_days(year{2026} / 3 / 30) + hours(6));
    const ics::ExpandOptions options{"bench", {"me@example.org"}, "Europe/Berlin"};
    for (auto _ : state) {
        std::vector<CalendarEvent> events;
        ics::StepBudget budget;
        cal->events(from, from + seconds(61200), options, events, budget);
        benchmark::DoNotOptimize(events.data());
    }
}
BENCHMARK(BM_Expand5000EventsParsedOnce)->Unit(benchmark::kMillisecond);

// A hostile file: 2,000 events repeating every second since 2020 with a COUNT, so that no step
// can be skipped. One query over it stops at the file's share of steps.
std::string hostileCalendar(int events) {
    std::string out = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Bench//EN\r\n";
    for (int i = 0; i < events; ++i)
        out += "BEGIN:VEVENT\r\nUID:tick-" + std::to_string(i) +
               "\r\nSUMMARY:Tick\r\nDTSTART:20200101T000000Z\r\nDURATION:PT1S\r\n"
               "RRULE:FREQ=SECONDLY;COUNT=999999999\r\nEND:VEVENT\r\n";
    return out + "END:VCALENDAR\r\n";
}

void BM_QueryHostileRecurrences(benchmark::State& state) {
    const auto cal = ics::Calendar::parse(hostileCalendar(2000));
    const WallTime from(sys_days(year{2026} / 3 / 30) + hours(6));
    const ics::ExpandOptions options{"bench", {"me@example.org"}, "Europe/Berlin"};
    std::size_t steps = 0;
    for (auto _ : state) {
        std::vector<CalendarEvent> events;
        ics::StepBudget budget;
        cal->events(from, from + seconds(61200), options, events, budget);
        steps = ics::kMaxStepsPerFile - budget.left;
        benchmark::DoNotOptimize(events.data());
    }
    state.counters["steps"] = static_cast<double>(steps);
}
BENCHMARK(BM_QueryHostileRecurrences)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace halvyn
