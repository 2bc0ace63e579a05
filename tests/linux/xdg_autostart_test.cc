// The autostart entry that starts the program at login, written into a private XDG_CONFIG_HOME
// and checked by the freedesktop validator.

#include "platform/linux/xdg_autostart.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "linux/services.h"

namespace halvyn {
namespace {

namespace fs = std::filesystem;

class ConfigHome {
public:
    explicit ConfigHome(const std::string& value) {
        if (const char* old = std::getenv("XDG_CONFIG_HOME")) old_ = old;
        ::setenv("XDG_CONFIG_HOME", value.c_str(), 1);
    }
    ~ConfigHome() {
        if (old_) ::setenv("XDG_CONFIG_HOME", old_->c_str(), 1);
        else ::unsetenv("XDG_CONFIG_HOME");
    }

private:
    std::optional<std::string> old_;
};

std::string readFile(const fs::path& p) {
    std::ifstream in(p);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

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
    ConfigHome env(home.string());
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

TEST(XdgAutostart, ARelativeConfigHomeFallsBackToTheHomeFolder) {
    ConfigHome env("relative/config");
    const char* home = std::getenv("HOME");
    if (!home || !*home) GTEST_SKIP() << "no HOME";
    EXPECT_EQ(xdgConfigHome(), fs::path(home) / ".config");
}

}  // namespace
}  // namespace halvyn
