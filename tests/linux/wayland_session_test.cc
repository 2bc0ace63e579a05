// Where the program places its notch on a Wayland desktop: the compositor is asked what it
// offers before the toolkit starts, and one without the layer shell (GNOME's) is left for its
// XWayland, where the notch hangs from the top edge as on X11. The compositors run as an
// unprivileged user, as they refuse root.

#include <QImage>

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include "linux/services.h"
#include "shell/wayland_session.h"

namespace halvyn {
namespace {

TEST(SessionPlan, XWaylandWhenTheCompositorCannotPlaceTheNotch) {
    // No compositor answered: the toolkit's own choice stands, and nothing is said.
    EXPECT_EQ(planSession("", std::nullopt, true).platform, "");
    EXPECT_TRUE(planSession("", std::nullopt, true).note.empty());
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
        stopAll(app_);
        stopAll(pid_);
        std::filesystem::remove_all(dir_);
    }
    bool prepare() {
        const auto user = sessionUser();
        if (!user) return false;
        user_ = *user;
        std::filesystem::create_directories(dir_ / "config" / "halvyn");
        // A returning user: the notch shows at once.
        std::ofstream(dir_ / "config" / "halvyn" / "preferences.json") << R"({"isFirstLaunch": false})";
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
        const char* lsan = std::getenv("HALVYN_LSAN_SUPPRESSIONS");
        env.push_back(std::string("LSAN_OPTIONS=suppressions=") + (lsan ? lsan : HALVYN_LSAN_FILE));
        app_ = spawn({HALVYN_BINARY}, std::move(env), "app.log");
    }
    std::string log(const std::string& name) const { return test::readFile(dir_ / name); }
    const std::filesystem::path& dir() const { return dir_; }
    bool running() const { return pid_ > 0 && ::waitpid(pid_, nullptr, WNOHANG) == 0; }

private:
    static void stopAll(pid_t& pid) {
        if (pid <= 0) return;
        ::kill(-pid, SIGTERM);
        if (!test::spinUntil([&] { return ::waitpid(pid, nullptr, WNOHANG) == pid; }, 10000)) {
            ::kill(-pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
        pid = -1;
    }

    std::filesystem::path dir_;
    std::pair<uid_t, gid_t> user_{};
    pid_t pid_ = -1;
    pid_t app_ = -1;
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

// sway offers the layer shell; the notch, a toolkit window, still goes through its XWayland and
// hangs from the top centre there, as a screenshot shows.
TEST(SwaySession, TheNotchHangsFromTheTopCentre) {
    if (!test::onPath("sway") || !test::onPath("grim") || !test::onPath("Xwayland") || !test::onPath("setpriv"))
        HALVYN_SKIP_WITHOUT_SERVICE() << "sway, grim, Xwayland and setpriv are needed (scripts/test installs them)";
    Compositor sway("halvyn-sway");
    ASSERT_TRUE(sway.prepare()) << "no unprivileged user to run the compositor as";
    const char* lsan = std::getenv("HALVYN_LSAN_SUPPRESSIONS");
    // The program starts as the compositor's own client, with the displays it names.
    std::ofstream(sway.dir() / "sway.conf")
        << "xwayland enable\n"
           "output HEADLESS-1 resolution 1920x1080 bg #ff0000 solid_color\n"
           "exec env LSAN_OPTIONS=suppressions="
        << (lsan ? lsan : HALVYN_LSAN_FILE) << " " << HALVYN_BINARY << " >" << (sway.dir() / "app.log").string()
        << " 2>&1\n";
    test::output("chmod a+r " + (sway.dir() / "sway.conf").string());
    sway.startCompositor({"sway", "-c", (sway.dir() / "sway.conf").string()},
                         {"WLR_BACKENDS=headless", "WLR_RENDERER=pixman", "WLR_LIBINPUT_NO_DEVICES=1"});
    ASSERT_TRUE(test::spinUntil([&] { return std::filesystem::exists(sway.dir() / "wayland-1"); }, 30000))
        << sway.log("compositor.log");
    {
        test::ScopedEnv wayland("WAYLAND_DISPLAY", (sway.dir() / "wayland-1").string());
        EXPECT_EQ(waylandOffersLayerShell(10000), std::optional<bool>(true));
    }
    QImage shot;
    const auto file = sway.dir() / "shot.png";
    auto red = [](QRgb p) { return qRed(p) > 200 && qGreen(p) < 60 && qBlue(p) < 60; };
    auto dark = [](QRgb p) { return qRed(p) < 40 && qGreen(p) < 40 && qBlue(p) < 40; };
    ASSERT_TRUE(test::spinUntil(
        [&] {
            pid_t grim = sway.spawn({"grim", file.string()}, {"WAYLAND_DISPLAY=wayland-1"}, "grim.log");
            int status = -1;
            ::waitpid(grim, &status, 0);
            shot = QImage(QString::fromStdString(file.string()));
            return !shot.isNull() && dark(shot.pixel(960, 4)) && red(shot.pixel(960 - 250, 200)) &&
                   red(shot.pixel(960 + 250, 200)) && red(shot.pixel(100, 4));
        },
        30000))
        << sway.log("app.log") << sway.log("grim.log");
    if (const char* to = std::getenv("HALVYN_SCREENSHOTS")) shot.save(QString::fromUtf8(to) + "/sway.png");
    EXPECT_EQ(test::occurrences(sway.log("app.log"), "placed through XWayland"), 1) << sway.log("app.log");
}

}  // namespace
}  // namespace halvyn
