#pragma once
// iCalendar texts shaped like real exports, for the reader's and the folder store's tests.

#include <chrono>
#include <string>
#include <vector>

#include "platform/calendar_store.h"

namespace halvyn::ics_texts {

using namespace std::chrono;

inline WallTime utc(int y, unsigned mo, unsigned d, int h = 0, int mi = 0) {
    return WallTime(sys_days(year{y} / mo / d) + hours(h) + minutes(mi));
}

inline const char* kBerlin = R"(BEGIN:VTIMEZONE
TZID:Europe/Berlin
BEGIN:DAYLIGHT
TZOFFSETFROM:+0100
TZOFFSETTO:+0200
TZNAME:CEST
DTSTART:19700329T020000
RRULE:FREQ=YEARLY;BYMONTH=3;BYDAY=-1SU
END:DAYLIGHT
BEGIN:STANDARD
TZOFFSETFROM:+0200
TZOFFSETTO:+0100
TZNAME:CET
DTSTART:19701025T030000
RRULE:FREQ=YEARLY;BYMONTH=10;BYDAY=-1SU
END:STANDARD
END:VTIMEZONE
)";

inline std::string calendar(const std::string& events, const std::string& extra = {}) {
    return "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Example Corp//Calendar 1.0//EN\r\n" + extra + events +
           "END:VCALENDAR\r\n";
}

inline std::string work() {
    return calendar(std::string(kBerlin) + R"(BEGIN:VEVENT
UID:standup@example.org
SUMMARY:Standup
DTSTART;TZID=Europe/Berlin:20260302T090000
DTEND;TZID=Europe/Berlin:20260302T091500
RRULE:FREQ=WEEKLY;BYDAY=MO,TU,WE,TH,FR
EXDATE;TZID=Europe/Berlin:20260331T090000
ORGANIZER:mailto:me@example.org
END:VEVENT
BEGIN:VEVENT
UID:standup@example.org
RECURRENCE-ID;TZID=Europe/Berlin:20260401T090000
SUMMARY:Standup (moved)
DTSTART;TZID=Europe/Berlin:20260401T113000
DTEND;TZID=Europe/Berlin:20260401T114500
END:VEVENT
BEGIN:VEVENT
UID:review@example.org
SUMMARY:Design review
DTSTART:20260330T120000Z
DTEND:20260330T130000Z
LOCATION:Room 4
DESCRIPTION:Join: https://us02web.zoom.us/j/123456789?pwd=abc\nAgenda follows.
URL:https://intranet.example.org/review
GEO:52.52;13.405
ORGANIZER:mailto:boss@example.org
ATTENDEE;PARTSTAT=ACCEPTED:mailto:me@example.org
END:VEVENT
BEGIN:VEVENT
UID:declined@example.org
SUMMARY:Budget
DTSTART:20260330T140000Z
DTEND:20260330T150000Z
ORGANIZER:mailto:boss@example.org
ATTENDEE;CN=Me;PARTSTAT=DECLINED:MAILTO:Me@Example.org
ATTENDEE;PARTSTAT=ACCEPTED:mailto:other@example.org
END:VEVENT
)",
                    "X-WR-CALNAME:Work\r\nX-APPLE-CALENDAR-COLOR:#FF2968FF\r\n");
}

inline std::string personal() {
    return calendar(R"(BEGIN:VEVENT
UID:holiday@example.org
SUMMARY:Holiday
DTSTART;VALUE=DATE:20260330
DTEND;VALUE=DATE:20260331
END:VEVENT
BEGIN:VEVENT
UID:dinner@example.org
SUMMARY:Dinner
DTSTART:20260330T180000
DTEND:20260330T200000
END:VEVENT
BEGIN:VEVENT
UID:gym@example.org
SUMMARY:Gym
DTSTART:20260301T070000
DTEND:20260301T080000
RRULE:FREQ=DAILY
EXDATE;VALUE=DATE:20260331
END:VEVENT
BEGIN:VEVENT
UID:odd-zone@example.org
SUMMARY:Odd zone
DTSTART;TZID=../../../etc/passwd:20260330T080000
DURATION:PT30M
END:VEVENT
)");
}

// 2,000 events repeating every second since 2020 with a COUNT: every step from the start must be
// taken, 5,000 per event, and the whole took half a minute per query.
inline std::string hostileRecurrences(int events) {
    std::string text;
    for (int i = 0; i < events; ++i)
        text += "BEGIN:VEVENT\nUID:tick-" + std::to_string(i) +
                "\nSUMMARY:Tick\nDTSTART:20200101T000000Z\nRRULE:FREQ=SECONDLY;COUNT=999999999\nEND:VEVENT\n";
    return calendar(text);
}

inline const CalendarEvent* find(const std::vector<CalendarEvent>& events, const std::string& title) {
    for (auto& e : events)
        if (e.title == title) return &e;
    return nullptr;
}

}  // namespace halvyn::ics_texts
