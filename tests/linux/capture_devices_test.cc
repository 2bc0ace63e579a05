// Who records: the readers of stream properties and process entries, and the camera watcher
// against a folder of device-like files (no V4L2 loopback device here) opened by a child process.

#include <gtest/gtest.h>

#include <fstream>
#include <memory>

#include "linux/services.h"
#include "platform/linux/capture_names.h"
#include "platform/linux/linux_capture_devices.h"
#include "runtime/logger.h"
#include "shell/real_time.h"

namespace halvyn {
namespace {

using test::spinUntil;

TEST(CaptureNames, BoundAndCleanWhatOtherProgramsSay) {
    EXPECT_EQ(captureApplicationName("  Fire\tfox\n "), "Fire fox");
    // Invalid UTF-8, controls and direction overrides go; real characters stay whole.
    EXPECT_EQ(captureApplicationName("a\x01\xC0\xAF\xED\xA0\x80\xE2\x80\xAE" "b \xF0\x9F\x8E\xA4"), "ab \xF0\x9F\x8E\xA4");
    const std::string accents(300, 'x');
    EXPECT_EQ(captureApplicationName(accents).size(), kMaxApplicationNameBytes);
    std::string e;
    for (int i = 0; i < 40; ++i) e += "\xC3\xA9";
    EXPECT_EQ(captureApplicationName(e).size(), kMaxApplicationNameBytes) << "cut at a character's start";
    EXPECT_EQ(captureApplicationName(" \x7F\t"), "");

    EXPECT_EQ(processId("4242"), 4242);
    for (const char* bad : {"", "0", "-1", "12a", "2147483648", "99999999999"}) EXPECT_EQ(processId(bad), std::nullopt) << bad;
    EXPECT_TRUE(isVideoDeviceName("video0") && isVideoDeviceName("video255"));
    for (const char* bad : {"video", "video256", "video01", "videox", "vbi0", "video-1"}) EXPECT_FALSE(isVideoDeviceName(bad)) << bad;

    EXPECT_FALSE(isPulseLevelMeter({"copy", "", "", false}));
    EXPECT_TRUE(isPulseLevelMeter({"peaks", "", "", false}));
    EXPECT_TRUE(isPulseLevelMeter({"", "true", "", false}));
    EXPECT_TRUE(isPulseLevelMeter({"", "", "peak", false}));
    EXPECT_TRUE(isPulseLevelMeter({"", "", "", true}));
}

class Cameras : public ::testing::Test {
protected:
    void SetUp() override {
        time = std::make_unique<RealTime>(1);
        std::ofstream(dir / "video0") << "";
        std::ofstream(dir / "audio0") << "";
    }
    void TearDown() override {
        for (pid_t& p : children) test::stop(p);
        watcher.reset();
        time.reset();
        std::filesystem::remove_all(dir);
    }
    void make() {
        watcher = std::make_unique<CameraWatcher>(time->main(), Logger(&logs, "com.halvyn.app", "Cameras"), dir);
        sub = watcher->onChanged([this](bool first) { heard.push_back(first); });
    }
    // A process that holds `name` open (as a camera application would) until it is stopped.
    pid_t holdOpen(const std::string& name) {
        children.push_back(test::spawnWith({"sh", "-c", "exec sleep 60 3<\"$0\"", (dir / name).string()}, {}));
        return children.back();
    }
    std::vector<std::int64_t> pids() const {
        std::vector<std::int64_t> out;
        for (const auto& u : watcher->uses()) out.push_back(u.pid);
        return out;
    }

    const std::filesystem::path dir = test::privateFolder("halvyn-cameras");
    CaptureLogSink logs;
    std::unique_ptr<RealTime> time;
    std::unique_ptr<CameraWatcher> watcher;
    Subscription sub;
    std::vector<bool> heard;
    std::vector<pid_t> children;
};

TEST_F(Cameras, FindsWhoOpensANodeAndFollowsNodesComingAndGoing) {
    const pid_t early = holdOpen("video0");
    ASSERT_TRUE(spinUntil([&] { return std::filesystem::exists("/proc/" + std::to_string(early) + "/fd/3"); }));
    make();
    ASSERT_TRUE(watcher->isWatching());
    // Its thread goes by its own name among the program's.
    bool named = false;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::string name;
        std::getline(std::ifstream(task.path() / "comm"), name);
        named = named || name == "halvyn-cameras";
    }
    EXPECT_TRUE(named);
    // Open before the watcher started: its first search, told as such.
    ASSERT_TRUE(spinUntil([&] { return heard.size() == 1; }));
    EXPECT_TRUE(heard[0]);
    EXPECT_EQ(pids(), std::vector<std::int64_t>{early});
    EXPECT_EQ(watcher->uses()[0].application, "sleep");
    EXPECT_FALSE(watcher->uses()[0].isOwn);

    // A node plugged in later is watched; a file that is no video node is not.
    std::ofstream(dir / "video1") << "";
    const pid_t late = holdOpen("video1");
    holdOpen("audio0");
    ASSERT_TRUE(spinUntil([&] { return heard.size() >= 2 && watcher->uses().size() == 2; }));
    EXPECT_FALSE(heard.back());

    test::stop(children[0]);
    ASSERT_TRUE(spinUntil([&] { return pids() == std::vector<std::int64_t>{late}; }));
    std::filesystem::remove(dir / "video1");
    ASSERT_TRUE(spinUntil([&] { return watcher->uses().empty(); }));
}

TEST_F(Cameras, MissingFolderLeavesTheCameraQuiet) {
    std::filesystem::remove_all(dir);
    make();
    EXPECT_FALSE(watcher->isWatching());
    EXPECT_TRUE(watcher->uses().empty());
    EXPECT_EQ(logs.lines.size(), 1u);
}

}  // namespace
}  // namespace halvyn
