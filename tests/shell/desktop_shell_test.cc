// The desktop's side of the application state: named windows from registered factories, opened
// once and re-fronted, and a window the user closes reported back.

#include <QWidget>
#include <gtest/gtest.h>

#include "app/app_state.h"
#include "settings/defaults.h"
#include "settings/keys.h"
#include "shell/desktop_shell.h"
#include "shell/event_loop.h"
#include "shell/shell_fixture.h"

namespace halvyn {
namespace {

class DesktopShellTest : public test::ShellTest {
protected:
    DesktopShellTest() : shell(ctx->appState(), nullptr) {
        defaults().set(keys::isFirstLaunch, false);
        ctx->appState().setShell(&shell);
    }
    ~DesktopShellTest() override { ctx->appState().setShell(nullptr); }
    DesktopShell shell;
};

TEST_F(DesktopShellTest, OpensOnceRefrontsAndHearsTheUserClose) {
    int made = 0;
    shell.registerWindow("settings", [&made] {
        ++made;
        return std::make_unique<QWidget>();
    });
    AppState& app = ctx->appState();
    app.openSettings();
    app.openSettings();
    EXPECT_EQ(made, 1);
    QWidget* w = shell.window("settings");
    ASSERT_TRUE(w);
    EXPECT_TRUE(w->isVisible());
    EXPECT_TRUE(app.isWindowOpen("settings"));

    // The user closes it: the state hears it on a later turn and goes back to accessory.
    w->close();
    ASSERT_TRUE(test::spinUntil([&] { return !app.isWindowOpen("settings"); }));
    EXPECT_EQ(shell.window("settings"), nullptr);
    EXPECT_EQ(app.activationPolicy.get(), ActivationPolicy::accessory);
    // Opened again: a new window.
    app.reopen();
    EXPECT_EQ(made, 2);
    app.closeWindow("settings");
    EXPECT_EQ(shell.window("settings"), nullptr);
    EXPECT_FALSE(app.isWindowOpen("settings"));
}

TEST_F(DesktopShellTest, AWindowNobodyRegisteredIsNotOpened) {
    EXPECT_FALSE(shell.openWindow("about"));
    ctx->appState().openWindow("about");
    EXPECT_FALSE(ctx->appState().isWindowOpen("about"));
    EXPECT_TRUE(logs.contains("No about window in this program"));
}

}  // namespace
}  // namespace halvyn
