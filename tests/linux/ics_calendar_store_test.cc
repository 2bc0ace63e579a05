// The calendar store over a folder of iCalendar files written here, shaped like real exports:
// a work calendar with its own VTIMEZONE, a recurring meeting with an exclusion and a moved
// instance, a declined meeting, an all-day event, a floating time, Evolution's local calendar.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>

#include "platform/linux/ics_calendar_store.h"
#include "platform/linux/posix_file_system.h"
#include "runtime/logger.h"
#include "shell/event_loop.h"
#include "shell/real_time.h"

namespace halvyn {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono;

WallTime utc(int y, unsigned mo, unsigned d, int h = 0, int mi = 0) {
    return WallTime(sys_days(year{y} / mo / d) + hours(h) + minutes(mi));
}

const char* kBerlin = R"(BEGIN:VTIMEZONE
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

std::string calendar(const std::string& events, const std::string& extra = {}) {
    return "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Example Corp//Calendar 1.0//EN\r\n" + extra + events +
           "END:VCALENDAR\r\n";
}

std::string work() {
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

std::string personal() {
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

class IcsStore : public ::testing::Test {
protected:
    void SetUp() override {
        root = fs::temp_directory_path() / ("halvyn-ics-" + std::to_string(::getpid()));
        fs::remove_all(root);
        folders = {(root / "halvyn/calendars").string(), (root / "evolution/calendar").string()};
        fs::create_directories(folders.own);
        fs::create_directories(fs::path(folders.evolution) / "system");
        write(folders.own + "/work.ics", work());
        write(folders.own + "/personal.ICS", personal());
        write(folders.own + "/notes.txt", "not a calendar");
        write(folders.evolution + "/system/calendar.ics", calendar("BEGIN:VEVENT\nUID:evo-1\nSUMMARY:Dentist\n"
                                                                   "DTSTART:20260330T160000Z\nDTEND:20260330T163000Z\n"
                                                                   "END:VEVENT\n"));
    }
    void TearDown() override {
        store.reset();
        fs::remove_all(root);
    }
    static void write(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

    IcsCalendarStore& open(std::vector<std::string> own = {"me@example.org"}) {
        store = std::make_unique<IcsCalendarStore>(files, runtime, Logger(&logs, "com.halvyn.app", "CalendarStore"),
                                                   folders, std::move(own), "America/New_York");
        return *store;
    }
    std::vector<CalendarEvent> between(WallTime from, WallTime to) {
        std::vector<std::string> ids;
        for (auto& c : store->calendars()) ids.push_back(c.id);
        return store->events(from, to, ids);
    }
    const CalendarEvent* find(const std::vector<CalendarEvent>& events, const std::string& title) {
        for (auto& e : events)
            if (e.title == title) return &e;
        return nullptr;
    }
    std::size_t countErrors(const std::string& part) {
        std::size_t n = 0;
        for (auto& l : logs.lines) n += l.message.find(part) != std::string::npos;
        return n;
    }

    fs::path root;
    IcsCalendarStore::Folders folders;
    RealTime runtime{1};
    PosixFileSystem files;
    CaptureLogSink logs;
    std::unique_ptr<IcsCalendarStore> store;
};

TEST_F(IcsStore, ReadsEveryCalendarWithZonesRecurrenceAndExceptions) {
    open();
    const auto cals = store->calendars();
    ASSERT_EQ(cals.size(), 3u);  // two of the own folder (any case of .ics), one of Evolution
    EXPECT_EQ(cals[1].color, "#FF2968");

    // Across the change to summer time: 09:00 in Berlin is 08:00 UTC on Friday, 07:00 on Monday.
    auto week = between(utc(2026, 3, 27), utc(2026, 4, 2));
    std::vector<WallTime> standups;
    for (auto& e : week)
        if (e.title.rfind("Standup", 0) == 0) standups.push_back(e.start);
    // Fri 27, Mon 30, (Tue 31 excluded), Wed 1 moved to 11:30.
    ASSERT_EQ(standups.size(), 3u);
    EXPECT_EQ(standups[0], utc(2026, 3, 27, 8));
    EXPECT_EQ(standups[1], utc(2026, 3, 30, 7));
    EXPECT_EQ(standups[2], utc(2026, 4, 1, 9, 30));
    const CalendarEvent* moved = find(week, "Standup (moved)");
    ASSERT_TRUE(moved);
    EXPECT_EQ(moved->id, "standup@example.org/20260401T070000Z");  // named by its original start
    EXPECT_EQ(moved->end - moved->start, minutes(15));

    const CalendarEvent* review = find(week, "Design review");
    ASSERT_TRUE(review);
    EXPECT_EQ(review->location, "Room 4");
    EXPECT_EQ(review->url, "https://intranet.example.org/review");
    ASSERT_TRUE(review->notes);
    EXPECT_NE(review->notes->find("https://us02web.zoom.us/j/123456789?pwd=abc\nAgenda"), std::string::npos);
    ASSERT_TRUE(review->geo);
    EXPECT_DOUBLE_EQ(review->geo->latitude, 52.52);
    ASSERT_EQ(review->attendees.size(), 1u);
    EXPECT_TRUE(review->attendees[0].isCurrentUser);
    EXPECT_EQ(review->attendees[0].status, 2);

    const CalendarEvent* budget = find(week, "Budget");
    ASSERT_TRUE(budget);
    ASSERT_EQ(budget->attendees.size(), 2u);
    EXPECT_TRUE(budget->attendees[0].isCurrentUser);  // the address matches in any case
    EXPECT_EQ(budget->attendees[0].status, 3);
    EXPECT_FALSE(budget->attendees[1].isCurrentUser);

    // Floating times and dates are the local zone's (New York, summer time since March 8).
    const CalendarEvent* dinner = find(week, "Dinner");
    ASSERT_TRUE(dinner);
    EXPECT_EQ(dinner->start, utc(2026, 3, 30, 22));
    const CalendarEvent* holiday = find(week, "Holiday");
    ASSERT_TRUE(holiday);
    EXPECT_TRUE(holiday->isAllDay);
    EXPECT_EQ(holiday->start, utc(2026, 3, 30, 4));
    EXPECT_EQ(holiday->end, utc(2026, 3, 31, 4));
    // A zone name that points out of the zone database is no zone: the time reads as floating.
    const CalendarEvent* odd = find(week, "Odd zone");
    ASSERT_TRUE(odd);
    EXPECT_EQ(odd->start, utc(2026, 3, 30, 12));
    EXPECT_EQ(odd->end, utc(2026, 3, 30, 12, 30));
    EXPECT_TRUE(find(week, "Dentist"));
    // A daily floating series with one day excluded by its date: Mar 27 to Apr 1, without Mar 31.
    std::vector<WallTime> gym;
    for (auto& e : week)
        if (e.title == "Gym") gym.push_back(e.start);
    ASSERT_EQ(gym.size(), 5u);
    EXPECT_EQ(gym[0], utc(2026, 3, 27, 11));  // 07:00 in New York
    EXPECT_EQ(gym[3], utc(2026, 3, 30, 11));
    EXPECT_EQ(gym[4], utc(2026, 4, 1, 11));

    // The look-up by identifier finds single events and single instances.
    EXPECT_EQ(store->event("review@example.org")->title, "Design review");
    EXPECT_EQ(store->event("standup@example.org/20260330T070000Z")->start, utc(2026, 3, 30, 7));
    EXPECT_FALSE(store->event("standup@example.org/20260331T070000Z"));  // excluded
    EXPECT_FALSE(store->event("nothing"));
}

TEST_F(IcsStore, WindowEdgesAndTheOwnAddressGuess) {
    open({});  // no configured address: the organiser of most events is the user
    ASSERT_EQ(store->ownAddresses(), std::vector<std::string>{"boss@example.org"});
    // The window of one query: the 13:00 review is running at 12:30, the 14:00 meeting is not yet in.
    auto some = between(utc(2026, 3, 30, 12, 30), utc(2026, 3, 30, 13, 59));
    EXPECT_TRUE(find(some, "Design review"));
    EXPECT_FALSE(find(some, "Budget"));
    EXPECT_FALSE(find(between(utc(2026, 3, 30, 13), utc(2026, 3, 30, 13, 30)), "Design review"));  // ended at 13:00
}

TEST_F(IcsStore, UnboundedAndPathologicalRulesStayBounded) {
    write(folders.own + "/rules.ics", calendar(R"(BEGIN:VEVENT
UID:old-daily
SUMMARY:Since 1990
DTSTART:19900101T100000Z
DURATION:PT1H
RRULE:FREQ=DAILY
END:VEVENT
BEGIN:VEVENT
UID:every-second
SUMMARY:Tick
DTSTART:20260101T000000Z
RRULE:FREQ=SECONDLY
END:VEVENT
)"));
    open();
    auto day = between(utc(2026, 3, 30, 9), utc(2026, 3, 31, 2));
    // A daily rule from long ago still lands in today's window (the expansion skips ahead).
    const CalendarEvent* daily = find(day, "Since 1990");
    ASSERT_TRUE(daily);
    EXPECT_EQ(daily->start, utc(2026, 3, 30, 10));
    std::size_t ticks = 0;
    for (auto& e : day) ticks += e.title == "Tick";
    EXPECT_GT(ticks, 0u);
    EXPECT_LE(ticks, 5000u);
    between(utc(2026, 3, 30, 9), utc(2026, 3, 31, 2));
    EXPECT_EQ(countErrors("repeats too often"), 1u);  // logged once
}

TEST_F(IcsStore, NoticesChangesKeepsTheLastGoodReadingAndEmptyFoldersMeanNoEvents) {
    open();
    int changes = 0;
    auto sub = store->observeChanges([&] { ++changes; });
    const WallTime from = utc(2026, 3, 30), to = utc(2026, 3, 31);
    ASSERT_TRUE(find(between(from, to), "Dentist"));

    // Evolution rewrites its file: the new event is there after the change notice.
    write(folders.evolution + "/system/calendar.ics",
          calendar("BEGIN:VEVENT\nUID:evo-1\nSUMMARY:Dentist (moved)\nDTSTART:20260330T170000Z\nDURATION:PT1H\nEND:VEVENT\n"));
    ASSERT_TRUE(test::spinUntil([&] { return changes > 0 && find(between(from, to), "Dentist (moved)"); }));

    // A file that stops being iCalendar: logged once, the previous reading stays.
    const int before = changes;
    write(folders.own + "/work.ics", "<html>oops</html>");
    ASSERT_TRUE(test::spinUntil([&] { return countErrors("not an iCalendar file") > 0; }));
    EXPECT_EQ(changes, before);
    EXPECT_TRUE(find(between(from, to), "Design review"));
    store->reload();
    EXPECT_EQ(countErrors("not an iCalendar file"), 1u);

    // A new file in the folder is a new calendar.
    write(folders.own + "/new.ics", calendar("BEGIN:VEVENT\nUID:n\nSUMMARY:New\nDTSTART:20260330T100000Z\nEND:VEVENT\n"));
    ASSERT_TRUE(test::spinUntil([&] { return find(between(from, to), "New") != nullptr; }));

    // Without calendar files there are no events.
    fs::remove_all(folders.own);
    fs::remove_all(folders.evolution);
    ASSERT_TRUE(test::spinUntil([&] { return store->calendars().empty(); }));
    EXPECT_TRUE(between(from, to).empty());

    // The folder made again, with a calendar in it: noticed without a restart.
    fs::create_directories(folders.own);
    ASSERT_TRUE(test::spinUntil([&] { return fs::exists(folders.own); }));
    write(folders.own + "/back.ics", calendar("BEGIN:VEVENT\nUID:b\nSUMMARY:Back\nDTSTART:20260330T100000Z\nEND:VEVENT\n"));
    ASSERT_TRUE(test::spinUntil([&] { return find(between(from, to), "Back") != nullptr; }));
}

TEST(IcsParse, RejectsWhatIsNotICalendar) {
    std::string error;
    EXPECT_FALSE(ics::Calendar::parse("", &error));
    EXPECT_FALSE(ics::Calendar::parse("BEGIN:VCARD\nFN:Ann\nEND:VCARD\n", &error));
    EXPECT_EQ(error, "not an iCalendar file");
    auto cal = ics::Calendar::parse("BEGIN:VCALENDAR\nBEGIN:VEVENT\nSUMMARY:no start\nEND:VEVENT\nEND:VCALENDAR\n");
    ASSERT_TRUE(cal);
    EXPECT_EQ(cal->eventCount(), 0u);  // an event without a start is no event
}

}  // namespace
}  // namespace halvyn
