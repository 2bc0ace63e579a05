// The desktop program on a real X server (Xvfb): its notch window appears at the top centre of
// the screen with the panel's size, and it quits cleanly when asked to.

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "shell/event_loop.h"

extern char** environ;

namespace halvyn {
namespace {

bool onPath(const std::string& tool) { return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0; }

// Starts `args` (through env(1), so `env` settings come first) with standard output and error
// discarded when `quiet`.
pid_t spawn(std::vector<std::string> args, const std::vector<std::string>& env, bool quiet) {
    args.insert(args.begin(), env.begin(), env.end());
    args.insert(args.begin(), "env");
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (quiet) {
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    }
    pid_t pid = -1;
    if (posix_spawnp(&pid, "env", &actions, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

std::string run(const std::string& command) {
    std::string out;
    if (FILE* f = ::popen(command.c_str(), "r")) {
        char buf[4096];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
        ::pclose(f);
    }
    return out;
}

std::optional<int> waitExit(pid_t pid, int limitMs) {
    int status = 0;
    std::optional<int> result;
    test::spinUntil(
        [&] {
            const pid_t r = ::waitpid(pid, &status, WNOHANG);
            if (r == pid) result = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            return r == pid || r < 0;
        },
        limitMs);
    return result;
}

class DesktopProgram : public ::testing::Test {
protected:
    void SetUp() override {
        if (!onPath("Xvfb") || !onPath("xwininfo")) GTEST_SKIP() << "Xvfb and xwininfo are needed (scripts/test installs them)";
        for (int n = 90 + ::getpid() % 100; n < 400; ++n) {
            if (!std::filesystem::exists("/tmp/.X11-unix/X" + std::to_string(n)) &&
                !std::filesystem::exists("/tmp/.X" + std::to_string(n) + "-lock")) {
                display = ":" + std::to_string(n);
                break;
            }
        }
        ASSERT_FALSE(display.empty());
        xvfb = spawn({"Xvfb", display, "-screen", "0", "1280x800x24", "-nolisten", "tcp"}, {}, true);
        ASSERT_GT(xvfb, 0);
        const std::string socket = "/tmp/.X11-unix/X" + display.substr(1);
        // Ready once it answers, not merely once its socket exists.
        ASSERT_TRUE(test::spinUntil(
            [&] {
                return std::filesystem::exists(socket) &&
                       run("xwininfo -display " + display + " -root 2>/dev/null").find("Width") != std::string::npos;
            },
            20000))
            << "Xvfb did not start";
        config = std::filesystem::temp_directory_path() / ("halvyn-xvfb-" + std::to_string(::getpid()));
        std::filesystem::create_directories(config);
    }

    void TearDown() override {
        if (app > 0) {
            ::kill(app, SIGKILL);
            ::waitpid(app, nullptr, 0);
        }
        if (xvfb > 0) {
            ::kill(xvfb, SIGTERM);
            ::waitpid(xvfb, nullptr, 0);
        }
        if (!config.empty()) std::filesystem::remove_all(config);
    }

    std::string display;
    pid_t xvfb = -1;
    pid_t app = -1;
    std::filesystem::path config;
};

TEST_F(DesktopProgram, ShowsTheNotchAtTheTopCentreAndQuitsCleanly) {
    const char* lsan = std::getenv("HALVYN_LSAN_SUPPRESSIONS");
    app = spawn({HALVYN_BINARY},
                {"DISPLAY=" + display, "QT_QPA_PLATFORM=xcb", "XDG_CONFIG_HOME=" + config.string(),
                 std::string("LSAN_OPTIONS=suppressions=") + (lsan ? lsan : HALVYN_LSAN_FILE)},
                false);
    ASSERT_GT(app, 0);

    // The panel: 576 × 320 at x = (1280 - 576) / 2 = 352, flush with the top edge.
    const std::regex panel(R"re("Halvyn".*\s576x320\+(-?\d+)\+(-?\d+))re");
    std::smatch m;
    std::string tree;
    const bool found = test::spinUntil(
        [&] {
            tree = run("xwininfo -display " + display + " -root -tree 2>/dev/null");
            return std::regex_search(tree, m, panel);
        },
        30000);
    ASSERT_TRUE(found) << tree;
    // The first sighting is already in place: the panel is never shown anywhere else first.
    EXPECT_EQ(std::stoi(m[1].str()), 352) << tree;
    EXPECT_EQ(std::stoi(m[2].str()), 0) << tree;

    ASSERT_EQ(::kill(app, SIGTERM), 0);
    const auto status = waitExit(app, 30000);
    app = -1;
    ASSERT_TRUE(status.has_value()) << "did not quit";
    EXPECT_EQ(*status, 0);
}

TEST_F(DesktopProgram, SimWindowPlaysInRealTimeWithTheSameTrace) {
    const std::string scenario = std::string(HALVYN_SCENARIO_DIR) + "/shell_frames.json";
    const char* lsan = std::getenv("HALVYN_LSAN_SUPPRESSIONS");
    const std::string env = "DISPLAY=" + display + " QT_QPA_PLATFORM=xcb LSAN_OPTIONS=suppressions=" +
                            (lsan ? std::string(lsan) : std::string(HALVYN_LSAN_FILE));
    const std::string trace = run("env " + env + " " + HALVYN_SIM_BINARY + " --window " + scenario + " 2>/dev/null");
    std::ifstream expected(std::string(HALVYN_SCENARIO_DIR) + "/shell_frames.trace", std::ios::binary);
    std::ostringstream text;
    text << expected.rdbuf();
    EXPECT_EQ(trace, text.str());
}

}  // namespace
}  // namespace halvyn
