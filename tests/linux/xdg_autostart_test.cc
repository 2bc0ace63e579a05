// The autostart entry that starts the program at login, written into a private XDG_CONFIG_HOME
// and checked by the freedesktop validator.

#include "platform/linux/xdg_autostart.h"

#include <gtest/gtest.h>

#include <fstream>

#include "app/app_state.h"
#include "app/context.h"
#include "linux/services.h"
#include "settings/defaults.h"
#include "shell/desktop_platform.h"
#include "shell/event_loop.h"
#include "shell/real_time.h"

namespace halvyn {
namespace {

namespace fs = std::filesystem;

using test::readFile;

TEST(XdgAutostart, ExecArgumentsAreQuotedAndEscapedForTheEntry) {
    EXPECT_EQ(desktopExecArgument("/usr/bin/halvyn"), "/usr/bin/halvyn");
    EXPECT_EQ(desktopExecArgument("/opt/My Apps/halvyn"), "\"/opt/My Apps/halvyn\"");
    // Inside quotes '$' is escaped; the escaping backslash is itself escaped in the file.
    EXPECT_EQ(desktopExecArgument("/a$b"), "\"/a\\\\$b\"");
    EXPECT_EQ(desktopExecArgument("/a\\b"), "\"/a\\\\\\\\b\"");
    EXPECT_EQ(desktopExecArgument("/a\"b`c"), "\"/a\\\\\"b\\\\`c\"");
    // '%' would start a field code, quoted or not.
    EXPECT_EQ(desktopExecArgument("/100%/halvyn"), "/100%%/halvyn");
    EXPECT_EQ(desktopExecArgument("/x\ny"), "\"/x\\ny\"");
    EXPECT_EQ(desktopExecArgument(""), "\"\"");
}

TEST(XdgAutostart, RoundTripInAPrivateConfigFolderPassesTheValidator) {
    const fs::path home = test::privateFolder("halvyn-autostart");
    {
        // A relative one is not the user's: the home folder's is.
        test::ScopedEnv relative("XDG_CONFIG_HOME", "relative/config"), user("HOME", "/home/someone");
        EXPECT_EQ(xdgConfigHome(), fs::path("/home/someone/.config"));
    }
    test::ScopedEnv env("XDG_CONFIG_HOME", home.string());
    ASSERT_EQ(xdgConfigHome(), home);
    // An awkward install path: spaces, a '$', a '%' and quotes all survive the entry's rules.
    XdgAutostart autostart(*xdgConfigHome() / "autostart", "app.halvyn.Halvyn", "Halvyn",
                           "/opt/My \"Tools\"/100% $HOME/halvyn");
    EXPECT_FALSE(autostart.isRegistered());
    std::string error;
    ASSERT_TRUE(autostart.setRegistered(true, &error)) << error;
    const fs::path entry = home / "autostart" / "app.halvyn.Halvyn.desktop";
    EXPECT_EQ(autostart.entryPath(), entry);
    ASSERT_TRUE(fs::is_regular_file(entry));
    EXPECT_TRUE(autostart.isRegistered());
    const std::string text = readFile(entry);
    EXPECT_NE(text.find("Exec=\"/opt/My \\\\\"Tools\\\\\"/100%% \\\\$HOME/halvyn\"\n"), std::string::npos) << text;
    EXPECT_NE(text.find("X-GNOME-Autostart-enabled=true\n"), std::string::npos);
    // Nothing left behind but the entry.
    EXPECT_EQ(std::distance(fs::directory_iterator(home / "autostart"), fs::directory_iterator()), 1);
    if (test::onPath("desktop-file-validate")) {
        const std::string out = test::output("desktop-file-validate '" + entry.string() + "' 2>&1; echo status=$?");
        EXPECT_EQ(out, "status=0\n");
    }
    // Registering again replaces the entry; a switched-off entry is not a registration.
    ASSERT_TRUE(autostart.setRegistered(true, &error)) << error;
    std::ofstream(entry, std::ios::app) << "Hidden=true\n";
    EXPECT_FALSE(autostart.isRegistered());

    ASSERT_TRUE(autostart.setRegistered(false, &error)) << error;
    EXPECT_FALSE(fs::exists(entry));
    EXPECT_FALSE(autostart.isRegistered());
    // Unregistering what is not there succeeds.
    EXPECT_TRUE(autostart.setRegistered(false, &error));
    fs::remove_all(home);
}

TEST(XdgAutostart, AnUnusableFolderFailsWithItsReasonAndChangesNothing) {
    const fs::path home = test::privateFolder("halvyn-autostart-bad");
    // A file where the folder should be: no permission bits involved, so it fails for root too.
    std::ofstream(home / "autostart") << "not a folder";
    XdgAutostart blocked(home / "autostart", "app.halvyn.Halvyn", "Halvyn", "/usr/bin/halvyn");
    std::string error;
    EXPECT_FALSE(blocked.setRegistered(true, &error));
    EXPECT_NE(error.find((home / "autostart").string()), std::string::npos) << error;
    EXPECT_EQ(readFile(home / "autostart"), "not a folder");

    // An entry that cannot be removed (a folder in its place) is a failure, not a success.
    fs::create_directories(home / "other" / "app.halvyn.Halvyn.desktop" / "inside");
    XdgAutostart stuck(home / "other", "app.halvyn.Halvyn", "Halvyn", "/usr/bin/halvyn");
    error.clear();
    EXPECT_FALSE(stuck.setRegistered(false, &error));
    EXPECT_NE(error.find("app.halvyn.Halvyn.desktop"), std::string::npos) << error;
    EXPECT_FALSE(stuck.setRegistered(true, &error));
    EXPECT_TRUE(fs::is_directory(home / "other" / "app.halvyn.Halvyn.desktop" / "inside"));

    XdgAutostart homeless(std::nullopt, "app.halvyn.Halvyn", "Halvyn", "/usr/bin/halvyn");
    error.clear();
    EXPECT_FALSE(homeless.setRegistered(true, &error));
    EXPECT_FALSE(error.empty());
    fs::remove_all(home);
}

// The desktop program's own road: the "Launch at login" setting, the application state's
// observer, the desktop platform's autostart entry in the user's configuration folder. (What a
// failure does to the setting is the application state's rule, tested with it.)
TEST(XdgAutostart, LaunchAtLoginWritesAndRemovesTheEntryOfThisProgram) {
    const fs::path home = test::privateFolder("halvyn-autostart-app");
    test::ScopedEnv env("XDG_CONFIG_HOME", home.string());
    CaptureLogSink logs;
    auto runtime = std::make_unique<RealTime>();
    auto platform = std::make_unique<DesktopPlatform>(runtime->main(), runtime->background(), &logs, std::nullopt);
    Context ctx(std::move(runtime), std::move(platform), &logs);
    ctx.appState().setup();
    const fs::path entry = home / "autostart" / "app.halvyn.Halvyn.desktop";
    ctx.defaults().set(keys::launchAtLogin, true);
    ASSERT_TRUE(test::spinUntil([&] { return fs::exists(entry); }));
    // The entry starts this very program by its full path.
    const std::string self = fs::canonical("/proc/self/exe").string();
    EXPECT_NE(readFile(entry).find("Exec=" + desktopExecArgument(self) + "\n"), std::string::npos) << readFile(entry);
    ctx.defaults().set(keys::launchAtLogin, false);
    ASSERT_TRUE(test::spinUntil([&] { return !fs::exists(entry); }));
    fs::remove_all(home);
}

}  // namespace
}  // namespace halvyn
