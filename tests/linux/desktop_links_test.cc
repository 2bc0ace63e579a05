// Links open through the real xdg-open, with the user's choice of handler set in a private
// configuration; copied text lands on the clipboard.

#include "platform/linux/desktop_links.h"

#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>

#include <chrono>
#include <cstdlib>

#include "linux/services.h"
#include "runtime/logger.h"

namespace halvyn {
namespace {

namespace fs = std::filesystem;

using test::readFile;
using test::writeFile;

// A private desktop configuration whose recorder takes secure web and FaceTime links.
struct RecordingDesktop {
    RecordingDesktop() {
        std::string types, defaults = "[Default Applications]\n";
        for (const char* scheme : {"https", "facetime", "file", "smb", "http"}) {
            types += std::string("x-scheme-handler/") + scheme + ";";
            defaults += std::string("x-scheme-handler/") + scheme + "=recorder.desktop\n";
        }
        writeFile(dir / "record", "#!/bin/sh\nprintf '%s\\n' \"$@\" >> '" + opened.string() + "'\n", fs::perms::owner_all);
        writeFile(dir / "data/applications/recorder.desktop", "[Desktop Entry]\nType=Application\nName=Recorder\nExec=" +
                                                                  (dir / "record").string() + " %u\nMimeType=" + types + "\n");
        writeFile(dir / "config/mimeapps.list", defaults);
    }
    ~RecordingDesktop() { fs::remove_all(dir); }
    std::string recorded() const { return readFile(opened); }

    fs::path dir = test::privateFolder("halvyn-links");
    fs::path opened = dir / "opened";
    test::ScopedEnv data{"XDG_DATA_HOME", (dir / "data").string()}, config{"XDG_CONFIG_HOME", (dir / "config").string()},
        display{"DISPLAY", ":999"}, desktop{"XDG_CURRENT_DESKTOP", ""};
};

TEST(DesktopLinks, OnlySecureWebLinksAndTheProgramsOwnSchemesReachTheHandlerAsOneArgument) {
    if (!test::onPath("xdg-open") || !test::onPath("xdg-mime"))
        HALVYN_SKIP_WITHOUT_SERVICE() << "xdg-open is needed (scripts/test installs xdg-utils)";
    RecordingDesktop desktop;
    CaptureLogSink logs;
    DesktopLinks links(&logs);
    // Shell syntax in a meeting link stays text; a space is encoded.
    EXPECT_TRUE(links.openURL("https://meet.example.com/j/1 2?pwd=$(touch x);rm"));
    EXPECT_TRUE(test::spinUntil([&] { return !desktop.recorded().empty(); }, 10000));
    EXPECT_EQ(desktop.recorded(), "https://meet.example.com/j/1%202?pwd=$(touch%20x);rm\n");

    // Every other scheme is refused, even where the user's configuration has a handler for it.
    for (const char* refused : {"file:///home/u/Downloads/zoom.us/j/run.desktop", "smb://attacker.example/share/zoom.us/j/1",
                                "http://zoom.us/j/1", "mailto:a@example.com", "javascript:alert(1)"}) {
        EXPECT_FALSE(links.canOpen(refused)) << refused;
        EXPECT_FALSE(links.openURL(refused)) << refused;
    }
    // Text without a scheme never reaches the opener, so it cannot pass as an option.
    EXPECT_FALSE(links.openURL("--help"));
    EXPECT_FALSE(links.openURL(""));

    // The program's own schemes open where a handler takes them, once the handler is known; the
    // Mac's settings panes and calendar have none here.
    EXPECT_TRUE(links.openURL("facetime://user@example.com"));
    EXPECT_TRUE(test::spinUntil([&] { return desktop.recorded().find("facetime://user@example.com\n") != std::string::npos; }, 10000));
    EXPECT_TRUE(links.canOpen("facetime://user@example.com"));
    EXPECT_TRUE(links.canOpen("https://example.com"));
    EXPECT_FALSE(links.canOpen("x-apple.systempreferences:com.apple.preference.security?Privacy_Calendars"));
    EXPECT_FALSE(links.canOpen("no scheme"));
    EXPECT_FALSE(links.openURL("ical://ekevent/20261206T100000Z/1?method=show"));
    EXPECT_EQ(desktop.recorded(), "https://meet.example.com/j/1%202?pwd=$(touch%20x);rm\nfacetime://user@example.com\n");
}

// Asking for a scheme's handler never holds the window: a handler look-up that hangs is given up
// on in the background, and meanwhile the scheme counts as not handled.
TEST(DesktopLinks, AHandlerLookUpThatHangsNeverBlocksTheCaller) {
    if (!test::onPath("xdg-open")) HALVYN_SKIP_WITHOUT_SERVICE() << "xdg-open is needed (scripts/test installs xdg-utils)";
    const fs::path dir = test::privateFolder("halvyn-links-hang");
    writeFile(dir / "xdg-mime", "#!/bin/sh\nexec sleep 30\n", fs::perms::owner_all);
    test::ScopedEnv path("PATH", dir.string() + ":" + std::getenv("PATH"));
    CaptureLogSink logs;
    DesktopLinks links(&logs);
    const auto begin = std::chrono::steady_clock::now();
    EXPECT_FALSE(links.canOpen("ical://ekevent/1"));
    EXPECT_TRUE(links.openURL("facetime://user@example.com"));  // waits for the answer, not here
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::milliseconds(1000));
    EXPECT_TRUE(test::spinUntil(
        [&] { return logs.contains("Cannot open facetime://user@example.com: no application here opens facetime links"); },
        10000));
    EXPECT_FALSE(links.canOpen("facetime://user@example.com"));
    fs::remove_all(dir);
}

// The program asks only once its first frame is out; a link needed before that asks for itself.
TEST(DesktopLinks, HandlersNotAskedYetAreAskedWhenALinkNeedsThem) {
    if (!test::onPath("xdg-open") || !test::onPath("xdg-mime"))
        HALVYN_SKIP_WITHOUT_SERVICE() << "xdg-open is needed (scripts/test installs xdg-utils)";
    RecordingDesktop desktop;
    CaptureLogSink logs;
    DesktopLinks links(&logs, "xdg-open", false);
    EXPECT_FALSE(links.canOpen("ical://ekevent/1"));  // being asked
    EXPECT_TRUE(links.openURL("facetime://user@example.com"));
    EXPECT_TRUE(test::spinUntil([&] { return desktop.recorded() == "facetime://user@example.com\n"; }, 10000));
    links.askHandlers();
    EXPECT_TRUE(links.canOpen("facetime://user@example.com"));
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
