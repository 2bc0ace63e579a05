// Every symbol name the program can produce, gathered from the tables and rules that make them,
// resolves to an installed symbolic icon or to one of the program's own drawings, never to the
// placeholder dot.

#include <map>
#include <string>

#include "app/app_state.h"
#include "calendar/calendar_manager.h"
#include "lockscreen/lock_manager.h"
#include "nowplaying/music_manager.h"
#include "onboarding/permissions.h"
#include "shell/focus_calendar_view.h"
#include "shell/hud_content.h"
#include "shell/lock_screen_view.h"
#include "shell/notch_scene.h"
#include "shell/shell_fixture.h"
#include "shell/symbols.h"
#include "sources/focus_manager.h"
#include "sources/virtual_device.h"
#include "updates/changelog.h"
#include "weather/open_meteo.h"
#include "weather/weather_manager.h"
#include "runtime/owned_access.h"

namespace halvyn {
namespace {

class SymbolCoverage : public test::ShellTest {
protected:
    // Name → where it came from, for the failure message.
    std::map<std::string, std::string> produced;
    void add(std::string_view name, const std::string& where) {
        if (!name.empty()) produced.emplace(std::string(name), where);
    }
    void addMenu(const Menu& menu) {
        for (const MenuItem& item : menu) {
            add(item.symbol, "status menu: " + item.title);
            add(item.fallbackSymbol, "status menu: " + item.title);
            addMenu(item.submenu);
        }
    }
    void addDisplay(const LevelDisplayContent& c, const std::string& where) {
        for (const SymbolLayer& layer : c.symbol) add(layer.name, where);
    }
};

TEST_F(SymbolCoverage, EverySymbolTheProgramProducesIsAnIconOrADrawing) {
    for (std::string_view s : tableSymbols()) add(s, "the symbol table");

    // Weather: every condition the forecast service names, by day and by night, and the unknown.
    for (int code = 0; code < 1000; ++code)
        if (const auto condition = openmeteo::condition(code); !condition.empty())
            for (bool day : {true, false}) add(weather::symbol(condition, day), "weather code " + std::to_string(code));
    add(weather::symbol("", true), "weather: unknown condition");

    // Accessories and output devices: every kind, with each buds state, on either kind of screen.
    using Kind = VirtualDevice::Kind;
    for (int k = 0; k <= static_cast<int>(Kind::speakers); ++k)
        for (auto state : {std::optional<AirPodsState>(), std::optional(AirPodsState::leftOnly),
                           std::optional(AirPodsState::rightOnly), std::optional(AirPodsState::both)})
            for (bool notched : {false, true}) {
                VirtualDevice d;
                d.kind = static_cast<Kind>(k);
                d.state = state;
                add(d.symbol(notched), std::string("device ") + caseName(d.kind));
                add(d.budsSymbol(notched), std::string("device buds ") + caseName(d.kind));
            }

    // Focus modes, the extra media button, the first-launch pages and the permission banners.
    for (const auto& [id, mode] : focus::builtInModes()) add(mode.symbol, "Focus mode " + id);
    for (auto type : {ControlType::like, ControlType::shuffle, ControlType::repeating, ControlType::copyLink})
        for (auto app : {MusicApp::music, MusicApp::spotify, MusicApp::system})
            for (bool automatic : {false, true}) add(controlButton(type, automatic, app).symbol, "media button");
    for (auto page : {PermissionPage::music, PermissionPage::browser, PermissionPage::bluetooth,
                      PermissionPage::calendar, PermissionPage::onboarding})
        add(pageContent(page, "Halvyn").symbol, std::string("page ") + windowName(page));
    for (auto banner : {PermissionBanner::calendar, PermissionBanner::location, PermissionBanner::bluetooth})
        for (bool prompted : {false, true}) add(bannerContent(banner, "Halvyn", prompted).symbol, "banner");

    // The level displays, at every level band and look.
    for (float level : {0.0f, 0.1f, 0.5f, 0.8f, 1.0f, 1.3f})
        for (auto scaling : {SymbolScaling::scale, SymbolScaling::retain}) {
            DisplayLook look;
            look.symbolScaling = scaling;
            addDisplay(volumeContent(level, look, OutputDevice::speaker, std::nullopt, Qt::white), "volume display");
            addDisplay(brightnessContent(level, look, Qt::white), "brightness display");
        }
    for (auto kind : {BatteryDisplay::charging, BatteryDisplay::lowBattery, BatteryDisplay::lowPowerMode})
        addDisplay(batteryContent(kind, 0.5, false, false), "battery display");

    // Focus, calendar and time to leave in the wings.
    add(focusContent(std::nullopt, true, false).symbol, "Focus wing");
    UpcomingEvent event{"e", "Standup", WallTime(seconds(100)), WallTime(seconds(200)), "#FF0000", {}, {}, {}};
    add(calendarContent(event, 60.0, 0.5, false, true).symbol, "calendar wing");
    for (auto transport : {TransportType::drive, TransportType::walk, TransportType::transit})
        add(timeToLeaveContent(600.0, transport).symbol, "time to leave");

    // Change notes' section markers.
    int id = 0;
    const Changelog notes =
        parseChangelog("# 📣 News\n- one\n# ✨ New\n- two\n# 🐞 Fixed\n- three\n", [&] { return std::to_string(++id); });
    for (const auto& section : notes) add(section.symbol, "change notes: " + section.title);

    // The status menu: media items paused and playing, with and without seeking, and an event.
    defaults().set(keys::isFirstLaunch, false);
    AppState& app = ctx->appState();
    MusicManager& music = ctx->music();
    for (bool playing : {false, true}) {
        setAsOwner(music.isPlaying, playing);
        setAsOwner(music.hasFastForward, playing);
        setAsOwner(music.hasRewind, playing);
        addMenu(app.statusMenu());
    }
    event.meetingType = MeetingType::zoom;
    setAsOwner(ctx->calendar().nextEvent, event);
    addMenu(app.statusMenu());

    // The lock screen's weather widget in each of its styles.
    ctx->lock();
    sim->simWorkspace().post(WorkspaceEvent::screenLocked);
    defaults().set(keys::allowWeatherWidgetWhenLocked, true);
    defaults().set(keys::lockScreenWidgetOrder, WidgetOrder{LockScreenWidgetType::weather});
    WeatherManager& w = ctx->weather();
    setAsOwner(w.hasWeather, true);
    setAsOwner(w.weather, Weather{21, std::nullopt, std::string("unknown")});
    setAsOwner(w.sun, Sun{SunType::sunrise, WallTime(seconds(0))});
    setAsOwner(w.precipitationChance, 40);
    test::FixedLevels levels;
    levels.vol = levels.bright = std::nullopt;
    levels.battery.reset();
    for (auto style : {WeatherStyle::conditions, WeatherStyle::sun, WeatherStyle::precipitation})
        for (bool raining : {false, true}) {
            defaults().set(keys::weatherStyle, style);
            setAsOwner(w.isRaining, raining);
            setAsOwner(w.sun, Sun{raining ? SunType::sunset : SunType::sunrise, WallTime(seconds(0))});
            at(1 + static_cast<int>(style));
            for (const auto& widget : lockScreenWidgets(*ctx, &levels)) add(widget.symbol, "lock screen widget");
        }

    // The sources above are all reached: their symbols are in.
    for (const char* expected : {"questionmark", "sunrise.fill", "sunset.fill", "umbrella.fill", "cloud.rain.fill",
                                 "xmark.circle.fill", "video.fill", "pause.fill", "goforward.30", "sparkles",
                                 "ladybug.fill", "airpods.pro.left", "tram.fill", "hand.raised.fill"})
        EXPECT_TRUE(produced.count(expected)) << expected;
    for (const auto& [name, where] : produced)
        EXPECT_NE(symbolSource(name), SymbolSource::placeholder) << name << " (" << where << ")";
    EXPECT_GT(produced.size(), 90u);
}

}  // namespace
}  // namespace halvyn
