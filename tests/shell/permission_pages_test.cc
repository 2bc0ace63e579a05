// The permission pages as windows walking the first launch's chain, and the settings tabs'
// permission banners following the sources' permissions and the prompts.

#include "shell/permission_pages.h"

#include <QLabel>
#include <QPushButton>

#include "app/app_state.h"
#include "platform/sim/sim_calendar.h"
#include "shell/desktop_shell.h"
#include "shell/event_loop.h"
#include "shell/qt_screens.h"
#include "shell/settings_window.h"
#include "shell/shell_fixture.h"

namespace halvyn {
namespace {

class PermissionPagesTest : public test::ShellTest {
public:
    PermissionPagesTest() {
        registerSettingsWindows(shell, *ctx);
        app.setShell(&shell);
    }
    ~PermissionPagesTest() override { app.setShell(nullptr); }
    PermissionPageWindow* page(PermissionPage p) {
        return dynamic_cast<PermissionPageWindow*>(shell.window(windowName(p)));
    }
    bool shown(PermissionPage p) { return page(p) && page(p)->isVisible(); }
    // In the middle of the notch's screen, whatever the window manager would do.
    void expectCentred(PermissionPage p) {
        const QRect area = QtScreens::toToolkit(notch().targetScreen()->visibleFrame);
        const QPoint off = page(p)->geometry().center() - area.center();
        EXPECT_LE(off.manhattanLength(), 4) << windowName(p) << " " << off.x() << "," << off.y();
    }

    AppState& app = ctx->appState();
    DesktopShell shell{app, nullptr};
};

TEST_F(PermissionPagesTest, FirstLaunchWalksThePagesToTheNotchSayingWhatThisDesktopUses) {
    app.setup();
    ASSERT_TRUE(shown(PermissionPage::music));
    PermissionPageWindow* music = page(PermissionPage::music);
    ASSERT_NE(music, nullptr);
    EXPECT_EQ(music->continueButton()->text(), "Continue");
    // A second opening brings the same window forward.
    app.showPage(PermissionPage::music);
    EXPECT_EQ(page(PermissionPage::music), music);
    EXPECT_EQ(app.openPages().size(), 1u);

    const std::pair<PermissionPage, const char*> chain[] = {{PermissionPage::music, "MPRIS"},
                                                            {PermissionPage::browser, "MPRIS"},
                                                            {PermissionPage::bluetooth, "BlueZ"}};
    for (const auto& [p, uses] : chain) {
        SCOPED_TRACE(windowName(p));
        ASSERT_TRUE(shown(p));
        expectCentred(p);
        EXPECT_TRUE(page(p)->textLabel()->text().contains(uses));
        page(p)->continueButton()->click();
        EXPECT_FALSE(shown(p));
    }
    ASSERT_TRUE(shown(PermissionPage::onboarding));
    expectCentred(PermissionPage::onboarding);
    // The welcome says how the notch opens as the settings start: by a click or a swipe down.
    ASSERT_FALSE(keys::expandNotchOnHover.defaultValue);
    ASSERT_TRUE(keys::swipeToToggle.defaultValue);
    const QString welcome = page(PermissionPage::onboarding)->textLabel()->text();
    EXPECT_TRUE(welcome.startsWith("Click the notch, or swipe down on it,")) << welcome.toStdString();
    EXPECT_FALSE(welcome.contains("Hover"));
    // The menu's way in on every desktop, tray or not.
    EXPECT_TRUE(page(PermissionPage::onboarding)->textLabel()->text().contains("Right-click the notch"));
    EXPECT_TRUE(defaults().get(keys::isFirstLaunch));
    EXPECT_FALSE(notch().isEnabled.get());
    page(PermissionPage::onboarding)->continueButton()->click();
    EXPECT_FALSE(shown(PermissionPage::onboarding));
    EXPECT_FALSE(defaults().get(keys::isFirstLaunch));
    at(1);
    EXPECT_TRUE(notch().isEnabled.get());
    EXPECT_TRUE(app.windows.get().empty());
}

TEST_F(PermissionPagesTest, SettingsOpenOnceWithBannersAndClosingTheLastWindowIsReported) {
    defaults().set(keys::isFirstLaunch, false);
    app.setup();
    app.openSettings();
    auto* window = dynamic_cast<SettingsWindow*>(shell.window(AppState::kSettings));
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    window->selectTab(SettingsTab::calendar);
    // Reopening the application brings the same window forward.
    app.reopen();
    EXPECT_EQ(shell.window(AppState::kSettings), window);
    EXPECT_EQ(window->currentTab(), SettingsTab::calendar);
    // The sim's calendar store is not allowed yet: the banner is there.
    EXPECT_EQ(window->bannerTexts(SettingsTab::calendar).size(), 1u);
    window->close();
    EXPECT_TRUE(test::spinUntil([&] { return !app.isWindowOpen(AppState::kSettings); }));
    EXPECT_EQ(app.activationPolicy.get(), ActivationPolicy::accessory);
    EXPECT_EQ(shell.window(AppState::kSettings), nullptr);
}

TEST_F(PermissionPagesTest, BannersFollowThePermissionsAndTheirPrompts) {
    auto& calendar = sim->simCalendarStore();
    calendar.authorization = CalendarAuthorization::notDetermined;
    calendar.grantsAccess = false;
    sim->simLocation().authorization = LocationAuthorization::notDetermined;
    sim->simBluetooth().setAuthorization(BluetoothAuthorization::notDetermined);
    SettingsWindow window(*ctx);
    installPermissionBanners(window, app, *ctx);
    auto texts = [&window](SettingsTab tab) {
        std::vector<std::string> out;
        for (QLabel* l : window.bannerTexts(tab)) out.push_back(l->text().toStdString());
        return out;
    };
    auto button = [&window](SettingsTab tab, std::size_t i) -> std::string {
        const auto buttons = window.bannerButtons(tab);
        if (i >= buttons.size()) return "(no banner)";
        return buttons[i] ? buttons[i]->text().toStdString() : "(no button)";
    };
    // Calendar: the calendar banner; location only once the time to leave needs it.
    EXPECT_EQ(texts(SettingsTab::calendar), std::vector<std::string>{"Halvyn needs your permission\nto access your events."});
    EXPECT_EQ(button(SettingsTab::calendar, 0), "Ask Permission...");
    EXPECT_TRUE(texts(SettingsTab::lockScreen).empty());
    EXPECT_EQ(button(SettingsTab::connectivity, 0), "(no button)");
    defaults().set(keys::notifyWhenTimeToLeave, true);
    defaults().set(keys::allowWeatherWidgetWhenLocked, true);
    at(0.1);
    EXPECT_EQ(texts(SettingsTab::calendar).size(), 2u);
    EXPECT_EQ(button(SettingsTab::lockScreen, 0), "Ask Permission...");

    // Asking records the prompt; refused, the banner now leads to the system settings.
    window.bannerButtons(SettingsTab::calendar)[0]->click();
    at(0.2);
    EXPECT_TRUE(defaults().get(keys::hasPromptedCalendarPermission));
    EXPECT_EQ(button(SettingsTab::calendar, 0), "Open Settings...");
    // Location asked from the lock-screen tab and allowed: its banners go from both tabs.
    window.bannerButtons(SettingsTab::lockScreen)[0]->click();
    at(0.3);
    EXPECT_TRUE(texts(SettingsTab::lockScreen).empty());
    EXPECT_EQ(texts(SettingsTab::calendar).size(), 1u);
    // Bluetooth allowed elsewhere: its banner goes at once.
    sim->simBluetooth().setAuthorization(BluetoothAuthorization::allowedAlways);
    at(0.4);
    EXPECT_TRUE(texts(SettingsTab::connectivity).empty());
    sim->simBluetooth().setAuthorization(BluetoothAuthorization::denied);
    at(0.5);
    EXPECT_EQ(button(SettingsTab::connectivity, 0), "Open Settings...");
}

}  // namespace
}  // namespace halvyn
