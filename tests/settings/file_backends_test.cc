#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <random>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "runtime/virtual_time.h"
#include "settings/cloud_folder.h"
#include "settings/json_value.h"
#include "settings/key.h"
#include "settings/preferences_file.h"
#include "settings_fixture.h"

namespace halvyn {
namespace {

namespace fs = std::filesystem;

using testing::TempFolder;

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void spit(const fs::path& p, std::string_view text) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << text;
}

class FileBackends : public ::testing::Test {
protected:
    Logger logger() { return Logger(&logs, "com.halvyn.app", "Defaults"); }
    fs::path file() const { return dir.path() / "com.halvyn.app.json"; }

    TempFolder dir;
    CaptureLogSink logs;
    VirtualTime time;
};

TEST_F(FileBackends, ValuesSurviveARestartAndTheFileIsPlainJson) {
    {
        PreferencesFile prefs(file(), time, logger());
        EXPECT_FALSE(fs::exists(file())) << "nothing to save yet";
        prefs.registerDefault("hudSpeed", Value("fast"));
        prefs.set("hudSpeed", Value("smooth"));
        prefs.set("hudDuration", Value(0.1 + 0.2));  // full precision, not six decimals
        prefs.set("lockScreenWidgetOrder", Value(Value::Array{"weather", "battery"}));
        prefs.set("enableHaptics", Value(false));
        prefs.remove("enableHaptics");
    }
    auto doc = parseJson(slurp(file()));
    ASSERT_TRUE(doc && doc->isObject());
    EXPECT_EQ(doc->asObject().size(), 3u) << "registered defaults and removed objects are not saved";

    PreferencesFile again(file(), time, logger());
    EXPECT_EQ(again.stored("hudSpeed"), Value("smooth"));
    EXPECT_EQ(again.stored("hudDuration"), Value(0.1 + 0.2));
    EXPECT_EQ(again.stored("lockScreenWidgetOrder"), Value(Value::Array{"weather", "battery"}));
    EXPECT_FALSE(again.stored("enableHaptics").has_value());
    // No temporary files left behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

TEST_F(FileBackends, UnreadableFileIsMovedAsideNeverOverwritten) {
    const std::string garbage = "{\"hudSpeed\": \"smooth\", oops";
    spit(file(), garbage);
    {
        PreferencesFile prefs(file(), time, logger());
        EXPECT_FALSE(prefs.stored("hudSpeed").has_value()) << "defaults apply";
        EXPECT_EQ(slurp(dir.path() / "com.halvyn.app.json.unreadable"), garbage);
        prefs.set("enableHaptics", Value(false));
        EXPECT_TRUE(parseJson(slurp(file())).has_value());
    }
    // A second bad file does not replace the first one kept aside; valid JSON that is not an
    // object is as unreadable, and so is one nested too deeply to be recursed into.
    spit(file(), "[1, 2, 3]");
    {
        PreferencesFile prefs(file(), time, logger());
        EXPECT_EQ(slurp(dir.path() / "com.halvyn.app.json.unreadable"), garbage);
        EXPECT_EQ(slurp(dir.path() / "com.halvyn.app.json.unreadable-2"), "[1, 2, 3]");
    }
    const std::string deep = std::string(20000, '[') + std::string(20000, ']');
    EXPECT_FALSE(parseJson(deep).has_value());
    spit(file(), "{\"a\":" + deep + "}");
    PreferencesFile prefs(file(), time, logger());
    EXPECT_FALSE(prefs.stored("a").has_value());
    EXPECT_TRUE(fs::exists(dir.path() / "com.halvyn.app.json.unreadable-3"));
}

TEST_F(FileBackends, ExternalEditIsNoticedOnTheNextCheck) {
    PreferencesFile prefs(file(), time, logger(), seconds(1));
    prefs.set("hudSpeed", Value("smooth"));
    prefs.set("enableHaptics", Value(false));
    std::vector<std::string> changed;
    std::vector<Preferences::Origin> origins;
    auto sub = prefs.observe([&](const std::vector<std::string>& names, Preferences::Origin o) {
        changed.insert(changed.end(), names.begin(), names.end());
        origins.push_back(o);
    });

    // Our own writes are not external changes.
    time.advance(seconds(3));
    EXPECT_TRUE(changed.empty());

    // Another process replaces the file: one key changed, one removed, one added. The next check
    // sees it, and it is read once it has settled.
    ASSERT_TRUE(writeFileAtomically(file(), R"({"hudSpeed":"instant","hudDuration":2})").ok);
    time.advance(seconds(1));
    EXPECT_TRUE(changed.empty());
    time.advance(PreferencesFile::kSettleTime);
    std::sort(changed.begin(), changed.end());
    EXPECT_EQ(changed, (std::vector<std::string>{"enableHaptics", "hudDuration", "hudSpeed"}));
    ASSERT_EQ(origins.size(), 1u);
    EXPECT_EQ(origins[0], Preferences::Origin::external);
    EXPECT_EQ(prefs.stored("hudSpeed"), Value("instant"));
    EXPECT_FALSE(prefs.stored("enableHaptics").has_value());
}

// A writer that cannot finish its write (the file-size limit stops it half way, as a full disk
// would) and then dies leaves the previous file whole.
TEST_F(FileBackends, WriterStoppedHalfWayLeavesThePreviousFile) {
    const std::string a(1 << 16, 'a');
    {
        PreferencesFile prefs(file(), time, logger());
        prefs.set("big", Value(a));
    }
    const std::string before = slurp(file());
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit {};
        limit.rlim_cur = limit.rlim_max = 1 << 17;
        ::setrlimit(RLIMIT_FSIZE, &limit);
        VirtualTime t;
        PreferencesFile prefs(file(), t, Logger(nullptr, "", ""));
        prefs.set("big", Value(std::string(1 << 18, 'b')));
        ::kill(::getpid(), SIGKILL);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(slurp(file()), before);
}

TEST_F(FileBackends, TwoFolderStoresBehaveLikeTwoMachines) {
    FolderCloudStore a(dir.path() / "sync", time, logger(), seconds(2));
    FolderCloudStore b(dir.path() / "sync", time, logger(), seconds(2));
    std::vector<std::string> seenA, seenB;
    auto subA = a.observeExternalChanges([&](const auto& n) { seenA.insert(seenA.end(), n.begin(), n.end()); });
    auto subB = b.observeExternalChanges([&](const auto& n) { seenB.insert(seenB.end(), n.begin(), n.end()); });

    const WallTime t1 = WallTime(std::chrono::microseconds(1767603600123456));
    a.set("hudSpeed", CloudEntry{Value("smooth"), t1});
    time.advance(seconds(2));
    EXPECT_TRUE(seenA.empty()) << "a store's own write reported as external";
    EXPECT_EQ(seenB, std::vector<std::string>{"hudSpeed"});
    EXPECT_EQ(b.get("hudSpeed"), (CloudEntry{Value("smooth"), t1})) << "time stamp lost precision";

    // A removal on one machine, an entry without value, odd names.
    b.set("odd/name..", CloudEntry{std::nullopt, t1});
    b.remove("hudSpeed");
    a.synchronize();
    time.runCurrent();
    std::sort(seenA.begin(), seenA.end());
    EXPECT_EQ(seenA, (std::vector<std::string>{"hudSpeed", "odd/name.."}));
    EXPECT_FALSE(a.get("hudSpeed").has_value());
    EXPECT_EQ(a.get("odd/name.."), (CloudEntry{std::nullopt, t1}));
    EXPECT_EQ(a.fileOf("odd/name..").parent_path(), dir.path() / "sync");

    // A malformed entry reads as none; files the store did not write are ignored.
    spit(a.fileOf("enableHaptics"), "{\"value\": true}");
    spit(dir.path() / "sync" / "notes.txt", "hello");
    EXPECT_FALSE(a.get("enableHaptics").has_value());
    seenB.clear();
    b.checkForExternalChanges();
    EXPECT_EQ(seenB, std::vector<std::string>{"enableHaptics"});
}

// What sits where the settings file should be is no regular file, or is far too large: start-up
// neither blocks nor reads it, keeps it aside and carries on saving.
TEST_F(FileBackends, FifoDeviceOrHugeFileIsKeptAsideWithoutBlocking) {
    const fs::path aside = dir.path() / "com.halvyn.app.json.unreadable";
    struct Case {
        const char* what;
        std::function<void()> make;
    } cases[] = {
        {"fifo", [&] { ASSERT_EQ(::mkfifo(file().c_str(), 0600), 0); }},
        {"link to /dev/zero", [&] { fs::create_symlink("/dev/zero", file()); }},
        {"sparse 16 MiB + 1", [&] {
             spit(file(), "{}");
             fs::resize_file(file(), kMaxSettingsFileBytes + 1);
         }},
    };
    for (auto& c : cases) {
        fs::remove(aside);
        c.make();
        PreferencesFile prefs(file(), time, logger());
        EXPECT_TRUE(prefs.contents().empty()) << c.what;
        EXPECT_TRUE(fs::exists(fs::symlink_status(aside))) << c.what;
        prefs.set("hudSpeed", Value("smooth"));
        ASSERT_TRUE(fs::is_regular_file(fs::symlink_status(file()))) << c.what;
        EXPECT_EQ(parseJson(slurp(file())), Value(Value::Object{{"hudSpeed", "smooth"}})) << c.what;
        fs::remove(file());
    }
    // Exactly at the limit is still read.
    spit(file(), "{\"a\":1}");
    ReadStatus status;
    EXPECT_EQ(readFile(file(), &status, 7), "{\"a\":1}");
    EXPECT_FALSE(readFile(file(), &status, 6));
    EXPECT_EQ(status, ReadStatus::tooLarge);
}

// A settings file kept elsewhere behind a link (dotfiles) stays a link; saving replaces the
// target, atomically beside it.
TEST_F(FileBackends, SavingWritesThroughALinkToItsTarget) {
    fs::create_directories(dir.path() / "dotfiles");
    const fs::path target = dir.path() / "dotfiles" / "halvyn.json";
    spit(target, R"({"hudSpeed":"instant"})");
    fs::create_symlink("dotfiles/halvyn.json", file());
    {
        PreferencesFile prefs(file(), time, logger());
        EXPECT_EQ(prefs.stored("hudSpeed"), Value("instant"));
        prefs.set("hudSpeed", Value("smooth"));
        // Its own write is not an external change.
        std::vector<std::string> changed;
        auto sub = prefs.observe([&](const auto& names, Preferences::Origin) { changed = names; });
        prefs.fileChanged();
        time.advance(seconds(2));
        EXPECT_TRUE(changed.empty());
    }
    EXPECT_TRUE(fs::is_symlink(file()));
    EXPECT_EQ(parseJson(slurp(target)), Value(Value::Object{{"hudSpeed", "smooth"}}));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path() / "dotfiles"), fs::directory_iterator()), 1);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);
}

TEST_F(FileBackends, StaleTemporariesGoAtStartOnesBeingWrittenStay) {
    const fs::path stale = dir.path() / "com.halvyn.app.json.tmp-a1B2c3";
    const fs::path live = dir.path() / "com.halvyn.app.json.tmp-z9Y8x7";
    const fs::path others[] = {dir.path() / "other.json.tmp-a1B2c3", dir.path() / "com.halvyn.app.json.tmp-toolong"};
    for (auto& p : {stale, live, others[0], others[1]}) spit(p, "{\"half");
    // A writer still at work holds its temporary locked.
    const int held = ::open(live.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    {
        PreferencesFile prefs(file(), time, logger());
        EXPECT_FALSE(fs::exists(stale));
        EXPECT_TRUE(fs::exists(live));
        EXPECT_TRUE(fs::exists(others[0]) && fs::exists(others[1]));
    }
    ::close(held);
    FolderCloudStore cloud(dir.path(), time, logger());
    EXPECT_FALSE(fs::exists(live));
    EXPECT_FALSE(fs::exists(others[0])) << "a synced value's temporary";
    EXPECT_TRUE(fs::exists(others[1]));
}

// Every new unreadable version is kept, but only the newest few; saving goes on regardless.
TEST_F(FileBackends, SetAsideCopiesAreBoundedAndSavingNeverStops) {
    PreferencesFile prefs(file(), time, logger());
    for (int i = 1; i <= 12; ++i) {
        spit(file(), "garbage " + std::to_string(i));
        prefs.fileChanged();
        time.advance(PreferencesFile::kSettleTime + PreferencesFile::kRetryTime + PreferencesFile::kResaveQuietTime);
        ASSERT_EQ(prefs.saveProblem(), "") << i;
        EXPECT_TRUE(parseJsonObject(slurp(file()))) << "saved again after garbage " << i;
    }
    std::vector<std::string> kept;
    for (auto& e : fs::directory_iterator(dir.path()))
        if (e.path().filename() != file().filename()) kept.push_back(slurp(e.path()));
    std::sort(kept.begin(), kept.end());
    EXPECT_EQ(kept, (std::vector<std::string>{"garbage 10", "garbage 11", "garbage 12", "garbage 8", "garbage 9"}));
}

// A key's file that does not parse may be a newer value still arriving: never overwritten, and
// the other keys go on syncing. One that is no regular file is kept aside and replaced.
TEST_F(FileBackends, MalformedCloudFileIsLeftUntilItChanges) {
    FolderCloudStore store(dir.path() / "sync", time, logger());
    const WallTime t1 = WallTime(std::chrono::seconds(1767603600));
    spit(store.fileOf("hudSpeed"), "{\"time\": 17676036");
    store.set("hudSpeed", CloudEntry{Value("smooth"), t1});
    store.set("hudDuration", CloudEntry{Value(2.0), t1});
    EXPECT_EQ(slurp(store.fileOf("hudSpeed")), "{\"time\": 17676036");
    EXPECT_EQ(store.get("hudDuration"), (CloudEntry{Value(2.0), t1}));

    std::vector<std::string> seen;
    auto sub = store.observeExternalChanges([&](const auto& n) { seen.insert(seen.end(), n.begin(), n.end()); });
    spit(store.fileOf("hudSpeed"), "{\"time\": 1767603601, \"value\": \"fast\"}");
    store.checkForExternalChanges();
    EXPECT_EQ(seen, std::vector<std::string>{"hudSpeed"}) << "the completed file is compared anew";
    EXPECT_EQ(store.get("hudSpeed"), (CloudEntry{Value("fast"), t1 + std::chrono::seconds(1)}));

    fs::remove(store.fileOf("enableHaptics"));
    ASSERT_EQ(::mkfifo(store.fileOf("enableHaptics").c_str(), 0600), 0);
    EXPECT_FALSE(store.get("enableHaptics").has_value()) << "and did not block";
    store.set("enableHaptics", CloudEntry{Value(false), t1});
    EXPECT_EQ(store.get("enableHaptics"), (CloudEntry{Value(false), t1}));
    EXPECT_TRUE(fs::is_fifo(store.fileOf("enableHaptics").string() + ".unreadable"));
}

// A writer killed at random moments, a hundred times: the file always parses and holds the
// value of the last save that finished or of the one under way; the next start leaves no
// temporaries. Saves are counted through a pipe, so the kills land without any waiting.
TEST_F(FileBackends, HundredKillsNeverTearTheFileNorLeaveTemporaries) {
    std::mt19937 random(16);
    long saved = 0;
    for (int round = 0; round < 100; ++round) {
        int progress[2];
        ASSERT_EQ(::pipe(progress), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(progress[0]);
            VirtualTime t;
            PreferencesFile prefs(file(), t, Logger(nullptr, "", ""));
            for (long i = saved + 1;; ++i) {
                prefs.set("counter", Value(i));
                const char c = 1;
                if (::write(progress[1], &c, 1) != 1) ::_exit(3);
            }
        }
        ::close(progress[1]);
        const int wait = std::uniform_int_distribution<int>(1, 3)(random);
        char c;
        for (int i = 0; i < wait; ++i) ASSERT_EQ(::read(progress[0], &c, 1), 1);
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status));
        long finished = wait;
        while (::read(progress[0], &c, 1) == 1) ++finished;
        ::close(progress[0]);

        auto doc = parseJsonObject(slurp(file()));
        ASSERT_TRUE(doc) << "round " << round;
        const Value* counter = doc->find("counter");
        ASSERT_TRUE(counter && counter->isNumber()) << "round " << round;
        const long value = static_cast<long>(counter->asNumber());
        ASSERT_TRUE(value == saved + finished || value == saved + finished + 1)
            << "round " << round << ": " << value << " after " << saved + finished;
        saved = value;

        PreferencesFile next(file(), time, logger());
        EXPECT_EQ(next.stored("counter"), Value(saved));
        for (auto& e : fs::directory_iterator(dir.path()))
            ASSERT_EQ(e.path().filename(), file().filename()) << "round " << round;
    }
}

// A writer that writes the file in place, slowly and in pieces (as `printf … > file` and many
// editors do): what it leaves in the end is read; nothing half-written is read, set aside or
// written over. Pieces come 0.2 s apart (inside the quiet period) and 0.5 s apart (past it, but
// within the second look).
TEST_F(FileBackends, FileWrittenInPiecesIsReadOnceTheWriterIsDone) {
    PreferencesFile prefs(file(), time, logger(), seconds(1));
    prefs.set("swipeToSkip", Value(false));
    std::vector<Value> seen;
    auto sub = prefs.observe([&](const auto&, Preferences::Origin) { seen.push_back(prefs.get("hudSpeed").value_or(Value())); });
    const std::string edit = R"({"swipeToSkip": false, "hudSpeed": "instant", "isFirstLaunch": false})";
    for (Duration gap : {Duration(std::chrono::milliseconds(200)), Duration(std::chrono::milliseconds(500))}) {
        SCOPED_TRACE(gap.count());
        prefs.set("hudSpeed", Value("smooth"));
        seen.clear();
        std::ofstream out(file(), std::ios::binary | std::ios::trunc);  // emptied first, as `>` does
        prefs.fileChanged();
        for (std::size_t at = 0; at < edit.size(); at += 16) {
            time.advance(gap);
            out << edit.substr(at, 16) << std::flush;
            prefs.fileChanged();
        }
        out.close();
        time.advance(PreferencesFile::kSettleTime + PreferencesFile::kRetryTime);
        EXPECT_EQ(seen, std::vector<Value>{Value("instant")});
        EXPECT_EQ(slurp(file()), edit) << "written over";
        EXPECT_FALSE(fs::exists(dir.path() / "com.halvyn.app.json.unreadable"));
    }
}

// What is still unreadable after the second look is kept, but the settings in use go over it only
// with the next change of a setting or after a long quiet spell, never while a writer may still
// be at it.
TEST_F(FileBackends, UnreadableEditIsSavedOverOnlyAfterAQuietSpellOrTheNextChange) {
    const fs::path aside = dir.path() / "com.halvyn.app.json.unreadable";
    PreferencesFile prefs(file(), time, logger(), seconds(1));
    prefs.set("swipeToSkip", Value(false));
    // A writer that stops half way and comes back every few seconds.
    {
        std::ofstream out(file(), std::ios::binary | std::ios::trunc);
        for (int i = 0; i < 4; ++i) {
            out << "{\"hudSpeed\": " << std::flush;
            prefs.fileChanged();
            time.advance(PreferencesFile::kResaveQuietTime - seconds(1));
            ASSERT_FALSE(fs::exists(aside)) << i;
            EXPECT_EQ(prefs.stored("swipeToSkip"), Value(false));
        }
    }
    time.advance(seconds(3));
    std::string written;
    for (int i = 0; i < 4; ++i) written += "{\"hudSpeed\": ";
    EXPECT_EQ(slurp(aside), written);
    EXPECT_EQ(parseJson(slurp(file())), Value(Value::Object{{"swipeToSkip", false}}));

    // Again, and this time a change of a setting comes first: saved at once, the garbage kept.
    spit(file(), "{oops");
    prefs.fileChanged();
    time.advance(PreferencesFile::kSettleTime + PreferencesFile::kRetryTime);
    EXPECT_EQ(slurp(file()), "{oops");
    prefs.set("hudSpeed", Value("fast"));
    EXPECT_EQ(slurp(dir.path() / "com.halvyn.app.json.unreadable-2"), "{oops");
    EXPECT_EQ(parseJson(slurp(file())), Value(Value::Object{{"hudSpeed", "fast"}, {"swipeToSkip", false}}));
}

// A change of a setting made while an edit of the file is being read is saved on top of it.
TEST_F(FileBackends, ChangeMadeWhileAnEditSettlesGoesOnTopOfIt) {
    PreferencesFile prefs(file(), time, logger(), seconds(1));
    prefs.set("swipeToSkip", Value(false));
    spit(file(), R"({"swipeToSkip": false, "hudSpeed": "instant", "hudDuration": 2})");
    prefs.fileChanged();
    prefs.set("hudDuration", Value(3.0));
    EXPECT_EQ(slurp(file()), R"({"swipeToSkip": false, "hudSpeed": "instant", "hudDuration": 2})") << "not yet";
    time.advance(PreferencesFile::kSettleTime);
    EXPECT_EQ(parseJson(slurp(file())),
              Value(Value::Object{{"hudDuration", 3.0}, {"hudSpeed", "instant"}, {"swipeToSkip", false}}));
}

// The settings folder removed while running is no request for defaults: the settings in use stay
// (nothing is reported as changed), and the next save brings the folder back with all of them.
TEST_F(FileBackends, RemovedFolderKeepsTheSettingsAndTheNextSaveWritesThemAll) {
    const fs::path folder = dir.path() / "halvyn";
    const fs::path path = folder / "preferences.json";
    PreferencesFile prefs(path, time, logger(), seconds(1));
    prefs.set("swipeToSkip", Value(false));
    prefs.set("isFirstLaunch", Value(false));
    std::vector<std::string> changed;
    auto sub = prefs.observe([&](const auto& names, Preferences::Origin) { changed.insert(changed.end(), names.begin(), names.end()); });
    fs::remove_all(folder);
    prefs.fileChanged();
    time.advance(seconds(5));
    EXPECT_TRUE(changed.empty());
    EXPECT_EQ(prefs.stored("swipeToSkip"), Value(false));
    EXPECT_EQ(prefs.stored("isFirstLaunch"), Value(false));
    prefs.set("hudSpeed", Value("fast"));
    EXPECT_EQ(prefs.saveProblem(), "");
    EXPECT_EQ(parseJson(slurp(path)),
              Value(Value::Object{{"hudSpeed", "fast"}, {"isFirstLaunch", false}, {"swipeToSkip", false}}));
}

// A mount made for one test at `at`, undone after it; error() says why there is none.
class ScopedMount {
public:
    ScopedMount(fs::path at, const std::function<bool()>& mount) : at_(std::move(at)) {
        if (!mount()) error_ = std::strerror(errno);
    }
    ~ScopedMount() {
        if (error_.empty()) ::umount2(at_.c_str(), MNT_DETACH);
    }
    const std::string& error() const { return error_; }

private:
    fs::path at_;
    std::string error_;
};

// Fills the file system of `folder` to the last byte.
void fill(const fs::path& folder) {
    const int fd = ::open((folder / "filler").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const std::string block(4096, 'x');
    while (fd >= 0 && ::write(fd, block.data(), block.size()) > 0) {
    }
    const std::string byte(1, 'x');
    while (fd >= 0 && ::write(fd, byte.data(), 1) > 0) {
    }
    if (fd >= 0) ::close(fd);
}

// A save that fails on a full disk is said (the save problem, its observers, the log), retried on
// a back-off of 2, 4, 8 … s and with the next change; the first save that works writes the whole
// set and clears the problem.
TEST_F(FileBackends, SavesOnAFullDiskAreReportedAndRetriedUntilOneWorks) {
    const fs::path disk = dir.path() / "disk";
    fs::create_directories(disk);
    ScopedMount mount(disk, [&] { return ::mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=64k") == 0; });
    if (!mount.error().empty()) GTEST_SKIP() << "cannot mount a small tmpfs here: " << mount.error();
    const fs::path path = disk / "preferences.json";
    PreferencesFile prefs(path, time, logger());
    prefs.set("isFirstLaunch", Value(false));
    int told = 0;
    auto sub = prefs.observeSaveProblem([&] { ++told; });
    auto attempts = [&] {
        return std::count_if(logs.lines.begin(), logs.lines.end(),
                             [](const auto& l) { return l.message.find("Cannot save settings") != std::string::npos; });
    };

    fill(disk);
    prefs.set("swipeToSkip", Value(false));
    EXPECT_EQ(prefs.saveProblem(), "No space left on device (" + path.string() + ")");
    EXPECT_EQ(told, 0) << "told on the main queue";
    time.runCurrent();
    EXPECT_EQ(told, 1);
    for (auto [wait, total] : {std::pair(2, 2), std::pair(4, 3), std::pair(8, 4)}) {
        time.advance(seconds(wait) - std::chrono::milliseconds(1));
        EXPECT_EQ(attempts(), total - 1) << wait;
        time.advance(std::chrono::milliseconds(1));
        EXPECT_EQ(attempts(), total) << wait;
    }
    EXPECT_EQ(told, 1) << "the same problem is told once";
    EXPECT_EQ(parseJson(slurp(path)), Value(Value::Object{{"isFirstLaunch", false}})) << "the last good save stays";

    fs::remove(disk / "filler");
    time.advance(seconds(16));
    EXPECT_EQ(prefs.saveProblem(), "");
    EXPECT_EQ(told, 2);
    EXPECT_EQ(parseJson(slurp(path)), Value(Value::Object{{"isFirstLaunch", false}, {"swipeToSkip", false}}));

    // Full again, then room before the back-off comes round: the next change saves at once.
    fill(disk);
    prefs.set("hudSpeed", Value("fast"));
    time.runCurrent();
    EXPECT_EQ(told, 3);
    fs::remove(disk / "filler");
    prefs.set("hudDuration", Value(2.0));
    time.runCurrent();
    EXPECT_EQ(told, 4);
    EXPECT_EQ(prefs.saveProblem(), "");
    EXPECT_EQ(parseJson(slurp(path))->asObject().size(), 4u);
}

// The same on a read-only mount: the reason is said, and saving resumes once it is writable.
TEST_F(FileBackends, SavesOnAReadOnlyMountAreReportedAndResumeWhenItIsWritable) {
    const fs::path folder = dir.path() / "config";
    fs::create_directories(folder);
    const fs::path path = folder / "preferences.json";
    PreferencesFile prefs(path, time, logger());
    prefs.set("isFirstLaunch", Value(false));
    {
        // Bound onto itself, then made read-only.
        ScopedMount mount(folder, [&] {
            if (::mount(folder.c_str(), folder.c_str(), nullptr, MS_BIND, nullptr) != 0) return false;
            if (::mount(nullptr, folder.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) == 0) return true;
            const int why = errno;
            ::umount2(folder.c_str(), MNT_DETACH);
            errno = why;
            return false;
        });
        if (!mount.error().empty()) GTEST_SKIP() << "cannot make a read-only bind mount here: " << mount.error();
        prefs.set("swipeToSkip", Value(false));
        EXPECT_EQ(prefs.saveProblem(), "Read-only file system (" + path.string() + ")");
        time.advance(seconds(3));  // the retry at 2 s fails too; the next comes at 6 s
        EXPECT_NE(prefs.saveProblem(), "");
    }
    time.advance(seconds(3));
    EXPECT_EQ(prefs.saveProblem(), "");
    EXPECT_EQ(parseJson(slurp(path)), Value(Value::Object{{"isFirstLaunch", false}, {"swipeToSkip", false}}));
}

}  // namespace
}  // namespace halvyn
