// Fullscreen and the frontmost application from the window manager, under Xvfb with openbox:
// test windows are mapped and made fullscreen the way applications ask for it.

#include <gtest/gtest.h>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <memory>

#include "linux/services.h"
#include "platform/linux/ewmh_watcher.h"
#include "platform/linux/linux_processes.h"
#include "runtime/logger.h"

namespace halvyn {
namespace {

using test::spinUntil;

class WindowManager : public ::testing::Test {
protected:
    void SetUp() override {
        if (!test::onPath("Xvfb") || !test::onPath("openbox") || !test::onPath("xprop"))
            HALVYN_SKIP_WITHOUT_SERVICE() << "Xvfb, openbox and xprop are needed (scripts/test installs them)";
        home = test::privateFolder("halvyn-openbox");
        // A display that another test's server held a moment ago can refuse the window manager:
        // then the server and the manager start again on another number.
        bool managed = false;
        for (int attempt = 0; attempt < 4 && !managed; ++attempt) {
            if (attempt > 0) {
                test::stop(wm);
                test::stop(xvfb);
            }
            display = test::startXvfb(600 + (::getpid() + attempt * 37) % 200, xvfb);
            ASSERT_FALSE(display.empty()) << "Xvfb did not start";
            wm = test::spawnWith({"openbox"}, {"DISPLAY=" + display, "HOME=" + home.string()}, (home / "log").string());
            managed = spinUntil([&] { return test::output("xprop -display " + display + " -root _NET_SUPPORTING_WM_CHECK 2>&1").find("window id") != std::string::npos; }, 5000);
        }
        ASSERT_TRUE(managed) << display << " " << test::output("cat " + (home / "log").string());
        c = xcb_connect(display.c_str(), nullptr);
        ASSERT_FALSE(xcb_connection_has_error(c));
        root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
        // The manager announces itself before it manages windows: a probe window, mapped again
        // until it is managed, tells when it does.
        const xcb_window_t probe = window(0, std::string("probe\0Probe\0", 12));
        ASSERT_TRUE(spinUntil([&] {
            if (clients().find("0x") != std::string::npos) return true;
            xcb_unmap_window(c, probe);
            xcb_map_window(c, probe);
            xcb_flush(c);
            spinUntil([] { return false; }, 200);
            return false;
        }, 20000));
        xcb_destroy_window(c, probe);
        xcb_flush(c);
        ASSERT_TRUE(spinUntil([&] { return clients().find("0x") == std::string::npos; }));
        watcher = std::make_unique<EwmhWatcher>(display, Logger(&logs, "com.halvyn.app", "WindowManager"));
        ASSERT_TRUE(watcher->connected());
    }
    void TearDown() override {
        watcher.reset();
        if (c) xcb_disconnect(c);
        test::stop(wm);
        test::stop(xvfb);
        if (!home.empty()) std::filesystem::remove_all(home);
    }

    std::string clients() { return test::output("xprop -display " + display + " -root _NET_CLIENT_LIST 2>&1"); }
    xcb_atom_t atom(const char* name) {
        auto* r = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr);
        const xcb_atom_t a = r ? r->atom : 0;
        std::free(r);
        return a;
    }
    xcb_window_t window(std::uint32_t pid, const std::string& wmClass) {
        const xcb_window_t w = xcb_generate_id(c);
        xcb_create_window(c, XCB_COPY_FROM_PARENT, w, root, 0, 0, 200, 100, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                          XCB_COPY_FROM_PARENT, 0, nullptr);
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, atom("_NET_WM_PID"), XCB_ATOM_CARDINAL, 32, 1, &pid);
        xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8,
                            static_cast<std::uint32_t>(wmClass.size()), wmClass.data());
        xcb_map_window(c, w);
        xcb_flush(c);
        return w;
    }
    // What an application sends to be made fullscreen, or to leave it.
    void fullscreen(xcb_window_t w, bool on) {
        xcb_client_message_event_t e{};
        e.response_type = XCB_CLIENT_MESSAGE;
        e.format = 32;
        e.window = w;
        e.type = atom("_NET_WM_STATE");
        e.data.data32[0] = on ? 1 : 0;
        e.data.data32[1] = atom("_NET_WM_STATE_FULLSCREEN");
        e.data.data32[3] = 1;
        xcb_send_event(c, 0, root, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char*>(&e));
        xcb_flush(c);
    }

    std::string display;
    std::filesystem::path home;
    pid_t xvfb = -1, wm = -1;
    xcb_connection_t* c = nullptr;
    xcb_window_t root = 0;
    CaptureLogSink logs;
    std::unique_ptr<EwmhWatcher> watcher;
};

TEST_F(WindowManager, FollowsTheActiveWindowAndItsFullscreenStateUntilTheServerDies) {
    LinuxProcesses processes(watcher.get());
    std::vector<RunningApplication> activations;
    auto activation = processes.observeActivation([&](const RunningApplication& app) { activations.push_back(app); });
    int fullscreenChanges = 0;
    auto fs = watcher->onFullscreenChanged([&] { ++fullscreenChanges; });

    const std::uint32_t self = static_cast<std::uint32_t>(::getpid());
    const xcb_window_t first = window(self, std::string("halvyn-test\0org.halvyn.Test\0", 29));
    ASSERT_TRUE(spinUntil([&] { return watcher->active() && watcher->active()->window == first; }));
    ASSERT_EQ(activations.size(), 1u);
    EXPECT_EQ(activations[0].pid, ::getpid());
    EXPECT_EQ(activations[0].bundleIdentifier, "org.halvyn.Test");
    EXPECT_FALSE(watcher->activeIsFullscreen());

    fullscreen(first, true);
    ASSERT_TRUE(spinUntil([&] { return watcher->activeIsFullscreen(); }));
    fullscreen(first, false);
    ASSERT_TRUE(spinUntil([&] { return !watcher->activeIsFullscreen(); }));
    EXPECT_EQ(fullscreenChanges, 2);

    // Another application comes to the front: the Xvfb process stands in for it.
    window(static_cast<std::uint32_t>(xvfb), std::string("other\0Other\0", 12));
    ASSERT_TRUE(spinUntil([&] { return activations.size() == 2; }));
    EXPECT_EQ(activations[1].pid, xvfb);
    EXPECT_EQ(activations[1].name, "Xvfb");
    EXPECT_EQ(processes.frontmostApplication()->bundleIdentifier, "Other");
    EXPECT_EQ(processes.runningApplications().size(), 2u);
    EXPECT_EQ(processes.runningApplications("Other").size(), 1u);
    EXPECT_TRUE(logs.lines.empty());

    // The server dies: one line, and nothing is frontmost.
    test::stop(wm);
    test::stop(xvfb);
    ASSERT_TRUE(spinUntil([&] { return !watcher->active().has_value(); }));
    EXPECT_FALSE(watcher->connected());
    EXPECT_EQ(logs.lines.size(), 1u);
    EXPECT_FALSE(processes.frontmostApplication().has_value());
}

TEST(LinuxProcessesKernel, SignalsStateAndPgrepWithoutAShell) {
    LinuxProcesses processes(nullptr);
    EXPECT_TRUE(processes.sendSignal(::getpid(), ProcessSignal::probe));
    EXPECT_FALSE(processes.sendSignal(0, ProcessSignal::probe)) << "never a process group";
    EXPECT_FALSE(processes.sendSignal(-1, ProcessSignal::kill));
    const ProcessStatus self = processes.status(::getpid());
    EXPECT_TRUE(self.ok);
    EXPECT_FALSE(self.stopped);
    EXPECT_FALSE(processes.status(0).ok);
    if (test::onPath("pgrep")) {
        EXPECT_EQ(processes.pgrep("no-such-process-halvyn"), std::string());
        // A name that a shell would run is only a pattern.
        EXPECT_TRUE(processes.pgrep("x; touch /tmp/halvyn-pwned").has_value());
        EXPECT_FALSE(std::filesystem::exists("/tmp/halvyn-pwned"));
    }
    EXPECT_FALSE(processes.frontmostApplication().has_value());
}

}  // namespace
}  // namespace halvyn
