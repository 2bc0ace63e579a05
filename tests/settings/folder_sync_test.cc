// Settings synced through a chosen folder: two machines (two preferences domains on their own
// clocks) share one folder; changes arrive when the folder's watch tells, or at the latest at the
// slow rescan; concurrent changes resolve last-writer-wins per key; a folder chosen or cleared
// takes effect at once.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "settings/chosen_folder_store.h"
#include "settings/cloud_folder.h"
#include "settings/icloud_synchronizer.h"
#include "settings/keys.h"
#include "settings_fixture.h"

namespace halvyn {
namespace {

using testing::TempFolder;
using testing::testStart;

const Duration kRescan = seconds(60);

class FolderPlatform final : public Platform {
public:
    FolderPlatform(MainQueue& main, LogSink* log) : store(main, Logger(log, "com.halvyn.app", "Defaults"), kRescan) {}
    Preferences* preferences() override { return &prefs; }
    CloudStore* cloudStore() override { return &store; }
    SimPreferences prefs;
    ChosenFolderCloudStore store;
};

// One machine: its own clock, preferences and store, synchronising from start-up.
struct Machine {
    Machine() {
        auto vt = std::make_unique<VirtualTime>(testStart());
        time = vt.get();
        auto p = std::make_unique<FolderPlatform>(*time, &logs);
        platform = p.get();
        ctx = std::make_unique<Context>(std::move(vt), std::move(p), &logs);
        defaults().startCloudSynchronization();
        time->runCurrent();
    }
    Defaults& defaults() { return ctx->defaults(); }
    ChosenFolderCloudStore& store() { return platform->store; }
    void choose(const std::filesystem::path& folder) {
        store().setFolder(folder);
        time->runCurrent();
    }
    // What the folder's watch does when a file in it changes.
    void folderEvent() {
        store().folderChanged();
        time->runCurrent();
    }

    CaptureLogSink logs;
    VirtualTime* time;
    FolderPlatform* platform;
    std::unique_ptr<Context> ctx;
};

class FolderSync : public ::testing::Test {
protected:
    // Both clocks move together, as two machines' clocks do.
    void advance(double s) {
        a.time->advance(seconds(s));
        b.time->advance(seconds(s));
    }
    std::filesystem::path folder() const { return dir.path() / "Sync" / "halvyn"; }

    TempFolder dir;
    Machine a, b;
};

TEST_F(FolderSync, NothingIsSyncedUntilAFolderIsChosen) {
    EXPECT_FALSE(a.store().available());
    EXPECT_TRUE(a.defaults().synchronizer()->keys().empty());
    a.defaults().set(keys::hudSpeed, HUDSpeed::smooth);
    a.time->runCurrent();
    EXPECT_FALSE(a.store().get("hudSpeed"));

    // Chosen: the keys are compared at once; the change made before goes out (it has a stamp).
    a.choose(folder());
    EXPECT_EQ(a.defaults().synchronizer()->keys().size(), synchronizedKeyNames().size());
    ASSERT_TRUE(a.store().get("hudSpeed"));
    EXPECT_EQ(a.store().get("hudSpeed")->value, Value("smooth"));
    // The folder's own path stays on this machine.
    a.defaults().set(keys::syncFolder, folder().string());
    a.time->runCurrent();
    EXPECT_FALSE(std::filesystem::exists(a.store().folder() / "syncFolder.json"));
}

TEST_F(FolderSync, AChangeArrivesOnTheFolderEventOrAtTheLatestAtTheRescan) {
    a.choose(folder());
    b.choose(folder());
    advance(5);
    a.defaults().set(keys::hudSpeed, HUDSpeed::smooth);
    a.time->runCurrent();
    b.folderEvent();
    EXPECT_EQ(b.defaults().get(keys::hudSpeed), HUDSpeed::smooth);

    // Without an event (a network folder), the rescan brings it within its interval.
    advance(1);
    a.defaults().set(keys::enableHaptics, false);
    a.time->runCurrent();
    b.time->runCurrent();
    EXPECT_TRUE(b.defaults().get(keys::enableHaptics)) << "no event: not before the rescan";
    b.time->advance(kRescan);
    EXPECT_FALSE(b.defaults().get(keys::enableHaptics));
}

TEST_F(FolderSync, ConcurrentChangesResolveLastWriterWinsPerKey) {
    a.choose(folder());
    b.choose(folder());
    // Neither sees the other's change before making its own.
    advance(10);
    a.defaults().set(keys::hudSpeed, HUDSpeed::smooth);
    b.defaults().set(keys::hudDuration, 4.0);
    advance(1);
    b.defaults().set(keys::hudSpeed, HUDSpeed::instant);
    a.defaults().set(keys::hudDuration, 2.0);
    a.time->runCurrent();
    b.time->runCurrent();
    a.folderEvent();
    b.folderEvent();
    for (Machine* m : {&a, &b}) {
        EXPECT_EQ(m->defaults().get(keys::hudSpeed), HUDSpeed::instant);
        EXPECT_EQ(m->defaults().get(keys::hudDuration), 2.0);
    }
}

TEST_F(FolderSync, AnotherFolderOrNoneTakesEffectAtOnce) {
    a.choose(folder());
    advance(5);
    a.defaults().set(keys::hudSpeed, HUDSpeed::smooth);
    a.time->runCurrent();

    // B joins later: what the folder holds, newer than B's unstamped values, comes in at once.
    b.choose(folder());
    EXPECT_EQ(b.defaults().get(keys::hudSpeed), HUDSpeed::smooth);

    // Cleared: B's changes stay on B.
    b.choose({});
    advance(1);
    b.defaults().set(keys::hudSpeed, HUDSpeed::instant);
    b.time->runCurrent();
    a.folderEvent();
    EXPECT_EQ(a.defaults().get(keys::hudSpeed), HUDSpeed::smooth);
    EXPECT_EQ(a.store().get("hudSpeed")->value, Value("smooth"));

    // A relative path is refused rather than read against whatever the working folder is.
    b.choose("relative/folder");
    EXPECT_FALSE(b.store().available());
    EXPECT_TRUE(b.logs.contains("The sync folder relative/folder is not an absolute path; settings are not synced"));
}

}  // namespace
}  // namespace halvyn
