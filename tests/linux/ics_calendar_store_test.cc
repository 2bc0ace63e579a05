// The calendar store over a folder of iCalendar files written here, shaped like real exports:
// a work calendar with its own VTIMEZONE, a recurring meeting with an exclusion and a moved
// instance, a declined meeting, an all-day event, a floating time, Evolution's local calendar;
// and hostile files beside them: nested too deep, recurring without end, a FIFO.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <deque>
#include <filesystem>
#include <fstream>
#include <memory>

#include "platform/linux/ics_calendar_store.h"
#include "platform/linux/posix_file_system.h"
#include "runtime/logger.h"
#include "runtime/virtual_time.h"
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

    // Generous: the hostile files take a while to write and read on a busy machine.
    static constexpr int kPatience = 60000;
    // The store with its first reading in place.
    IcsCalendarStore& open(std::vector<std::string> own = {"me@example.org"}, FileSystem* through = nullptr) {
        store = std::make_unique<IcsCalendarStore>(through ? *through : files, runtime, runtime.background(),
                                                   Logger(&logs, "com.halvyn.app", "CalendarStore"), folders,
                                                   std::move(own), "America/New_York");
        int changes = 0;
        auto sub = store->observeChanges([&] { ++changes; });
        EXPECT_TRUE(test::spinUntil([&] { return changes > 0; }, kPatience));
        return *store;
    }
    CalendarAnswer ask(WallTime from, WallTime to, std::vector<std::string> lookups = {}) {
        std::vector<std::string> ids;
        for (auto& c : store->calendars()) ids.push_back(c.id);
        std::optional<CalendarAnswer> answer;
        store->fetch({from, to, ids, std::move(lookups)}, [&](CalendarAnswer a) { answer = std::move(a); });
        EXPECT_TRUE(test::spinUntil([&] { return answer.has_value(); }, kPatience));
        return answer.value_or(CalendarAnswer{});
    }
    std::vector<CalendarEvent> between(WallTime from, WallTime to) { return ask(from, to).events; }
    std::optional<CalendarEvent> lookUp(const std::string& id) {
        auto found = ask(WallTime{}, WallTime{}, {id}).found;
        if (found.empty()) return std::nullopt;
        return found.front();
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
    EXPECT_EQ(lookUp("review@example.org")->title, "Design review");
    EXPECT_EQ(lookUp("standup@example.org/20260330T070000Z")->start, utc(2026, 3, 30, 7));
    EXPECT_FALSE(lookUp("standup@example.org/20260331T070000Z"));  // excluded
    EXPECT_FALSE(lookUp("nothing"));
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
    between(from, to);  // answered after the reading asked for before it
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

// Components nested 400,000 deep: the parser's tree overflowed the stack when it was freed.
std::string deeplyNested(int levels) {
    std::string text = "BEGIN:VCALENDAR\n";
    for (int i = 0; i < levels; ++i) text += "BEGIN:X\n";
    for (int i = 0; i < levels; ++i) text += "END:X\n";
    return text + "END:VCALENDAR\n";
}

// 2,000 events repeating every second since 2020 with a COUNT: every step from the start must be
// taken, 5,000 per event, and the whole took half a minute per query.
std::string hostileRecurrences(int events) {
    std::string text;
    for (int i = 0; i < events; ++i)
        text += "BEGIN:VEVENT\nUID:tick-" + std::to_string(i) +
                "\nSUMMARY:Tick\nDTSTART:20200101T000000Z\nRRULE:FREQ=SECONDLY;COUNT=999999999\nEND:VEVENT\n";
    return calendar(text);
}

TEST_F(IcsStore, HostileFilesAreBoundedAndTheOthersStillRead) {
    write(folders.own + "/deep.ics", deeplyNested(400'000));
    write(folders.own + "/ticks.ics", hostileRecurrences(2000));
    open();
    EXPECT_EQ(countErrors("deep.ics: components nested more than 8 deep"), 1u);
    const auto day = between(utc(2026, 3, 30, 9), utc(2026, 3, 31, 2));
    EXPECT_TRUE(find(day, "Design review"));
    EXPECT_TRUE(find(day, "Dinner"));
    EXPECT_TRUE(find(day, "Dentist"));
    EXPECT_FALSE(find(day, "Tick")) << "no instance reached the window within the file's share";
    EXPECT_EQ(countErrors("ticks.ics repeats too often"), 1u);
    // Read again and freed again: nothing of the deep file ever reached the parser.
    store->reload();
    EXPECT_TRUE(find(between(utc(2026, 3, 30, 9), utc(2026, 3, 31, 2)), "Design review"));
    store.reset();
}

// A file listed as regular and replaced by a FIFO before it is opened.
struct SwappedForFifo final : FileSystem {
    SwappedForFifo(FileSystem& real, std::string fifo) : real(real), fifo(std::move(fifo)) {}
    std::optional<std::string> readFile(const std::string& p, std::size_t max, std::string* error) const override {
        return real.readFile(p, max, error);
    }
    FileType type(const std::string& p) const override { return p == fifo ? FileType::file : real.type(p); }
    std::vector<std::string> list(const std::string& d) const override { return real.list(d); }
    Subscription watch(const std::string& p, std::function<void()> changed) override { return real.watch(p, std::move(changed)); }
    FileResult writeFile(const std::string&, std::string_view) override { return FileResult::failure("read only"); }
    FileResult createDirectories(const std::string&) override { return FileResult::failure("read only"); }
    FileResult remove(const std::string&) override { return FileResult::failure("read only"); }
    FileResult rename(const std::string&, const std::string&) override { return FileResult::failure("read only"); }
    FileResult setExecutable(const std::string&, bool) override { return FileResult::failure("read only"); }
    std::string temporaryDirectory() const override { return real.temporaryDirectory(); }
    std::string homeDirectory() const override { return real.homeDirectory(); }
    std::string cacheDirectory() const override { return real.cacheDirectory(); }
    FileResult makePrivateDirectory(const std::string&, const std::string&) override {
        return FileResult::failure("read only");
    }
    FileSystem& real;
    std::string fifo;
};

TEST_F(IcsStore, AFifoOrALinkSwappedInIsRefusedWithoutWaiting) {
    const std::string fifo = folders.own + "/pipe.ics", link = folders.own + "/link.ics";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    fs::create_symlink(folders.own + "/work.ics", link);
    SwappedForFifo swapped(files, fifo);
    open({"me@example.org"}, &swapped);  // no writer ever opens the FIFO
    EXPECT_EQ(countErrors("pipe.ics: Not a regular file"), 1u);
    EXPECT_TRUE(find(between(utc(2026, 3, 30), utc(2026, 3, 31)), "Design review"));
    std::string error;
    EXPECT_FALSE(files.readFile(link, IcsCalendarStore::kMaxFileBytes, &error));
    EXPECT_EQ(error, "Not a regular file");
    EXPECT_FALSE(files.readFile(folders.own + "/work.ics", 100, &error));
    EXPECT_EQ(error, "File too large");
}

// Holds background work until the test runs it, in the order it chooses.
struct HeldQueue final : BackgroundQueue {
    void post(Task task) override { tasks.push_back(std::move(task)); }
    void runNext() {
        Task t = std::move(tasks.front());
        tasks.pop_front();
        t();
    }
    void runAll() {
        while (!tasks.empty()) runNext();
    }
    std::deque<Task> tasks;
};

TEST_F(IcsStore, AReadingAskedForLaterReplacesOneStillOnItsWay) {
    VirtualTime main;
    HeldQueue background;
    store = std::make_unique<IcsCalendarStore>(files, main, background, Logger(&logs, "com.halvyn.app", "CalendarStore"),
                                               folders, std::vector<std::string>{"me@example.org"}, "UTC");
    int changes = 0;
    auto sub = store->observeChanges([&] { ++changes; });
    background.runAll();
    main.runCurrent();
    ASSERT_EQ(changes, 1);
    auto dentist = [&](const char* title) {
        write(folders.evolution + "/system/calendar.ics",
              calendar(std::string("BEGIN:VEVENT\nUID:evo-1\nSUMMARY:") + title + "\nDTSTART:20260330T160000Z\nEND:VEVENT\n"));
    };
    dentist("First");
    store->reload();
    background.runAll();  // read; the reading waits on the main queue
    dentist("Second");
    store->reload();
    background.runAll();
    main.runCurrent();
    EXPECT_EQ(changes, 2) << "the first reading arrived after the second was asked for: dropped";

    // The second reading is the one the store answers from.
    std::vector<std::string> ids;
    for (auto& c : store->calendars()) ids.push_back(c.id);
    std::vector<CalendarEvent> events;
    store->fetch({utc(2026, 3, 30), utc(2026, 3, 31), ids, {}}, [&](CalendarAnswer a) { events = std::move(a.events); });
    background.runAll();
    main.runCurrent();
    EXPECT_TRUE(find(events, "Second"));
    EXPECT_FALSE(find(events, "First"));

    // A reading still queued when a newer one is asked for does nothing; an unchanged one is no change.
    store->reload();
    store->reload();
    background.runNext();
    EXPECT_EQ(main.pendingCount(), 0u);
    background.runAll();
    main.runCurrent();
    EXPECT_EQ(changes, 2);
    store.reset();
}

TEST(IcsParse, NestingIsCountedAsTheParserSeesIt) {
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

TEST(IcsParse, OneBudgetForEveryEventOfAFile) {
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

TEST(IcsParse, RulesThatNeverMatchEndAtOnce) {
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
