// The desktop program on a real X server (Xvfb): its notch window appears at the top centre of
// the screen with the panel's size, and it quits cleanly when asked to.

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include "linux/services.h"
#include "shell/event_loop.h"

namespace halvyn {
namespace {

using test::lsanEnv;
using test::onPath;
using test::output;
using test::readFile;

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
        if (!onPath("Xvfb") || !onPath("xwininfo")) HALVYN_SKIP_WITHOUT_SERVICE() << "Xvfb and xwininfo are needed (scripts/test installs them)";
        display = test::startXvfb(90 + ::getpid() % 100, xvfb);
        ASSERT_GT(xvfb, 0) << "no free display";
        config = std::filesystem::temp_directory_path() / ("halvyn-xvfb-" + std::to_string(::getpid()));
        std::filesystem::create_directories(config / "halvyn");
        // A returning user: the notch shows at once (the first launch walks the permission pages).
        std::ofstream(config / "halvyn" / "preferences.json") << R"({"isFirstLaunch": false})";
    }

    void TearDown() override {
        test::stop(app, SIGKILL);
        test::stop(xvfb);
        if (!config.empty()) std::filesystem::remove_all(config);
    }

    std::string windowTree() const { return output("xwininfo -display " + display + " -root -tree 2>/dev/null"); }
    // The notch windows on the display: lines of the window tree naming a 576 × 320 "Halvyn".
    int notchWindows() const {
        const std::string tree = windowTree();
        const std::regex panel(R"re("Halvyn".*\s576x320\+)re");
        return static_cast<int>(std::distance(std::sregex_iterator(tree.begin(), tree.end(), panel), std::sregex_iterator()));
    }
    // The program's environment: the test's display and private folders.
    std::vector<std::string> environment() const {
        return {"DISPLAY=" + display, "QT_QPA_PLATFORM=xcb", "XDG_CONFIG_HOME=" + config.string(),
                "XDG_RUNTIME_DIR=" + config.string(), lsanEnv()};
    }
    std::string env() const {
        std::string out;
        for (const std::string& e : environment()) out += e + " ";
        return out;
    }
    // Starts the program on the test's display with its standard error in `log`.
    pid_t startLogged(const std::filesystem::path& log) const { return test::spawnWith({HALVYN_BINARY}, environment(), log.string()); }

    std::string display;
    pid_t xvfb = -1;
    pid_t app = -1;
    std::filesystem::path config;
};

// Shown at the top centre; a second launch hands over to it and ends; it quits cleanly when asked.
TEST_F(DesktopProgram, ShowsTheNotchAtTheTopCentreTakesASecondLaunchAndQuitsCleanly) {
    const auto log = config / "app.log";
    const int before = notchWindows();
    app = startLogged(log);
    ASSERT_GT(app, 0);

    // The panel: 576 × 320 at x = (1280 - 576) / 2 = 352, flush with the top edge.
    const std::regex panel(R"re("Halvyn".*\s576x320\+(-?\d+)\+(-?\d+))re");
    std::smatch m;
    std::string tree;
    const bool found = test::spinUntil(
        [&] { return std::regex_search(tree = windowTree(), m, panel); },
        30000);
    ASSERT_TRUE(found) << tree << readFile(log);
    // The first sighting is already in place: the panel is never shown anywhere else first.
    EXPECT_EQ(std::stoi(m[1].str()), 352) << tree;
    EXPECT_EQ(std::stoi(m[2].str()), 0) << tree;

    int status = -1;
    const std::string err = output("env " + env() + HALVYN_BINARY + " 2>&1", &status);
    EXPECT_EQ(status, 0) << err;
    EXPECT_NE(err.find("already running"), std::string::npos) << err;
    EXPECT_TRUE(test::spinUntil([&] { return readFile(log).find("Launched again") != std::string::npos; }, 10000))
        << readFile(log);
    EXPECT_EQ(notchWindows(), before + 1) << "one notch";
    EXPECT_EQ(::waitpid(app, nullptr, WNOHANG), 0) << "the first keeps running";
    output("env " + env() + HALVYN_BINARY + " --bogus 2>/dev/null", &status);
    EXPECT_EQ(status, 2) << "an unknown argument is refused";

    ASSERT_EQ(::kill(app, SIGTERM), 0);
    const auto exit = waitExit(app, 30000);
    app = -1;
    ASSERT_TRUE(exit.has_value()) << "did not quit";
    EXPECT_EQ(*exit, 0) << readFile(log);
}

TEST_F(DesktopProgram, SimWindowPlaysInRealTimeWithTheSameTrace) {
    const std::string scenario = std::string(HALVYN_SCENARIO_DIR) + "/shell_frames.json";
    const std::string trace = output("env DISPLAY=" + display + " QT_QPA_PLATFORM=xcb " + lsanEnv() + " " +
                                     HALVYN_SIM_BINARY + " --window " + scenario + " 2>/dev/null");
    EXPECT_EQ(trace, readFile(std::string(HALVYN_SCENARIO_DIR) + "/shell_frames.trace"));
}

TEST(DesktopCommandLine, HelpAndVersionAnswerAndNoDisplayIsOneLine) {
    const std::string bin = HALVYN_BINARY;
    const std::string noDisplay = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " + lsanEnv() + " ";
    int status = -1;
    const std::string help =
        output(noDisplay + "XDG_CONFIG_HOME=/cfg XDG_DATA_HOME=/data " + bin + " --help", &status);
    EXPECT_EQ(status, 0);
    for (const char* said : {"Usage: halvyn", "again while it runs opens its settings window", "/cfg/halvyn/preferences.json\n",
                             "/data/halvyn/calendars/*.ics\n", "\"Calendar activities\" is on", "sounds and icons",
                             "halvyn-helper(1)"})
        EXPECT_NE(help.find(said), std::string::npos) << said << " in\n" << help;
    EXPECT_EQ(output(noDisplay + bin + " --version", &status), "Halvyn 1.0.0\n");
    EXPECT_EQ(status, 0);
    const std::string err = output(noDisplay + bin + " 2>&1 >/dev/null", &status);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_NE(err.find("no display"), std::string::npos) << err;
    output("env -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM DISPLAY=:999 " + lsanEnv() + " " + bin + " 2>/dev/null", &status);
    EXPECT_EQ(status, 1) << "an unreachable display is the same";
}

TEST_F(DesktopProgram, SimWindowRestsBetweenDueTasks) {
    // Two runs without events, 1 s and 4 s long: the extra three seconds cost next to nothing.
    auto cpuOf = [&](double until) {
        const auto file = config / ("idle-" + std::to_string(static_cast<int>(until)) + ".json");
        std::ofstream(file) << R"({"events": [], "until": )" << until << "}";
        int status = -1;
        const std::string out = output("env " + env() + "bash -c 'TIMEFORMAT=%U+%S; time " + HALVYN_SIM_BINARY +
                                        " --window " + file.string() + " >/dev/null 2>/dev/null' 2>&1",
                                    &status);
        EXPECT_EQ(status, 0) << out;
        const auto plus = out.find('+');
        return plus == std::string::npos ? 1e9 : std::stod(out.substr(0, plus)) + std::stod(out.substr(plus + 1));
    };
    const double shortRun = cpuOf(1), longRun = cpuOf(4);
    EXPECT_LT(longRun - shortRun, 0.3) << shortRun << " s, then " << longRun << " s of processor time";
}

TEST_F(DesktopProgram, InstallsIntoAMovablePrefixAndStartsFromItsDesktopEntry) {
    const auto first = config / "prefix-a", moved = config / "prefix-b";
    int status = -1;
    const std::string log = output("cmake --install " + std::string(HALVYN_BUILD_DIR) + " --prefix " + first.string() + " 2>&1", &status);
    ASSERT_EQ(status, 0) << log;
    if (onPath("desktop-file-validate")) {
        const std::string out = output("desktop-file-validate " + (first / "share/applications/app.halvyn.halvyn.desktop").string() + " 2>&1", &status);
        EXPECT_EQ(status, 0) << out;
    }
    if (onPath("appstreamcli")) {
        const std::string out = output("appstreamcli validate --no-net " + (first / "share/metainfo/app.halvyn.halvyn.metainfo.xml").string() + " 2>&1", &status);
        EXPECT_EQ(status, 0) << out;
    }

    // Moved as a whole, the program finds its files in the new place.
    std::filesystem::rename(first, moved);
    const std::string help = output("env " + lsanEnv() + " " + (moved / "bin/halvyn").string() + " --help", &status);
    EXPECT_NE(help.find((moved / "share/halvyn").string()), std::string::npos) << help;

    // Started as the desktop entry says, with the installed bin/ on the path.
    const std::string entry = readFile(moved / "share/applications/app.halvyn.halvyn.desktop");
    std::smatch exec;
    ASSERT_TRUE(std::regex_search(entry, exec, std::regex("\nExec=([^\n]+)")));
    const int before = notchWindows();
    const auto runLog = config / "installed.log";
    // The entry's Exec line as the session's launcher would run it, through a shell.
    auto withPath = environment();
    withPath.push_back("PATH=" + (moved / "bin").string() + ":/usr/bin:/bin");
    app = test::spawnWith({"sh", "-c", "exec " + exec[1].str()}, withPath, runLog.string());
    ASSERT_GT(app, 0);
    EXPECT_TRUE(test::spinUntil([&] { return notchWindows() > before; }, 30000)) << readFile(runLog);
    EXPECT_EQ(::waitpid(app, nullptr, WNOHANG), 0) << "the installed program runs: " << readFile(runLog);
}

TEST(RunScript, WithoutADisplayTheTraceGoesToAFileAndASummaryToTheTerminal) {
    // A stand-in cmake that talks on standard output, as the real one does while building, and a
    // stand-in halvyn-sim that renders two frames and prints one trace line.
    const auto dir = std::filesystem::temp_directory_path() / ("halvyn-run-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir / "bin");
    std::filesystem::create_directories(dir / "build");
    std::filesystem::create_directories(dir / "out/frames");
    std::ofstream(dir / "out/frames/old.png") << "from an earlier run";
    std::ofstream(dir / "bin/cmake") << "#!/bin/sh\necho \"[ 50%] Building CXX object\"\n";
    std::ofstream(dir / "build/halvyn-sim") << "#!/bin/sh\n[ \"$1\" = --frames ] || exit 3\nmkdir -p \"$2\"\n"
                                               "touch \"$2/000-0.000.png\" \"$2/end-45.000.png\"\n"
                                               "echo '{\"t\":0.000,\"call\":\"Notch.enable\",\"args\":[]}'\n";
    std::filesystem::permissions(dir / "bin/cmake", std::filesystem::perms::owner_all);
    std::filesystem::permissions(dir / "build/halvyn-sim", std::filesystem::perms::owner_all);
    int status = -1;
    const std::string out = output("env -u DISPLAY -u WAYLAND_DISPLAY HALVYN_RUN_BUILD=" + (dir / "build").string() +
                                    " HALVYN_RUN_OUT=" + (dir / "out").string() + " PATH=" + (dir / "bin").string() +
                                    ":$PATH " + HALVYN_SOURCE_DIR + "/scripts/run 2>/dev/null",
                                &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(readFile(dir / "out/demo.trace"), "{\"t\":0.000,\"call\":\"Notch.enable\",\"args\":[]}\n");
    const std::string frames = (dir / "out/frames").string();
    for (const std::string& said : std::vector<std::string>{
             "Played scenarios/demo.json on a simulated desktop: volume and output changes, brightness changes",
          "a song playing", "2 frames of the notch are in " + frames + "/ (for example end-45.000.png)",
          "less " + (dir / "out/demo.trace").string()})
        EXPECT_NE(out.find(said), std::string::npos) << said << " in\n" << out;
    EXPECT_EQ(out.find("Building"), std::string::npos) << out;
    EXPECT_EQ(out.find("Notch.enable"), std::string::npos) << out;
    EXPECT_LE(std::count(out.begin(), out.end(), '\n'), 6) << out;
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace halvyn
