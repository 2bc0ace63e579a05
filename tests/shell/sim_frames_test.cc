// halvyn-sim --frames: the notch drawn at each event's time and at the end, with the same trace
// as a plain run.

#include <QImage>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

#include "linux/services.h"
#include "shell/pixels.h"

namespace halvyn {
namespace {

using test::readFile;

// Opaque pixels in a row or column of a frame drawn at two pixels per point, in points.
double rowPoints(const QImage& img, double y) { return test::rowCoverage(img, static_cast<int>(y * 2)) / 2.0; }
double columnPoints(const QImage& img, double x) { return test::columnCoverage(img, static_cast<int>(x * 2)) / 2.0; }

// Plays scenarios/NAME.json with --frames into a fresh folder, whose path it returns; the trace
// must be the recorded one, frames or not.
std::filesystem::path playWithFrames(const std::string& name) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("halvyn-frames-" + name + "-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir);
    const std::string scenario = std::string(HALVYN_SCENARIO_DIR) + "/" + name + ".json";
    int status = -1;
    const std::string trace =
        test::output(std::string(HALVYN_SIM_BINARY) + " --frames " + dir.string() + " " + scenario + " 2>/dev/null", &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(trace, readFile(std::string(HALVYN_SCENARIO_DIR) + "/" + name + ".trace"));
    return dir;
}

TEST(SimFrames, FramesShowEachStateAndTheTraceIsUnchanged) {
    const std::filesystem::path dir = playWithFrames("shell_frames");

    auto frame = [&](const char* name) {
        QImage img(QString::fromStdString((dir / name).string()));
        EXPECT_EQ(img.size(), QSize(1152, 640)) << name;
        return img;
    };
    // Before the first event: the drawn notch, 185 × 24 (flares of 5 beside a 175-wide body).
    const QImage idle = frame("000-1.000.png");
    EXPECT_NEAR(rowPoints(idle, 12), 175, 1);
    EXPECT_NEAR(columnPoints(idle, 288), 24, 1);
    // Expanded: 345 × 174, flares of 17.
    const QImage expanded = frame("001-2.000.png");
    EXPECT_NEAR(rowPoints(expanded, 60), 345 - 34, 1);
    EXPECT_NEAR(columnPoints(expanded, 288), 174, 1);
    // With the output panel open, 34 taller.
    EXPECT_NEAR(columnPoints(frame("002-3.000.png"), 288), 208, 1);
    // Collapsed again by the time the adjustment starts.
    EXPECT_NEAR(columnPoints(frame("003-4.000.png"), 288), 24, 1);
    // A tenth of a second into adjusting, the fill is on its way from black to rose (a spring of
    // response 0.35, not a jump).
    const QImage adjusting = frame("004-4.100.png");
    const QColor c = adjusting.pixelColor(576, 24);
    EXPECT_GT(c.red(), 60);
    EXPECT_LT(c.red(), 230);
    EXPECT_GT(c.red(), c.green() + 40);
    // At the end the charging notification shows: 185 + 168, flares of 6.5.
    const QImage end = frame("end-7.000.png");
    EXPECT_NEAR(rowPoints(end, 12), 353 - 13, 3);

    // Where the notch came to rest after an event, one more frame, named to sort right after
    // the event's own: the output panel fully open, and the charging display settled.
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    auto restAfter = [&](const std::string& event) -> std::string {
        auto it = std::find(names.begin(), names.end(), event);
        if (it == names.end() || it + 1 == names.end()) return "";
        const std::string next = *(it + 1);
        return next.substr(0, 4) == event.substr(0, 3) + "r" ? next : "";
    };
    const std::string outputRest = restAfter("001-2.000.png");
    ASSERT_FALSE(outputRest.empty());
    EXPECT_NEAR(columnPoints(frame(outputRest.c_str()), 288), 208, 1);
    const std::string chargingRest = restAfter("005-6.000.png");
    ASSERT_FALSE(chargingRest.empty());
    EXPECT_LT(std::stod(chargingRest.substr(5)), 7.0);
    EXPECT_NEAR(rowPoints(frame(chargingRest.c_str()), 12), 353 - 13, 3);
    std::filesystem::remove_all(dir);
}

TEST(SimFrames, LockedRunsAlsoShowTheLockScreenPanel) {
    const std::filesystem::path dir = playWithFrames("lockscreen_login_window");
    EXPECT_FALSE(std::filesystem::exists(dir / "000-1.000-lock.png")) << "not locked yet";
    // Locked: the panel is 562 points wide and as tall as the main display, its row below the clock.
    const QImage locked(QString::fromStdString((dir / "001-2.000-lock.png").string()));
    EXPECT_EQ(locked.size(), QSize(562, 982));
    auto visible = [](QRgb p) { return qAlpha(p) > 40; };
    EXPECT_EQ(test::countPixels(locked, QRect(0, 0, 562, 257), visible), 0) << "nothing over the clock";
    EXPECT_GT(test::countPixels(locked, visible), 50) << "the battery widget";
    // After the screen change, on the larger display.
    EXPECT_EQ(QImage(QString::fromStdString((dir / "002-3.000-lock.png").string())).size(), QSize(562, 1080));
    EXPECT_FALSE(std::filesystem::exists(dir / "end-4.000-lock.png")) << "closed after the unlock";
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace halvyn
