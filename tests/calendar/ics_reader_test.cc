// The iCalendar reader over texts shaped like real exports: a work calendar with its own
// VTIMEZONE, a recurring meeting with an exclusion and a moved instance, a declined meeting, an
// all-day event, a floating time, a zone name that points out of the zone database; and hostile
// texts: nested too deep, recurring without end, rules that never match.

#include "calendar/ics_reader.h"

#include <gtest/gtest.h>

#include <chrono>

#include "ics_texts.h"

namespace halvyn {
namespace {

using namespace std::chrono;
using namespace ics_texts;

std::unique_ptr<ics::Calendar> parsed(const std::string& text) {
    auto cal = ics::Calendar::parse(text);
    EXPECT_TRUE(cal);
    return cal;
}

const ics::ExpandOptions kOptions{"c", {"me@example.org"}, "America/New_York"};

std::vector<CalendarEvent> between(const std::string& text, WallTime from, WallTime to) {
    std::vector<CalendarEvent> out;
    ics::StepBudget budget;
    if (auto cal = parsed(text)) cal->events(from, to, kOptions, out, budget);
    return out;
}

std::vector<WallTime> startsOf(const std::vector<CalendarEvent>& events, std::string_view prefix) {
    std::vector<WallTime> out;
    for (auto& e : events)
        if (e.title.rfind(prefix, 0) == 0) out.push_back(e.start);
    return out;
}

TEST(IcsReader, ZonesExclusionsAndMovedInstances) {
    // Across the change to summer time: 09:00 in Berlin is 08:00 UTC on Friday, 07:00 on Monday.
    const auto week = between(work(), utc(2026, 3, 27), utc(2026, 4, 2));
    // Fri 27, Mon 30, (Tue 31 excluded), Wed 1 moved to 11:30.
    EXPECT_EQ(startsOf(week, "Standup"),
              (std::vector<WallTime>{utc(2026, 3, 27, 8), utc(2026, 3, 30, 7), utc(2026, 4, 1, 9, 30)}));
    const CalendarEvent* moved = find(week, "Standup (moved)");
    ASSERT_TRUE(moved);
    EXPECT_EQ(moved->id, "standup@example.org/20260401T070000Z");  // named by its original start
    EXPECT_EQ(moved->end - moved->start, minutes(15));
}

TEST(IcsReader, FieldsAttendeesColourAndOrganizers) {
    const auto cal = parsed(work());
    ASSERT_TRUE(cal);
    EXPECT_EQ(cal->color(), "#FF2968");
    EXPECT_EQ(cal->organizers(), (std::vector<std::string>{"me@example.org", "boss@example.org", "boss@example.org"}));
    const auto day = between(work(), utc(2026, 3, 30), utc(2026, 3, 31));
    const CalendarEvent* review = find(day, "Design review");
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
    const CalendarEvent* budget = find(day, "Budget");
    ASSERT_TRUE(budget);
    ASSERT_EQ(budget->attendees.size(), 2u);
    EXPECT_TRUE(budget->attendees[0].isCurrentUser);  // the address matches in any case
    EXPECT_EQ(budget->attendees[0].status, 3);
    EXPECT_FALSE(budget->attendees[1].isCurrentUser);
}

TEST(IcsReader, FloatingTimesAndDatesAreTheLocalZones) {
    // New York, summer time since March 8.
    const auto week = between(personal(), utc(2026, 3, 27), utc(2026, 4, 2));
    EXPECT_EQ(find(week, "Dinner")->start, utc(2026, 3, 30, 22));
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
    // A daily floating series with one day excluded by its date: Mar 27 to Apr 1, without Mar 31.
    EXPECT_EQ(startsOf(week, "Gym"), (std::vector<WallTime>{utc(2026, 3, 27, 11), utc(2026, 3, 28, 11),
                                                            utc(2026, 3, 29, 11), utc(2026, 3, 30, 11),
                                                            utc(2026, 4, 1, 11)}));
}

TEST(IcsReader, WindowEdgesAndLookUps) {
    // The 13:00 review is running at 12:30, the 14:00 meeting is not yet in; at 13:00 it has ended.
    const auto some = between(work(), utc(2026, 3, 30, 12, 30), utc(2026, 3, 30, 13, 59));
    EXPECT_TRUE(find(some, "Design review"));
    EXPECT_FALSE(find(some, "Budget"));
    EXPECT_FALSE(find(between(work(), utc(2026, 3, 30, 13), utc(2026, 3, 30, 13, 30)), "Design review"));

    // The look-up by identifier finds single events and single instances.
    const auto cal = parsed(work());
    ASSERT_TRUE(cal);
    ics::StepBudget budget;
    EXPECT_EQ(cal->find("review@example.org", kOptions, budget)->title, "Design review");
    EXPECT_EQ(cal->find("standup@example.org/20260330T070000Z", kOptions, budget)->start, utc(2026, 3, 30, 7));
    EXPECT_FALSE(cal->find("standup@example.org/20260331T070000Z", kOptions, budget));  // excluded
    EXPECT_FALSE(cal->find("nothing", kOptions, budget));
}

TEST(IcsReader, UnboundedRulesStayBounded) {
    const auto day = between(calendar(R"(BEGIN:VEVENT
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
)"),
                             utc(2026, 3, 30, 9), utc(2026, 3, 31, 2));
    // A daily rule from long ago still lands in today's window (the expansion skips ahead).
    EXPECT_EQ(startsOf(day, "Since 1990"), std::vector<WallTime>{utc(2026, 3, 30, 10)});
    const std::size_t ticks = startsOf(day, "Tick").size();
    EXPECT_GT(ticks, 0u);
    EXPECT_LE(ticks, ics::kMaxStepsPerEvent);
}

TEST(IcsReader, NestingIsCountedAsTheParserSeesIt) {
    auto nested = [](int levels, const std::string& begin = "BEGIN:X\r\n") {
        std::string text = "BEGIN:VCALENDAR\r\n";
        for (int i = 1; i < levels; ++i) text += begin;
        for (int i = 1; i < levels; ++i) text += "END:X\r\n";
        return text + "END:VCALENDAR\r\n";
    };
    std::string error;
    EXPECT_TRUE(ics::unfoldedWithinNesting(nested(ics::kMaxNesting)));
    EXPECT_FALSE(ics::unfoldedWithinNesting(nested(ics::kMaxNesting + 1), &error));
    EXPECT_EQ(error, "components nested more than 8 deep");
    // Any case, a parameter, a folded name: each opens a component all the same.
    for (const char* begin : {"begin:x\r\n", "Begin;X-P=1:X\r\n", "BEG\r\n IN:X\r\n", "B\n\tEGIN:X\n", "BEGIN :X\n"})
        EXPECT_FALSE(ics::unfoldedWithinNesting(nested(ics::kMaxNesting + 1, begin))) << begin;
    // Siblings are no depth; only what the parser takes as END closes one; text after a zero byte is not read.
    std::string siblings = "BEGIN:VCALENDAR\n";
    for (int i = 0; i < 1000; ++i) siblings += "BEGIN:VEVENT\nEND:VEVENT\n";
    EXPECT_TRUE(ics::unfoldedWithinNesting(siblings + "END:VCALENDAR\n"));
    EXPECT_FALSE(ics::unfoldedWithinNesting(nested(ics::kMaxNesting + 1, "BEGIN:X\nEND\nDESCRIPTION:x\n END:X\n")));
    EXPECT_EQ(*ics::unfoldedWithinNesting(std::string("A:1\r\n  b\r\nB:2\0BEGIN:X", 21)), "A:1 b\nB:2\n");
}

TEST(IcsReader, OneBudgetForEveryEventOfAFile) {
    const auto cal = ics::Calendar::parse(hostileRecurrences(50));
    ASSERT_TRUE(cal);
    const ics::ExpandOptions options{"c", {}, "UTC"};
    std::vector<CalendarEvent> out;
    ics::StepBudget budget{12'345};
    cal->events(utc(2026, 3, 30), utc(2026, 3, 31), options, out, budget);
    EXPECT_EQ(budget.left, 0u) << "spent across the events, each taking at most its own share";
    EXPECT_TRUE(budget.exhausted);
    out.clear();
    budget = {};
    cal->events(utc(2020, 1, 1), utc(2020, 1, 1, 0, 0) + seconds(9), options, out, budget);
    EXPECT_EQ(out.size(), 50u * 10);  // within reach, every event is there
    EXPECT_FALSE(budget.exhausted);
}

TEST(IcsReader, RulesThatNeverMatchEndAtOnce) {
    // The library searched the first two second by second for ever, the third day by day to the
    // end of its calendar.
    const auto cal = ics::Calendar::parse(calendar(R"(BEGIN:VEVENT
UID:feb30
SUMMARY:Never
DTSTART:20260330T100000Z
RRULE:FREQ=SECONDLY;BYMONTH=2;BYMONTHDAY=30
END:VEVENT
BEGIN:VEVENT
UID:leap-second
DTSTART:20260330T100000Z
RRULE:FREQ=HOURLY;BYSECOND=60
END:VEVENT
BEGIN:VEVENT
UID:daily-feb30
DTSTART:20260330T100000Z
RRULE:FREQ=DAILY;BYMONTH=2;BYMONTHDAY=30;COUNT=3
END:VEVENT
BEGIN:VEVENT
UID:weekly
DTSTART:20260323T120000Z
RRULE:FREQ=WEEKLY
END:VEVENT
)"));
    ASSERT_TRUE(cal);
    std::vector<CalendarEvent> out;
    ics::StepBudget budget;
    cal->events(utc(2026, 3, 30), utc(2026, 3, 31), {"c", {}, "UTC"}, out, budget);
    EXPECT_TRUE(budget.exhausted);
    EXPECT_EQ(budget.left, 0u) << "the daily rule that never matches took the file's share";
    ASSERT_EQ(out.size(), 2u) << "only the first instances of the rules not searched";
    EXPECT_EQ(out[0].id, "feb30/20260330T100000Z");
    EXPECT_EQ(out[1].id, "leap-second/20260330T100000Z");
}

TEST(IcsReader, RejectsWhatIsNotICalendar) {
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
