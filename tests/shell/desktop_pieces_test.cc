// The desktop program's adapters and start-up, in process on the offscreen platform.

#include <QApplication>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QMenu>
#include <QScreen>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sys/wait.h>

#include "app/app_state.h"
#include "settings/json_value.h"
#include "shell/context_levels.h"
#include "shell/desktop_app.h"
#include "shell/desktop_shell.h"
#include "shell/event_loop.h"
#include "shell/notch_window.h"
#include "shell/qt_screens.h"
#include "shell/real_time.h"
#include "shell/shell_fixture.h"
#include "shell/status_item.h"
#include "linux/services.h"

namespace halvyn {
namespace {

// A settings file's settings, without the times kept beside them for syncing.
std::map<std::string, Value> settingsIn(const std::string& text) {
    std::map<std::string, Value> out;
    if (auto doc = parseJsonObject(text))
        for (const auto& [key, value] : doc->asObject())
            if (!key.starts_with("__DEFAULTS__")) out.emplace(key, value);
    return out;
}

TEST(QtScreensAdapter, ScreensInSystemPointsAndBack) {
    RealTime rt;
    QtScreens screens(rt);
    const auto list = screens.screens();
    ASSERT_FALSE(list.empty());
    const QRect g = QGuiApplication::primaryScreen()->geometry();
    const Screen& s = list.front();
    EXPECT_TRUE(s.mainDisplay);
    EXPECT_EQ(s.frame.width, g.width());
    EXPECT_EQ(s.frame.y, 0) << "the primary screen's bottom is the origin";
    EXPECT_FALSE(s.hasAuxiliaryTopAreas()) << "no camera housing: the drawn notch";
    // A panel flush with the top edge in system points lands at the toolkit's y = 0.
    const Rect panel{s.frame.midX() - 288, s.frame.maxY() - 320, 576, 320};
    EXPECT_EQ(screens.toToolkit(panel), QRect(g.x() + g.width() / 2 - 288, g.y(), 576, 320));
    EXPECT_EQ(screens.fromToolkit(screens.toToolkit(panel)), panel);
    EXPECT_TRUE(QtScreens::isBuiltInName("eDP-1"));
    EXPECT_TRUE(QtScreens::isBuiltInName("LVDS1"));
    EXPECT_FALSE(QtScreens::isBuiltInName("HDMI-1"));
    EXPECT_FALSE(QtScreens::isBuiltInName(""));
}

TEST(WheelEvents, BecomeScrollEventsInTheNotchsTerms) {
    auto make = [](QPoint pixels, QPoint angle, Qt::ScrollPhase phase, bool inverted) {
        return QWheelEvent(QPointF(10, 10), QPointF(10, 10), pixels, angle, Qt::NoButton, Qt::NoModifier, phase,
                           inverted);
    };
    // A trackpad gives pixels, used as they are, with its phase and inversion.
    ScrollEvent e = NotchWindow::scrollEventFrom(make(QPoint(-3, 7), QPoint(-24, 56), Qt::ScrollBegin, true));
    EXPECT_EQ(e.dx, -3);
    EXPECT_EQ(e.dy, 7);
    EXPECT_EQ(e.phase, ScrollPhase::began);
    EXPECT_EQ(e.momentumPhase, ScrollPhase::none);
    EXPECT_TRUE(e.invertedFromDevice);
    EXPECT_EQ(NotchWindow::scrollEventFrom(make(QPoint(0, 1), QPoint(), Qt::ScrollUpdate, false)).phase,
              ScrollPhase::changed);
    EXPECT_EQ(NotchWindow::scrollEventFrom(make(QPoint(0, 1), QPoint(), Qt::ScrollEnd, false)).phase,
              ScrollPhase::ended);
    // Inertia after the fingers lift is a momentum phase, never the fingers' own.
    e = NotchWindow::scrollEventFrom(make(QPoint(0, 5), QPoint(), Qt::ScrollMomentum, false));
    EXPECT_EQ(e.phase, ScrollPhase::none);
    EXPECT_EQ(e.momentumPhase, ScrollPhase::changed);
    // A wheel notch (15 degrees, 120 eighths) counts as 10 points, without phase.
    e = NotchWindow::scrollEventFrom(make(QPoint(), QPoint(0, -120), Qt::NoScrollPhase, false));
    EXPECT_EQ(e.dy, -10);
    EXPECT_EQ(e.phase, ScrollPhase::none);
}

class Levels : public test::ShellTest {};

TEST_F(Levels, ReadingsComeFromTheSourcesAndAreAbsentWithoutTheirService) {
    ContextLevels levels(*ctx);
    EXPECT_EQ(levels.volume(), std::optional<float>(0.5f));  // the simulated built-in speakers
    EXPECT_TRUE(levels.brightness().has_value());
    int changes = 0;
    Subscription s = levels.observe([&](const Animation*) { ++changes; });
    sim->audio().changeVolume(1, 0.7f);
    at(1);
    EXPECT_GT(changes, 0);
    EXPECT_NEAR(*levels.volume(), 0.7f, 1e-6);
    // Amplified past full, the display's level says by how much; muted, it is zero.
    sim->audio().changeVolume(1, 1.2f);
    at(2);
    EXPECT_NEAR(*levels.volume(), 1.2f, 1e-6);
    sim->audio().changeMute(1, true);
    at(3);
    EXPECT_EQ(levels.volume(), std::optional<float>(0.0f));

    // A platform without audio, brightness or power services has no readings at all.
    struct Bare : Platform {};
    Context bare(std::make_unique<VirtualTime>(), std::make_unique<Bare>(), nullptr);
    ContextLevels none(bare);
    EXPECT_FALSE(none.volume().has_value());
    EXPECT_FALSE(none.brightness().has_value());
    EXPECT_FALSE(none.batteryLevel().has_value());
    EXPECT_FALSE(none.outputDeviceSymbol().has_value());
}

using test::readFile;

std::vector<std::string> titles(const QMenu* menu) {
    std::vector<std::string> t;
    for (QAction* a : menu->actions())
        if (!a->isSeparator()) t.push_back(a->text().toStdString());
    return t;
}

class StatusMenu : public test::ShellTest {
protected:
    static QAction* action(const QMenu* menu, const char* title) {
        for (QAction* a : menu->actions())
            if (a->text() == QLatin1String(title)) return a;
        return nullptr;
    }
};

TEST_F(StatusMenu, RendersTheModelAndIsRebuiltOnEveryOpening) {
    defaults().set(keys::isFirstLaunch, true);
    StatusItem item(ctx->appState(), ctx->logger("AppState"));
    item.rebuild();
    EXPECT_EQ(titles(item.menu()), (std::vector<std::string>{"Version 1.0.0", "Quit Halvyn"}));
    EXPECT_EQ(action(item.menu(), "Quit Halvyn")->shortcut(), QKeySequence(QStringLiteral("Ctrl+Q")));
    defaults().set(keys::isFirstLaunch, false);
    Q_EMIT item.menu()->aboutToShow();
    EXPECT_EQ(titles(item.menu()), (std::vector<std::string>{"Play", "Next", "Previous", "Display", "Version 1.0.0",
                                                             "Settings...", "Quit Halvyn"}));
    EXPECT_FALSE(action(item.menu(), "Version 1.0.0")->isEnabled());
    EXPECT_FALSE(action(item.menu(), "Play")->icon().isNull());  // its symbol, from the icon table
    // The display submenu checks the current choice; picking the other writes the setting.
    QMenu* display = action(item.menu(), "Display")->menu();
    ASSERT_TRUE(display);
    EXPECT_TRUE(action(display, "Main Screen")->isChecked());
    EXPECT_FALSE(action(display, "Built-in Display")->isChecked());
    action(display, "Built-in Display")->trigger();
    EXPECT_EQ(defaults().get(keys::showOnDisplay), DisplayType::builtInDisplay);
    // "Settings..." asks the application state for the settings window.
    action(item.menu(), "Settings...")->trigger();
    EXPECT_TRUE(ctx->appState().isWindowOpen("settings"));
    // The offscreen platform has no tray: the item says so once and the program goes on.
    EXPECT_EQ(std::count_if(logs.lines.begin(), logs.lines.end(), [](const CaptureLogSink::Line& l) {
                  return l.level == LogLevel::info && l.message.find("No system tray on this desktop: the status menu opens "
                                                                     "with a right click") != std::string::npos;
              }), 1);
}

TEST(RenderMenu, ImagesFallBackAndTextImagesAreDrawn) {
    const Menu model = {
        MenuItem{.title = "Join Webex", .image = "WebexAppIcon18x18", .fallbackSymbol = "video.fill"},  // no such icon here
        MenuItem{.title = "Speed", .image = "1.5", .submenu = {MenuItem{.title = "1.5x", .checked = true}}, .imageIsText = true},
        MenuItem{.title = "Unknown", .image = "NoSuchAsset"}};
    QMenu menu;
    renderMenu(menu, model);
    const auto actions = menu.actions();
    ASSERT_EQ(actions.size(), 3);
    EXPECT_FALSE(actions[0]->icon().isNull());
    EXPECT_FALSE(actions[1]->icon().isNull());
    ASSERT_TRUE(actions[1]->menu());
    EXPECT_TRUE(actions[1]->menu()->actions()[0]->isChecked());
    EXPECT_TRUE(actions[2]->icon().isNull());  // shown without an image
}

// The program started on a settings file in a private folder.
class DesktopStart : public ::testing::Test {
protected:
    void SetUp() override {
        root = test::privateFolder("halvyn-start");
        dir = root / "halvyn";
        file = dir / "preferences.json";
        std::filesystem::create_directories(dir);
    }
    void TearDown() override { std::filesystem::remove_all(root); }

    std::filesystem::path root, dir, file;
    CaptureLogSink logs;
};

TEST_F(DesktopStart, UnreadableSettingsFileIsKeptAsideAndTheNotchStillShows) {
    std::ofstream(file) << "{ this is not json";
    {
        DesktopApp app(&logs, file);
        app.start();
        // The defaults make it a first launch: the permission pages come first, then the notch.
        ASSERT_NE(app.shell().window("musicPermission"), nullptr);
        EXPECT_FALSE(app.context().notch().isEnabled.get());
        int pages = 0;
        while (app.context().appState().continueOnboarding()) ++pages;
        EXPECT_EQ(pages, 4);
        ASSERT_TRUE(test::spinUntil([&] { return app.context().notch().isVisible.get(); }));
        NotchWindow* w = app.notchWindow();
        ASSERT_NE(w, nullptr);
        EXPECT_TRUE(test::spinUntil([&] { return w->isVisible(); }));
        EXPECT_EQ(w->size(), QSize(576, 320));
        const QRect g = QGuiApplication::primaryScreen()->geometry();
        EXPECT_EQ(w->pos(), QPoint(g.x() + (g.width() - 576) / 2, g.y()));
        // Defaults apply, and a change is saved to a fresh file.
        EXPECT_TRUE(app.context().defaults().get(keys::swipeToToggle));
        app.context().defaults().set(keys::hoverDuration, 0.7);
    }
    EXPECT_TRUE(std::filesystem::exists(dir / "preferences.json.unreadable"));
    EXPECT_NE(readFile(file).find("hoverDuration"), std::string::npos);
}

// The status menu is one right click away on the notch, whether the desktop has a tray or not
// (the offscreen platform has none); a left click there never opens it, nor a right click beside
// the outline.
TEST_F(DesktopStart, ARightClickOnTheNotchOpensTheStatusMenu) {
    std::ofstream(file) << R"({"isFirstLaunch": false})";
    {
        DesktopApp app(&logs, file);
        app.start();
        QMenu* menu = app.statusItem()->menu();
        // Its icons are drawn once the notch's first frame is on the screen, not before.
        EXPECT_TRUE(menu->actions().isEmpty());
        NotchWindow* w = nullptr;
        ASSERT_TRUE(test::spinUntil([&] { return (w = app.notchWindow()) && w->isVisible() && w->framesPainted() > 0; }));
        EXPECT_TRUE(test::spinUntil([&] { return !menu->actions().isEmpty(); }, 2000));
        const QRectF outline = w->scene().outlinePath().boundingRect();
        auto click = [&](QPointF at, Qt::MouseButton button) {
            QMouseEvent press(QEvent::MouseButtonPress, at, w->mapToGlobal(at), button, button, Qt::NoModifier);
            QApplication::sendEvent(w, &press);
            QMouseEvent release(QEvent::MouseButtonRelease, at, w->mapToGlobal(at), button, Qt::NoButton, Qt::NoModifier);
            QApplication::sendEvent(w, &release);
        };
        click(QPointF(outline.left() - 20, outline.center().y()), Qt::RightButton);
        click(outline.center(), Qt::LeftButton);
        EXPECT_FALSE(menu->isVisible());
        click(outline.center(), Qt::RightButton);
        ASSERT_TRUE(test::spinUntil([&] { return menu->isVisible(); }));
        EXPECT_EQ(titles(menu), (std::vector<std::string>{"Play", "Next", "Previous", "Display", "Version 1.0.0",
                                                    "Settings...", "Quit Halvyn"}));
        // Hanging from the outline's bottom, centred under it.
        const QPoint under = w->mapToGlobal(QPoint(static_cast<int>(outline.center().x()), static_cast<int>(outline.bottom())));
        EXPECT_EQ(menu->geometry().top(), under.y());
        EXPECT_LE(menu->geometry().left(), under.x());
        EXPECT_GE(menu->geometry().right(), under.x());
        menu->hide();
        // Launching again opens the settings.
        app.reopen();
        EXPECT_TRUE(app.context().appState().isWindowOpen("settings"));
        // Ended while the notch is open.
        app.context().notch().setExpanded(true, false);
        EXPECT_TRUE(test::spinUntil([&] { return app.context().notch().isExpanded.get(); }));
    }
}

// The settings file on the real file watch. A hand edit that a shell writes in place, slowly and
// in pieces, is read once the writer is done and never set aside. The folder removed keeps the
// settings in use; the next change brings it back whole and watched again. A save that fails is
// said in the status item's tooltip until one works.
TEST_F(DesktopStart, SettingsFileFollowsSlowWritersAndAVanishingFolder) {
    std::ofstream(file) << R"({"isFirstLaunch": false, "swipeToSkip": false})";
    DesktopApp app(&logs, file);
    app.start();
    Defaults& d = app.context().defaults();
    ASSERT_FALSE(d.get(keys::swipeToSkip));

    const std::string edit = R"({"isFirstLaunch": false, "swipeToSkip": false, "hudSpeed": "instant"})";
    const std::string script = "{ printf '%s' '" + edit.substr(0, 20) + "'; sleep 0.2; printf '%s' '" + edit.substr(20, 20) +
                               "'; sleep 0.2; printf '%s' '" + edit.substr(40) + "'; } > " + file.string();
    const pid_t writer = test::spawnWith({"sh", "-c", script}, {});
    ASSERT_GT(writer, 0);
    ASSERT_TRUE(test::spinUntil([&] { return d.get(keys::hudSpeed) == HUDSpeed::instant; }));
    ::waitpid(writer, nullptr, 0);
    test::spinUntil([] { return false; }, 1500);
    // Written over by nothing but the times the settings were changed here, which syncing reads.
    EXPECT_EQ(settingsIn(readFile(file)), settingsIn(edit)) << readFile(file);
    EXPECT_FALSE(std::filesystem::exists(dir / "preferences.json.unreadable"));

    std::filesystem::remove_all(dir);
    test::spinUntil([] { return false; }, 1500);
    EXPECT_FALSE(d.get(keys::swipeToSkip)) << "the settings in use stay";
    EXPECT_FALSE(d.get(keys::isFirstLaunch));
    d.set(keys::hoverDuration, 0.7);
    EXPECT_EQ(settingsIn(readFile(file)).size(), 4u) << readFile(file);
    // Watched again: a later edit of the recreated file is read.
    test::spinUntil([] { return false; }, 200);
    std::ofstream(file) << R"({"isFirstLaunch": false, "swipeToSkip": true})";
    EXPECT_TRUE(test::spinUntil([&] { return d.get(keys::swipeToSkip); }));

    StatusItem* status = app.statusItem();
    ASSERT_NE(status, nullptr);
    const QString name = QString::fromStdString(app.context().appState().appName());
    EXPECT_EQ(status->toolTip(), name);
    // The edit read is stamped for syncing, so the file may be being saved again just now.
    EXPECT_TRUE(test::spinUntil([&] {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
        return !ec;
    }));
    std::ofstream(dir) << "in the way";
    d.set(keys::hoverDuration, 0.9);
    ASSERT_TRUE(test::spinUntil([&] { return status->toolTip() != name; }));
    EXPECT_TRUE(status->toolTip().startsWith(name + "\nSettings are not being saved: Not a directory"))
        << status->toolTip().toStdString();
    std::filesystem::remove(dir);
    EXPECT_TRUE(test::spinUntil([&] { return status->toolTip() == name; }));
    EXPECT_NE(readFile(file).find("0.9"), std::string::npos);
}

// The icon's mean colour over its opaque pixels, as lightness 0 to 255.
int inkLightness(const QIcon& icon) {
    const QImage img = icon.pixmap(QSize(32, 32)).toImage().convertToFormat(QImage::Format_ARGB32);
    long sum = 0, n = 0;
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (qAlpha(img.pixel(x, y)) > 200) {
                sum += QColor(img.pixel(x, y)).lightness();
                ++n;
            }
    return n ? static_cast<int>(sum / n) : -1;
}

TEST(StatusIconLook, FollowsTheLightOrDarkPalette) {
    QPalette light;
    light.setColor(QPalette::Window, Qt::white);
    light.setColor(QPalette::WindowText, QColor(0x2e, 0x34, 0x36));
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(0x24, 0x24, 0x24));
    dark.setColor(QPalette::WindowText, QColor(0xee, 0xee, 0xec));
    const int onLight = inkLightness(statusIcon(light));
    const int onDark = inkLightness(statusIcon(dark));
    ASSERT_GE(onLight, 0) << "the icon is never blank";
    EXPECT_LT(onLight, 80) << "dark on a light panel";
    EXPECT_GT(onDark, 180) << "light on a dark panel";
}

}  // namespace
}  // namespace halvyn
