// The calendar store over folders of iCalendar files written here (the program's own and
// Evolution's), with hostile files beside them: nested too deep, recurring without end, a FIFO.
// What the reader makes of one file is tested beside the reader.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <deque>
#include <filesystem>
#include <memory>

#include "calendar/ics_texts.h"
#include "linux/services.h"
#include "platform/linux/ics_calendar_store.h"
#include "platform/linux/module_ports.h"
#include "platform/linux/modules.h"
#include "platform/linux/posix_file_system.h"
#include "runtime/virtual_time.h"
#include "shell/real_time.h"

namespace halvyn {
namespace {

namespace fs = std::filesystem;
using namespace ics_texts;
using test::writeFile;

class IcsStore : public ::testing::Test {
protected:
    void SetUp() override {
        root = test::privateFolder("halvyn-ics");
        folders = {(root / "halvyn/calendars").string(), (root / "evolution/calendar").string()};
        writeFile(folders.own + "/work.ics", work());
        writeFile(folders.own + "/personal.ICS", personal());
        writeFile(folders.own + "/notes.txt", "not a calendar");
        writeFile(folders.evolution + "/system/calendar.ics", calendar("BEGIN:VEVENT\nUID:evo-1\nSUMMARY:Dentist\n"
                                                                   "DTSTART:20260330T160000Z\nDTEND:20260330T163000Z\n"
                                                                   "END:VEVENT\n"));
    }
    void TearDown() override {
        store.reset();
        fs::remove_all(root);
    }

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
    // The answer of `of` (the store under test when none is named) for all its calendars.
    CalendarAnswer ask(WallTime from, WallTime to, std::vector<std::string> lookups = {}, CalendarStore* of = nullptr) {
        if (!of) of = store.get();
        std::vector<std::string> ids;
        for (auto& c : of->calendars()) ids.push_back(c.id);
        std::optional<CalendarAnswer> answer;
        of->fetch({from, to, ids, std::move(lookups)}, [&](CalendarAnswer a) { answer = std::move(a); });
        EXPECT_TRUE(test::spinUntil([&] { return answer.has_value(); }, kPatience));
        return answer.value_or(CalendarAnswer{});
    }
    std::vector<CalendarEvent> between(WallTime from, WallTime to) { return ask(from, to).events; }
    std::optional<CalendarEvent> lookUp(const std::string& id) {
        auto found = ask(WallTime{}, WallTime{}, {id}).found;
        if (found.empty()) return std::nullopt;
        return found.front();
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

TEST_F(IcsStore, ReadsEveryCalendarFileOfBothFoldersAndGuessesTheUser) {
    open();
    const auto cals = store->calendars();
    ASSERT_EQ(cals.size(), 3u);  // two of the own folder (any case of .ics), one of Evolution
    EXPECT_EQ(cals[0].color, "#3B82F6");  // the palette's, by position
    EXPECT_EQ(cals[1].color, "#FF2968");  // the file's own
    const auto day = between(utc(2026, 3, 30), utc(2026, 3, 31));
    EXPECT_TRUE(find(day, "Design review"));
    EXPECT_TRUE(find(day, "Dentist"));
    EXPECT_EQ(find(day, "Dinner")->start, utc(2026, 3, 30, 22)) << "floating times in the store's zone";
    // The look-up by identifier goes through every file.
    EXPECT_EQ(lookUp("standup@example.org/20260330T070000Z")->start, utc(2026, 3, 30, 7));
    EXPECT_FALSE(lookUp("nothing"));

    open({});  // no configured address: the organiser of most events is the user
    EXPECT_EQ(store->ownAddresses(), std::vector<std::string>{"boss@example.org"});
}

// The program's store: nothing until it starts (after the first frame), then the files read by
// the calendar module, opened for real; a query asked before the start is answered after it.
TEST_F(IcsStore, TheProgramReadsThroughTheCalendarModuleOnceStarted) {
    test::ScopedEnv data("XDG_DATA_HOME", root.string());
    ModuleCalendarStore program(module("halvyn-calendar"), files, runtime, runtime.background(),
                                Logger(&logs, "com.halvyn.app", "CalendarStore"), "/");
    int changes = 0;
    auto sub = program.observeChanges([&] { ++changes; });
    const WallTime from = utc(2026, 3, 30), to = utc(2026, 3, 31);
    std::optional<CalendarAnswer> early;
    program.fetch({from, to, {}, {}}, [&](CalendarAnswer a) { early = std::move(a); });
    EXPECT_TRUE(program.calendars().empty());
    program.start();
    ASSERT_TRUE(test::spinUntil([&] { return changes > 0 && early.has_value(); }, kPatience));
    EXPECT_EQ(program.calendars().size(), 3u);
    EXPECT_TRUE(find(ask(from, to, {}, &program).events, "Dentist"));
}

TEST_F(IcsStore, NoticesChangesKeepsTheLastGoodReadingAndEmptyFoldersMeanNoEvents) {
    open();
    int changes = 0;
    auto sub = store->observeChanges([&] { ++changes; });
    const WallTime from = utc(2026, 3, 30), to = utc(2026, 3, 31);
    ASSERT_TRUE(find(between(from, to), "Dentist"));

    // Evolution rewrites its file: the new event is there after the change notice.
    writeFile(folders.evolution + "/system/calendar.ics",
          calendar("BEGIN:VEVENT\nUID:evo-1\nSUMMARY:Dentist (moved)\nDTSTART:20260330T170000Z\nDURATION:PT1H\nEND:VEVENT\n"));
    ASSERT_TRUE(test::spinUntil([&] { return changes > 0 && find(between(from, to), "Dentist (moved)"); }));

    // A file that stops being iCalendar: logged once, the previous reading stays.
    const int before = changes;
    writeFile(folders.own + "/work.ics", "<html>oops</html>");
    ASSERT_TRUE(test::spinUntil([&] { return countErrors("not an iCalendar file") > 0; }));
    EXPECT_EQ(changes, before);
    EXPECT_TRUE(find(between(from, to), "Design review"));
    store->reload();
    between(from, to);  // answered after the reading asked for before it
    EXPECT_EQ(countErrors("not an iCalendar file"), 1u);

    // A new file in the folder is a new calendar.
    writeFile(folders.own + "/new.ics", calendar("BEGIN:VEVENT\nUID:n\nSUMMARY:New\nDTSTART:20260330T100000Z\nEND:VEVENT\n"));
    ASSERT_TRUE(test::spinUntil([&] { return find(between(from, to), "New") != nullptr; }));

    // Without calendar files there are no events.
    fs::remove_all(folders.own);
    fs::remove_all(folders.evolution);
    ASSERT_TRUE(test::spinUntil([&] { return store->calendars().empty(); }));
    EXPECT_TRUE(between(from, to).empty());

    // The folder made again, with a calendar in it: noticed without a restart.
    fs::create_directories(folders.own);
    ASSERT_TRUE(test::spinUntil([&] { return fs::exists(folders.own); }));
    writeFile(folders.own + "/back.ics", calendar("BEGIN:VEVENT\nUID:b\nSUMMARY:Back\nDTSTART:20260330T100000Z\nEND:VEVENT\n"));
    ASSERT_TRUE(test::spinUntil([&] { return find(between(from, to), "Back") != nullptr; }));
}

// Components nested 400,000 deep: the parser's tree overflowed the stack when it was freed.
std::string deeplyNested(int levels) {
    std::string text = "BEGIN:VCALENDAR\n";
    for (int i = 0; i < levels; ++i) text += "BEGIN:X\n";
    for (int i = 0; i < levels; ++i) text += "END:X\n";
    return text + "END:VCALENDAR\n";
}

TEST_F(IcsStore, HostileFilesAreBoundedAndTheOthersStillRead) {
    writeFile(folders.own + "/deep.ics", deeplyNested(400'000));
    writeFile(folders.own + "/ticks.ics", hostileRecurrences(2000));
    open();
    EXPECT_EQ(countErrors("deep.ics: components nested more than 8 deep"), 1u);
    const auto day = between(utc(2026, 3, 30, 9), utc(2026, 3, 31, 2));
    EXPECT_TRUE(find(day, "Design review"));
    EXPECT_TRUE(find(day, "Dinner"));
    EXPECT_TRUE(find(day, "Dentist"));
    EXPECT_FALSE(find(day, "Tick")) << "no instance reached the window within the file's share";
    EXPECT_EQ(countErrors("ticks.ics repeats too often"), 1u);
    // Read again and freed again: nothing of the deep file ever reached the parser; the cut-short
    // recurrence of an unchanged file is not logged again.
    store->reload();
    EXPECT_TRUE(find(between(utc(2026, 3, 30, 9), utc(2026, 3, 31, 2)), "Design review"));
    EXPECT_EQ(countErrors("repeats too often"), 1u);
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
        writeFile(folders.evolution + "/system/calendar.ics",
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

}  // namespace
}  // namespace halvyn
