// The desktop program on real services under Xvfb: what a change in the service shows in the notch.
// The notch reports each painted frame with the notification it shows (HALVYN_FRAME_LOG).

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "linux/services.h"

namespace halvyn {
namespace {

using test::spinUntil;

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class DesktopServices : public ::testing::Test {
protected:
    void SetUp() override {
        if (!test::onPath("Xvfb") || !test::onPath("xwininfo")) GTEST_SKIP() << "Xvfb and xwininfo are needed";
        for (int n = 400 + ::getpid() % 100; n < 600 && display.empty(); ++n)
            if (!std::filesystem::exists("/tmp/.X11-unix/X" + std::to_string(n)) &&
                !std::filesystem::exists("/tmp/.X" + std::to_string(n) + "-lock"))
                display = ":" + std::to_string(n);
        ASSERT_FALSE(display.empty());
        xvfb = test::spawnWith({"Xvfb", display, "-screen", "0", "1280x800x24", "-nolisten", "tcp"}, {});
        ASSERT_TRUE(spinUntil(
            [&] { return test::output("xwininfo -display " + display + " -root 2>/dev/null").find("Width") != std::string::npos; },
            20000));
        dir = test::privateFolder("halvyn-desktop-services");
    }
    void TearDown() override {
        test::stop(app);
        test::stop(xvfb);
        if (!dir.empty()) std::filesystem::remove_all(dir);
    }

    void startApp(const std::vector<std::string>& env) {
        const char* lsan = std::getenv("HALVYN_LSAN_SUPPRESSIONS");
        std::vector<std::string> all = {"DISPLAY=" + display, "QT_QPA_PLATFORM=xcb", "XDG_CONFIG_HOME=" + dir.string(),
                                        "HALVYN_FRAME_LOG=1",
                                        std::string("LSAN_OPTIONS=suppressions=") + (lsan ? lsan : HALVYN_LSAN_FILE)};
        all.insert(all.end(), env.begin(), env.end());
        app = test::spawnWith({HALVYN_BINARY}, all, log().string());
        ASSERT_GT(app, 0);
        ASSERT_TRUE(spinUntil([&] { return readFile(log()).find("frame ") != std::string::npos; }, 30000))
            << readFile(log());
    }
    std::filesystem::path log() const { return dir / "halvyn.log"; }
    bool shows(const std::string& notification) const {
        return readFile(log()).find(" " + notification + "\n") != std::string::npos;
    }

    std::string display;
    std::filesystem::path dir;
    pid_t xvfb = -1, app = -1;
};

TEST_F(DesktopServices, PactlVolumeChangeShowsTheVolumeDisplay) {
    if (!test::PulseServer::available()) GTEST_SKIP() << "pulseaudio is needed";
    test::PulseServer pulse;
    ASSERT_TRUE(pulse.start());
    pulse.pactl("set-sink-volume one 50%");
    startApp(pulse.env());
    // Settled: no display yet.
    spinUntil([&] { return false; }, 1000);
    EXPECT_FALSE(shows("didChangeVolume")) << readFile(log());
    // A key step (+6 %) shows it.
    pulse.pactl("set-sink-volume one 56%");
    EXPECT_TRUE(spinUntil([&] { return shows("didChangeVolume"); }, 10000)) << readFile(log());
}

}  // namespace
}  // namespace halvyn
