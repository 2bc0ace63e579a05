// The notch on X11 judged from what the screen shows: over a fullscreen window under openbox, and
// with or without a compositing manager.

#include <QImage>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include <xcb/shape.h>
#include <xcb/xcb.h>

#include "linux/services.h"

namespace halvyn {
namespace {

class X11Session : public ::testing::Test {
protected:
    void SetUp() override {
        if (!test::onPath("Xvfb") || !test::onPath("openbox") || !test::onPath("xprop") || !test::onPath("mpv"))
            HALVYN_SKIP_WITHOUT_SERVICE() << "Xvfb, openbox, xprop and mpv are needed (scripts/test installs them)";
        home = test::privateFolder("halvyn-x11-session");
        std::filesystem::create_directories(home / "halvyn");
        std::ofstream(home / "halvyn" / "preferences.json") << R"({"isFirstLaunch": false})";
        display = test::startXvfb(400 + ::getpid() % 100, xvfb);
        ASSERT_FALSE(display.empty()) << "Xvfb did not start";
        wm = test::spawnWith({"openbox"}, {"DISPLAY=" + display, "HOME=" + home.string()}, (home / "wm.log").string());
        ASSERT_TRUE(test::spinUntil(
            [&] {
                return test::output("xprop -display " + display + " -root _NET_SUPPORTING_WM_CHECK 2>&1")
                           .find("window id") != std::string::npos;
            },
            20000));
    }
    void TearDown() override {
        test::stop(app);
        test::stop(player);
        test::stop(wm);
        test::stop(xvfb);
        if (!home.empty()) std::filesystem::remove_all(home);
    }

    void startProgram() {
        app = test::spawnWith({HALVYN_BINARY},
                              {"DISPLAY=" + display, "QT_QPA_PLATFORM=xcb", "XDG_CONFIG_HOME=" + home.string(),
                               "XDG_RUNTIME_DIR=" + home.string(), "HOME=" + home.string(),
                               test::lsanEnv()},
                              (home / "app.log").string());
    }
    // A video player filling the screen with red.
    void startFullscreenPlayer() {
        player = test::spawnWith({"mpv", "--no-config", "--fs", "--vo=x11", "--ao=null", "--loop=inf",
                                  "--no-keepaspect", "--really-quiet", "av://lavfi:color=c=red:s=320x240"},
                                 {"DISPLAY=" + display, "HOME=" + home.string()}, (home / "player.log").string());
    }

    // What the screen shows; saved under $HALVYN_SCREENSHOTS/<name>.png when that is set.
    QImage screenshot(const char* name = nullptr) const {
        QImage image;
        xcb_connection_t* c = xcb_connect(display.c_str(), nullptr);
        if (!xcb_connection_has_error(c)) {
            const xcb_screen_t* s = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
            auto* r = xcb_get_image_reply(c,
                                          xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, s->root, 0, 0, s->width_in_pixels,
                                                        s->height_in_pixels, ~0u),
                                          nullptr);
            if (r && r->depth == 24 && xcb_get_image_data_length(r) >= s->width_in_pixels * s->height_in_pixels * 4)
                image = QImage(xcb_get_image_data(r), s->width_in_pixels, s->height_in_pixels, QImage::Format_RGB32).copy();
            std::free(r);
        }
        xcb_disconnect(c);
        if (const char* to = std::getenv("HALVYN_SCREENSHOTS"); to && name && !image.isNull())
            image.save(QString::fromUtf8(to) + "/" + name + ".png");
        return image;
    }
    static bool red(QRgb p) { return qRed(p) > 200 && qGreen(p) < 60 && qBlue(p) < 60; }
    static bool dark(QRgb p) { return qRed(p) < 40 && qGreen(p) < 40 && qBlue(p) < 40; }
    // Whether the screen comes to show what `ok` looks for within 30 s; `shot` holds the last look.
    bool comesToShow(const std::function<bool(const QImage&)>& ok) {
        return test::spinUntil([&] { return !(shot = screenshot()).isNull() && ok(shot); }, 30000);
    }
    std::string logs() const { return test::readFile(home / "app.log") + test::readFile(home / "player.log"); }

    QImage shot;
    std::filesystem::path home;
    std::string display;
    pid_t xvfb = -1, wm = -1, app = -1, player = -1;
};

TEST_F(X11Session, TheNotchStaysAboveAFullscreenWindow) {
    startProgram();
    startFullscreenPlayer();
    // The player covers the screen; the idle notch hangs from the top centre above it.
    ASSERT_TRUE(comesToShow([](const QImage& s) {
        return red(s.pixel(100, 400)) && red(s.pixel(s.width() / 2 - 200, 4)) && dark(s.pixel(s.width() / 2, 4));
    })) << logs();
    screenshot("x11-fullscreen");
}

TEST_F(X11Session, TheNotchGoesAwayOverAFullscreenWindowWhenSetTo) {
    std::ofstream(home / "halvyn" / "preferences.json") << R"({"isFirstLaunch": false, "disableWhileInFullscreen": true})";
    startProgram();
    ASSERT_TRUE(comesToShow([](const QImage& s) { return dark(s.pixel(s.width() / 2, 4)); })) << logs();
    startFullscreenPlayer();
    EXPECT_TRUE(comesToShow([](const QImage& s) { return red(s.pixel(s.width() / 2, 4)); })) << logs();
}

// Whether the notch window's own shape is set (it is cut to the outline): read from the server.
std::optional<bool> boundingShaped(const std::string& display) {
    const std::string tree = test::output("xwininfo -display " + display + " -root -tree 2>/dev/null");
    std::smatch m;
    if (!std::regex_search(tree, m, std::regex(R"re((0x[0-9a-f]+) "Halvyn": \("halvyn")re"))) return std::nullopt;
    xcb_connection_t* c = xcb_connect(display.c_str(), nullptr);
    std::optional<bool> shaped;
    auto* r = xcb_shape_query_extents_reply(
        c, xcb_shape_query_extents(c, static_cast<xcb_window_t>(std::stoul(m[1].str(), nullptr, 16))), nullptr);
    if (r) shaped = r->bounding_shaped != 0;
    std::free(r);
    xcb_disconnect(c);
    return shaped;
}

// Without a compositing manager a pixel shows blended against black: the window is cut to the
// pixels the outline touches. A manager that starts draws it translucent (uncut); one that stops
// has it cut again, its edge as smooth as black allows: every pixel the manager showed partly
// covered shows dark, none cut away to the video beneath.
TEST_F(X11Session, TheShapeFollowsTheCompositingManager) {
    if (!test::onPath("xcompmgr")) HALVYN_SKIP_WITHOUT_SERVICE() << "xcompmgr is needed (scripts/test installs it)";
    startFullscreenPlayer();
    startProgram();
    ASSERT_TRUE(test::spinUntil([&] { return boundingShaped(display) == std::optional<bool>(true); }, 30000))
        << test::readFile(home / "app.log");
    pid_t manager = test::spawnWith({"xcompmgr"}, {"DISPLAY=" + display}, (home / "xcompmgr.log").string());
    EXPECT_TRUE(test::spinUntil([&] { return boundingShaped(display) == std::optional<bool>(false); }, 30000))
        << test::readFile(home / "xcompmgr.log");
    // The edge's partly covered pixels, as the manager blends them over the red video.
    std::vector<QPoint> edge;
    EXPECT_TRUE(comesToShow([&](const QImage& s) {
        if (!red(s.pixel(400, 200)) || !dark(s.pixel(s.width() / 2, 4))) return false;
        edge.clear();
        for (int y = 0; y < 80; ++y)
            for (int x = s.width() / 2 - 300; x < s.width() / 2 + 300; ++x)
                if (const QRgb p = s.pixel(x, y); qRed(p) > 30 && qRed(p) < 225 && qGreen(p) < 60 && qBlue(p) < 60)
                    edge.emplace_back(x, y);
        return edge.size() >= 10;
    }));
    screenshot("x11-compositing");
    test::stop(manager);
    // Left uncut, the whole window would show black around the outline.
    EXPECT_TRUE(comesToShow([](const QImage& s) { return red(s.pixel(400, 200)) && dark(s.pixel(s.width() / 2, 4)); }));
    EXPECT_EQ(boundingShaped(display), std::optional<bool>(true));
    screenshot("x11-no-compositor");
    EXPECT_EQ(std::count_if(edge.begin(), edge.end(), [&](QPoint p) { return !dark(shot.pixel(p)); }), 0)
        << "of " << edge.size() << " edge pixels cut away";
}

}  // namespace
}  // namespace halvyn
