// Where the program places its notch on a Wayland desktop: the compositor is asked what it
// offers before the toolkit starts; one with the layer shell (sway) gets the notch as a surface on
// its overlay layer, one without (GNOME's) is left for its XWayland, where the notch hangs from
// the top edge as on X11. The compositors run as an unprivileged user, as they refuse root.

#include <QImage>

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <regex>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include <linux/input-event-codes.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include "linux/services.h"
#include "shell/wayland_session.h"
#include "wlr-virtual-pointer-unstable-v1-client.h"

namespace halvyn {
namespace {

TEST(SessionPlan, LayerShellFirstThenXWayland) {
    // No compositor answered: the toolkit's own choice stands, and nothing is said.
    EXPECT_EQ(planSession("", std::nullopt, true).platform, "");
    EXPECT_TRUE(planSession("", std::nullopt, true).note.empty());
    // A layer shell places the notch on Wayland, with the X server (if any) for a toolkit without
    // its Wayland plugin; a user who asked for Wayland gets it too.
    for (const auto& [requested, x11, platform] :
         {std::tuple{"", true, "wayland;xcb"}, {"", false, "wayland"}, {"wayland", true, ""}}) {
        const SessionPlan layer = planSession(requested, true, x11);
        EXPECT_EQ(layer.platform, platform) << requested << x11;
        EXPECT_TRUE(layer.layerShell && layer.placeable);
        EXPECT_NE(layer.note.find("overlay layer"), std::string::npos) << layer.note;
    }
    EXPECT_FALSE(planSession("xcb", true, true).layerShell);
    EXPECT_FALSE(planSession("", false, true).layerShell);
    // Without a layer shell, an X server beside the compositor places the notch.
    const SessionPlan gnome = planSession("", false, true);
    EXPECT_EQ(gnome.platform, "xcb");
    EXPECT_TRUE(gnome.placeable);
    EXPECT_NE(gnome.note.find("no layer shell"), std::string::npos) << gnome.note;
    // Nothing to place it with: a window all the same, and the log says why.
    const SessionPlan bare = planSession("", false, false);
    EXPECT_EQ(bare.platform, "wayland");
    EXPECT_FALSE(bare.placeable);
    EXPECT_NE(bare.note.find("cannot be placed"), std::string::npos) << bare.note;
    // A platform named by the user is kept; on Wayland it is said that the notch is not placed.
    EXPECT_EQ(planSession("xcb", false, true).platform, "");
    EXPECT_TRUE(planSession("xcb", false, true).note.empty());
    EXPECT_EQ(planSession("offscreen", false, false).platform, "");
    const SessionPlan forced = planSession("wayland", false, true);
    EXPECT_EQ(forced.platform, "");
    EXPECT_FALSE(forced.placeable);
    EXPECT_NE(forced.note.find("XWayland"), std::string::npos) << forced.note;
}

// The user the compositors and the programs of their session run as: the test's own, or, as
// root, one made for the purpose.
std::optional<std::pair<uid_t, gid_t>> sessionUser() {
    if (::getuid() != 0) return std::make_pair(::getuid(), ::getgid());
    static const char name[] = "halvyn-compositor";
    if (!::getpwnam(name))
        test::output(std::string("useradd --system --no-create-home --shell /usr/sbin/nologin ") + name + " 2>&1");
    const passwd* pw = ::getpwnam(name);
    if (!pw) return std::nullopt;
    return std::make_pair(pw->pw_uid, pw->pw_gid);
}

// A compositor started in its own process group, in a runtime folder of the session's user.
class Compositor {
public:
    explicit Compositor(const std::string& name) : dir_(test::privateFolder(name)) {}
    ~Compositor() {
        for (pid_t& pid : others_) stopAll(pid);
        stopAll(app_);
        stopAll(pid_);
        std::filesystem::remove_all(dir_);
    }
    bool prepare() {
        const auto user = sessionUser();
        if (!user) return false;
        user_ = *user;
        // A returning user: the notch shows at once.
        test::writeFile(dir_ / "config/halvyn/preferences.json", R"({"isFirstLaunch": false})");
        test::output("chown -R " + std::to_string(user_.first) + ":" + std::to_string(user_.second) + " " + dir_.string());
        return true;
    }
    // `args` run as the session's user with the session's folders.
    pid_t spawn(std::vector<std::string> args, std::vector<std::string> env, const std::string& log) const {
        std::vector<std::string> prefix{"setsid"};
        if (::getuid() == 0)
            prefix.insert(prefix.end(), {"setpriv", "--reuid=" + std::to_string(user_.first),
                                         "--regid=" + std::to_string(user_.second), "--clear-groups"});
        args.insert(args.begin(), prefix.begin(), prefix.end());
        env.insert(env.begin(), {"-u", "QT_QPA_PLATFORM", "-u", "DISPLAY", "-u", "WAYLAND_DISPLAY",
                                 "HOME=" + dir_.string(), "XDG_RUNTIME_DIR=" + dir_.string(),
                                 "XDG_CONFIG_HOME=" + (dir_ / "config").string()});
        return test::spawnWith(args, env, (dir_ / log).string());
    }
    void startCompositor(std::vector<std::string> args, std::vector<std::string> env) {
        pid_ = spawn(std::move(args), std::move(env), "compositor.log");
    }
    void startProgram(std::vector<std::string> env) {
        env.push_back(test::lsanEnv());
        app_ = spawn({HALVYN_BINARY}, std::move(env), "app.log");
    }
    // Stopped with the compositor.
    void keep(pid_t pid) { others_.push_back(pid); }
    std::string log(const std::string& name) const { return test::readFile(dir_ / name); }
    const std::filesystem::path& dir() const { return dir_; }
    bool running() const { return pid_ > 0 && ::waitpid(pid_, nullptr, WNOHANG) == 0; }

private:
    static void stopAll(pid_t& pid) {
        if (pid <= 0) return;
        ::kill(-pid, SIGTERM);
        if (!test::spinUntil([&] { return ::waitpid(pid, nullptr, WNOHANG) != 0; }, 10000)) {
            ::kill(-pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
        pid = -1;
    }

    std::filesystem::path dir_;
    std::pair<uid_t, gid_t> user_{};
    pid_t pid_ = -1;
    pid_t app_ = -1;
    std::vector<pid_t> others_;
};

TEST(GnomeSession, TheNotchGoesThroughXWaylandToTheTopCentre) {
    if (!test::onPath("mutter") || !test::onPath("Xwayland") || !test::onPath("dbus-run-session") ||
        !test::onPath("setpriv") || !test::onPath("xwininfo"))
        HALVYN_SKIP_WITHOUT_SERVICE() << "mutter, Xwayland, dbus-run-session, setpriv and xwininfo are needed (scripts/test installs them)";
    Compositor mutter("halvyn-mutter");
    ASSERT_TRUE(mutter.prepare()) << "no unprivileged user to run the compositor as";
    mutter.startCompositor({"dbus-run-session", "--", "mutter", "--headless", "--wayland", "--virtual-monitor",
                            "1920x1080", "--wayland-display=wayland-halvyn"},
                           {});
    // Its X server is named in its log, its authority file put in the runtime folder.
    const std::regex named(R"(Using public X11 display (:\d+))");
    std::smatch m;
    std::string log;
    ASSERT_TRUE(test::spinUntil(
        [&] {
            log = mutter.log("compositor.log");
            return std::regex_search(log, m, named) && std::filesystem::exists(mutter.dir() / "wayland-halvyn");
        },
        30000))
        << log;
    const std::string display = m[1].str();
    std::string authority;
    for (const auto& e : std::filesystem::directory_iterator(mutter.dir()))
        if (e.path().filename().string().starts_with(".mutter-Xwaylandauth")) authority = e.path().string();
    ASSERT_FALSE(authority.empty()) << log;

    {
        test::ScopedEnv wayland("WAYLAND_DISPLAY", (mutter.dir() / "wayland-halvyn").string());
        EXPECT_EQ(waylandOffersLayerShell(10000), std::optional<bool>(false)) << "GNOME's compositor has none";
    }
    {
        test::ScopedEnv wayland("WAYLAND_DISPLAY", (mutter.dir() / "no-such-compositor").string());
        EXPECT_EQ(waylandOffersLayerShell(10000), std::nullopt);
    }

    // As on a GNOME desktop: both displays named, the toolkit left to choose.
    mutter.startProgram({"XDG_SESSION_TYPE=wayland", "WAYLAND_DISPLAY=wayland-halvyn", "DISPLAY=" + display, "XAUTHORITY=" + authority});
    const std::regex panel(R"re("Halvyn".*\s576x320\+(-?\d+)\+(-?\d+))re");
    std::string tree;
    ASSERT_TRUE(test::spinUntil(
        [&] {
            tree = test::output("XAUTHORITY=" + authority + " xwininfo -display " + display + " -root -tree 2>&1");
            // Made at the corner, then placed: the placed frame is the one that counts.
            return std::regex_search(tree, m, panel) && m[1].str() == std::to_string((1920 - 576) / 2) &&
                   m[2].str() == "0";
        },
        30000))
        << tree << mutter.log("app.log") << mutter.log("compositor.log");
    EXPECT_EQ(test::occurrences(mutter.log("app.log"), "offers no layer shell"), 1) << mutter.log("app.log");
}

// A pointer of the compositor's own (its virtual-pointer protocol), driven from a connection of
// the test's: moved to a point of the output and clicked there.
class VirtualPointer {
public:
    explicit VirtualPointer(const std::string& display) : display_(wl_display_connect(display.c_str())) {
        if (!display_) return;
        registry_ = wl_display_get_registry(display_);
        static const wl_registry_listener listener{
            [](void* data, wl_registry* r, uint32_t name, const char* interface, uint32_t) {
                if (std::string_view(interface) == zwlr_virtual_pointer_manager_v1_interface.name)
                    static_cast<VirtualPointer*>(data)->manager_ = static_cast<zwlr_virtual_pointer_manager_v1*>(
                        wl_registry_bind(r, name, &zwlr_virtual_pointer_manager_v1_interface, 1));
            },
            [](void*, wl_registry*, uint32_t) {}};
        wl_registry_add_listener(registry_, &listener, this);
        waylandRoundtrip(display_, nullptr, 10000);
        if (manager_) pointer_ = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(manager_, nullptr);
        waylandRoundtrip(display_, nullptr, 10000);
    }
    ~VirtualPointer() {
        if (pointer_) zwlr_virtual_pointer_v1_destroy(pointer_);
        if (manager_) zwlr_virtual_pointer_manager_v1_destroy(manager_);
        if (registry_) wl_registry_destroy(registry_);
        if (display_) wl_display_disconnect(display_);
    }
    bool ready() const { return pointer_ != nullptr; }
    void moveTo(int x, int y) {
        zwlr_virtual_pointer_v1_motion_absolute(pointer_, ++time_, static_cast<uint32_t>(x), static_cast<uint32_t>(y),
                                                kWidth, kHeight);
        zwlr_virtual_pointer_v1_frame(pointer_);
        waylandRoundtrip(display_, nullptr, 10000);
    }
    void click(int x, int y, uint32_t button = BTN_LEFT) {
        moveTo(x, y);
        for (auto state : {WL_POINTER_BUTTON_STATE_PRESSED, WL_POINTER_BUTTON_STATE_RELEASED}) {
            zwlr_virtual_pointer_v1_button(pointer_, ++time_, button, state);
            zwlr_virtual_pointer_v1_frame(pointer_);
        }
        waylandRoundtrip(display_, nullptr, 10000);
    }
    // The two screens side by side.
    static constexpr uint32_t kWidth = 3840, kHeight = 1080;

private:
    wl_display* display_;
    wl_registry* registry_ = nullptr;
    zwlr_virtual_pointer_manager_v1* manager_ = nullptr;
    zwlr_virtual_pointer_v1* pointer_ = nullptr;
    uint32_t time_ = 0;
};

// sway offers the layer shell: the notch is a surface on its overlay layer, hanging from the top
// centre of the main screen (not the one in focus) above a fullscreen video, and the pointer
// reaches the video wherever the outline is not.
TEST(SwaySession, TheNotchIsALayerSurfaceAtTheTopCentre) {
    if (!test::onPath("sway") || !test::onPath("grim") || !test::onPath("mpv") || !test::onPath("setpriv"))
        HALVYN_SKIP_WITHOUT_SERVICE() << "sway, grim, mpv and setpriv are needed (scripts/test installs them)";
    Compositor sway("halvyn-sway");
    ASSERT_TRUE(sway.prepare()) << "no unprivileged user to run the compositor as";
    // Two screens side by side, the main one (the first) red, the other green.
    test::writeFile(sway.dir() / "sway.conf",
                    "xwayland enable\n"
                    "output HEADLESS-1 resolution 1920x1080 position 0 0 bg #ff0000 solid_color\n"
                    "output HEADLESS-2 resolution 1920x1080 position 1920 0 bg #00ff00 solid_color\n");
    // The video ends at the first click it receives.
    test::writeFile(sway.dir() / "input.conf", "MBTN_LEFT quit\n");
    sway.startCompositor({"sway", "-c", (sway.dir() / "sway.conf").string()},
                         {"WLR_BACKENDS=headless", "WLR_HEADLESS_OUTPUTS=2", "WLR_RENDERER=pixman",
                          "WLR_LIBINPUT_NO_DEVICES=1"});
    const std::string socket = (sway.dir() / "wayland-1").string();
    std::string ipc;
    ASSERT_TRUE(test::spinUntil(
        [&] {
            for (const auto& e : std::filesystem::directory_iterator(sway.dir()))
                if (e.path().filename().string().starts_with("sway-ipc.")) ipc = e.path().string();
            return std::filesystem::exists(socket) && !ipc.empty();
        },
        30000))
        << sway.log("compositor.log");
    auto swaymsg = [&](const std::string& command) {
        pid_t pid = sway.spawn({"swaymsg", "-s", ipc, command}, {}, "swaymsg.log");
        ::waitpid(pid, nullptr, 0);
    };
    {
        test::ScopedEnv wayland("WAYLAND_DISPLAY", socket);
        EXPECT_EQ(waylandOffersLayerShell(10000), std::optional<bool>(true));
    }
    // The program starts as the compositor's own client, with the displays it names (an X server
    // among them, as on a desktop), while the other screen has the focus.
    swaymsg("focus output HEADLESS-2");
    swaymsg("exec env " + test::lsanEnv() + " " + HALVYN_BINARY + " >" + (sway.dir() / "app.log").string() + " 2>&1");
    QImage shot;
    auto screenshot = [&](const std::string& output = "HEADLESS-1") {
        const auto file = sway.dir() / "shot.png";
        pid_t grim = sway.spawn({"grim", "-o", output, file.string()}, {"WAYLAND_DISPLAY=wayland-1"}, "grim.log");
        ::waitpid(grim, nullptr, 0);
        shot = QImage(QString::fromStdString(file.string()));
        return !shot.isNull();
    };
    auto blue = [](QRgb p) { return qBlue(p) > 200 && qRed(p) < 60 && qGreen(p) < 60; };
    auto dark = [](QRgb p) { return qRed(p) < 40 && qGreen(p) < 40 && qBlue(p) < 40; };
    // The dark run of a row through the centre: [first, last].
    auto darkRun = [&](int y) {
        int first = 960, last = 960;
        while (first > 0 && dark(shot.pixel(first - 1, y))) --first;
        while (last < 1919 && dark(shot.pixel(last + 1, y))) ++last;
        return std::make_pair(first, last);
    };
    // Shown on the main screen, nothing on the other.
    ASSERT_TRUE(test::spinUntil([&] { return screenshot() && dark(shot.pixel(960, 0)); }, 30000)) << sway.log("app.log");
    ASSERT_TRUE(screenshot("HEADLESS-2"));
    if (const char* to = std::getenv("HALVYN_SCREENSHOTS")) shot.save(QString::fromUtf8(to) + "/sway-other-screen.png");
    EXPECT_TRUE(qGreen(shot.pixel(960, 4)) > 200 && qRed(shot.pixel(960, 4)) < 60) << shot.pixel(960, 4);

    swaymsg("focus output HEADLESS-1");
    const pid_t video = sway.spawn({"mpv", "--no-config", "--input-conf=" + (sway.dir() / "input.conf").string(), "--fs",
                                    "--vo=wlshm", "--ao=null", "--loop=inf", "--no-keepaspect", "--really-quiet",
                                    "av://lavfi:color=c=blue:s=320x240"},
                                   {"WAYLAND_DISPLAY=wayland-1"}, "video.log");
    sway.keep(video);
    auto videoRunning = [&] { return ::waitpid(video, nullptr, WNOHANG) == 0; };

    ASSERT_TRUE(test::spinUntil(
        [&] {
            return screenshot() && dark(shot.pixel(960, 0)) && dark(shot.pixel(960, 8)) && blue(shot.pixel(100, 4)) &&
                   blue(shot.pixel(960 - 250, 200)) && blue(shot.pixel(960 + 250, 200));
        },
        30000))
        << sway.log("app.log") << sway.log("video.log") << sway.log("grim.log");
    if (const char* to = std::getenv("HALVYN_SCREENSHOTS")) shot.save(QString::fromUtf8(to) + "/sway.png");
    // Hanging from the top edge, centred: the outline's run is as wide on either side of the centre.
    const auto [first, last] = darkRun(2);
    EXPECT_LE(std::abs((first + last) / 2 - 960), 1) << first << " " << last;
    EXPECT_GT(last - first, 100);
    EXPECT_EQ(test::occurrences(sway.log("app.log"), "overlay layer"), 1) << sway.log("app.log");
    EXPECT_TRUE(videoRunning());

    VirtualPointer pointer(socket);
    ASSERT_TRUE(pointer.ready()) << "sway offers no virtual pointer";
    // A click on the outline is the notch's: it opens, and the video beneath does not hear it.
    // Clicked again until it opens: the first click may come before the program follows the pointer.
    EXPECT_TRUE(test::spinUntil(
        [&] {
            pointer.click(960, 8);
            return screenshot() && dark(shot.pixel(960, 100));
        },
        30000))
        << sway.log("app.log");
    if (const char* to = std::getenv("HALVYN_SCREENSHOTS")) shot.save(QString::fromUtf8(to) + "/sway-open.png");
    EXPECT_TRUE(videoRunning());
    // Away from the outline the pointer leaves the notch, which folds; inside the window's bounds
    // but outside the outline, a click reaches the video.
    pointer.moveTo(960 - 270, 300);
    ASSERT_TRUE(test::spinUntil([&] { return screenshot() && blue(shot.pixel(960, 100)); }, 30000));
    pointer.click(960 - 270, 300);
    EXPECT_TRUE(test::spinUntil([&] { return !videoRunning(); }, 30000)) << "the click did not reach the video";

    // A secondary click on the outline opens the menu as the layer surface's popup, at the
    // pointer rather than in the middle of the screen; a click elsewhere closes it.
    // The share of light (menu) pixels in a rectangle of the screen.
    auto light = [&](const QRect& r) {
        int n = 0;
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x) {
                const QRgb p = shot.pixel(x, y);
                n += qRed(p) > 170 && qGreen(p) > 170 && qBlue(p) > 170;
            }
        return double(n) / (r.width() * r.height());
    };
    const QPoint at(960 + 40, 6);
    const QRect below(at.x() + 2, at.y() + 2, 100, 80);
    EXPECT_TRUE(test::spinUntil(
        [&] {
            pointer.click(at.x(), at.y(), BTN_RIGHT);
            return screenshot() && light(below) > 0.6;
        },
        30000))
        << sway.log("app.log");
    if (const char* to = std::getenv("HALVYN_SCREENSHOTS")) shot.save(QString::fromUtf8(to) + "/sway-menu.png");
    EXPECT_LT(light(below.translated(-104, 0)), 0.05) << "the menu starts at the pointer";
    EXPECT_LT(light(QRect(860, 440, 200, 200)), 0.05) << "no window in the middle of the screen";
    // Closed by a click elsewhere, and opened again by the next secondary click.
    for (const QPoint click : {QPoint(300, 700), at}) {
        const bool opens = click == at;
        pointer.click(click.x(), click.y(), opens ? BTN_RIGHT : BTN_LEFT);
        EXPECT_TRUE(test::spinUntil([&] { return screenshot() && (light(below) > 0.6) == opens; }, 30000)) << opens;
    }
}

}  // namespace
}  // namespace halvyn
