// Links open through the real xdg-open, with the user's choice of handler set in a private
// configuration; copied text lands on the clipboard.

#include "platform/linux/desktop_links.h"

#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>

#include <fstream>

#include "linux/services.h"
#include "runtime/logger.h"

namespace halvyn {
namespace {

namespace fs = std::filesystem;

std::string readFile(const fs::path& p) {
    std::ifstream in(p);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(DesktopLinks, AURLOpensWithTheUsersHandlerAsOneArgument) {
    if (!test::onPath("xdg-open")) GTEST_SKIP() << "xdg-open is needed (scripts/test installs xdg-utils)";
    const fs::path dir = test::privateFolder("halvyn-links");
    fs::create_directories(dir / "data/applications");
    fs::create_directories(dir / "config");
    const fs::path opened = dir / "opened";
    {
        std::ofstream script(dir / "record");
        script << "#!/bin/sh\nprintf '%s\\n' \"$@\" >> '" << opened.string() << "'\n";
    }
    fs::permissions(dir / "record", fs::perms::owner_all);
    std::ofstream(dir / "data/applications/recorder.desktop")
        << "[Desktop Entry]\nType=Application\nName=Recorder\nExec=" << (dir / "record").string()
        << " %u\nMimeType=x-scheme-handler/https;\n";
    std::ofstream(dir / "config/mimeapps.list") << "[Default Applications]\nx-scheme-handler/https=recorder.desktop\n";
    test::ScopedEnv data("XDG_DATA_HOME", (dir / "data").string()),
        config("XDG_CONFIG_HOME", (dir / "config").string()), display("DISPLAY", ":999"),
        desktop("XDG_CURRENT_DESKTOP", "");

    CaptureLogSink logs;
    DesktopLinks links(&logs);
    // Shell syntax in a meeting link stays text; a space is encoded.
    EXPECT_TRUE(links.openURL("https://meet.example.com/j/1 2?pwd=$(touch x);rm"));
    EXPECT_TRUE(test::spinUntil([&] { return fs::exists(opened) && !readFile(opened).empty(); }, 10000));
    EXPECT_EQ(readFile(opened), "https://meet.example.com/j/1%202?pwd=$(touch%20x);rm\n");

    // Text without a scheme never reaches the opener, so it cannot pass as an option.
    EXPECT_FALSE(links.openURL("--help"));
    EXPECT_FALSE(links.openURL(""));
    EXPECT_TRUE(logs.contains("Not a URL, not opened: --help"));

    // Offered only where it leads somewhere: the Mac's settings panes have no handler here.
    EXPECT_TRUE(links.canOpen("https://example.com"));
    EXPECT_FALSE(links.canOpen("x-apple.systempreferences:com.apple.preference.security?Privacy_Calendars"));
    EXPECT_FALSE(links.canOpen("no scheme"));
    EXPECT_FALSE(links.openURL("ical://ekevent/20261206T100000Z/1?method=show"));
    EXPECT_TRUE(logs.contains("Cannot open ical://ekevent/20261206T100000Z/1?method=show: no application here opens ical links"));
    fs::remove_all(dir);
}

TEST(DesktopLinks, AMissingOpenerIsAFailure) {
    CaptureLogSink logs;
    DesktopLinks links(&logs, "halvyn-no-such-opener");
    EXPECT_FALSE(links.openURL("https://example.com"));
    EXPECT_FALSE(links.canOpen("https://example.com"));
    EXPECT_TRUE(logs.contains("Cannot open https://example.com: halvyn-no-such-opener is not installed"));
}

TEST(DesktopLinks, CopiedTextReplacesTheClipboard) {
    CaptureLogSink logs;
    DesktopLinks links(&logs);
    links.setString("https://music.example.com/song/1");
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), "https://music.example.com/song/1");
    links.clearContents();
    EXPECT_TRUE(QGuiApplication::clipboard()->text().isEmpty());
}

}  // namespace
}  // namespace halvyn
