// The lock-screen panel as drawn: the widget row in the stored order with only the widgets
// that have something to show, below the clock's inset, and the media card above the bottom one.

#include <QImage>

#include <algorithm>

#include "lockscreen/lock_manager.h"
#include "lockscreen/lock_screen.h"
#include "shell/lock_screen_view.h"
#include "shell/notch_scene.h"
#include "shell/pixels.h"
#include "shell/shell_fixture.h"
#include "sources/focus_manager.h"
#include "weather/weather_manager.h"
#include "runtime/owned_access.h"

namespace halvyn {
namespace {

std::string describe(const std::vector<LockScreenWidget>& row) {
    std::string out;
    for (const auto& w : row) out += (w.symbol.empty() ? "[battery]" : w.symbol) + " " + w.text + "; ";
    return out;
}

// Rows of the image, in points, that hold any visible pixel.
int visibleRows(const QImage& img, int from, int to) {
    int rows = 0;
    for (int y = from; y < std::min(to, img.height()); ++y)
        rows += test::countPixels(img, QRect(0, y, img.width(), 1), [](QRgb p) { return qAlpha(p) > 40; }) > 0;
    return rows;
}

class LockScreenDrawing : public test::ShellTest {
protected:
    LockScreenDrawing() : view(*ctx, &levels) {
        levels.vol = levels.bright = std::nullopt;
        levels.battery = 0.42;
        levels.powerValue = DisplayLevels::Power{0.42, false, false};
        notch().enable();
        ctx->lock();
        at(1);
    }
    void lock() { sim->simWorkspace().post(WorkspaceEvent::screenLocked); }
    // Earbuds at 90 % and the Focus `name` on: two more widgets with something to show.
    void budsAndFocus(const std::string& name) {
        levels.accessoryValue = DisplayLevels::Accessory{"AirPods Pro", "airpodspro", 0.9, false};
        setAsOwner(ctx->focus().focusMode, FocusMode{"com.apple.focus.work", "briefcase.fill", "TealColor", name, {}});
        setAsOwner(ctx->focus().isFocus, true);
    }
    test::FixedLevels levels;
    LockScreenView view;
};

TEST_F(LockScreenDrawing, RowFollowsTheOrderAndLeavesOutWidgetsWithNothingToShow) {
    lock();
    EXPECT_EQ(describe(lockScreenWidgets(*ctx, &levels)), "[battery] 42%; ") << "no accessory, Focus, event or weather";

    budsAndFocus("Work");
    WeatherManager& weather = ctx->weather();
    setAsOwner(weather.weather, Weather{21, std::string("sun.max.fill"), std::string("clear")});
    setAsOwner(weather.hasWeather, true);
    defaults().set(keys::lockScreenWidgetOrder,
                   WidgetOrder{LockScreenWidgetType::weather, LockScreenWidgetType::connectivity,
                               LockScreenWidgetType::focus, LockScreenWidgetType::battery});
    at(2);
    EXPECT_EQ(describe(lockScreenWidgets(*ctx, &levels)), "sun.max.fill 21°; airpodspro 90%; briefcase.fill Work; [battery] 42%; ");

    defaults().set(keys::weatherStyle, WeatherStyle::precipitation);
    setAsOwner(weather.precipitationChance, 40);
    at(3);
    EXPECT_EQ(lockScreenWidgets(*ctx, &levels).front().text, "40%");

    // No row at all when the allowed widgets have no source to show.
    for (const Key<bool>* key : {&keys::allowBatteryWidgetWhenLocked, &keys::allowConnectivityWidgetWhenLocked,
                                 &keys::allowFocusWidgetWhenLocked})
        defaults().set(*key, false);
    at(4);
    EXPECT_TRUE(lockScreenWidgets(*ctx, &levels).empty());
}

TEST_F(LockScreenDrawing, PanelDrawsTheRowAtTheClockInsetOnly) {
    EXPECT_FALSE(view.showsPanel());
    lock();
    ASSERT_TRUE(view.showsPanel());
    const QImage img = view.render(1, 1);
    ASSERT_EQ(img.size(), QSize(562, 982));
    const int top = static_cast<int>(ctx->lockScreen().topInset.get());
    EXPECT_EQ(top, 257);
    EXPECT_EQ(visibleRows(img, 0, top), 0) << "nothing over the system clock";
    const int row = static_cast<int>(view.rowHeight());
    EXPECT_GE(row, 25) << "a row sized for a 562-point panel";
    EXPECT_GT(visibleRows(img, top, top + row), row / 2) << "the battery widget";
    EXPECT_EQ(visibleRows(img, top + row + 1, 982), 0) << "no media card without a track";
    EXPECT_EQ(view.drawnTexts(), std::vector<std::string>{"42%"});

    // A row too wide for the panel elides only the long texts; short ones show whole.
    budsAndFocus("Deep work on the quarterly planning review");
    at(1.5);
    view.render(1.5, 1);
    const auto texts = view.drawnTexts();
    ASSERT_EQ(texts.size(), 3u);
    EXPECT_EQ(texts[0], "42%");
    EXPECT_EQ(texts[1], "90%");
    EXPECT_TRUE(texts[2].ends_with("…")) << texts[2];

    sim->simWorkspace().post(WorkspaceEvent::screenUnlocked);
    at(2);
    EXPECT_FALSE(view.showsPanel());
}

}  // namespace
}  // namespace halvyn
