#include "app/status_menu.h"

#include <cmath>
#include <cstdio>

#include "app/app_state.h"
#include "calendar/calendar_manager.h"
#include "calendar/upcoming_event.h"
#include "notch/notch.h"
#include "nowplaying/music_manager.h"
#include "nowplaying/xpc_manager.h"
#include "platform/platform.h"
#include "platform/player_scripting.h"
#include "platform/services.h"
#include "settings/defaults.h"
#include "settings/keys.h"
#include "settings/options.h"
#include "updates/update_controller.h"

namespace halvyn {

Value toValue(const Menu& menu) {
    Value::Array items;
    for (const MenuItem& m : menu) {
        if (m.separator) {
            items.emplace_back(Value::Object{{"separator", Value(true)}});
            continue;
        }
        Value::Object o{{"title", Value(m.title)}};
        if (!m.symbol.empty())
            o.emplace_back("symbol", Value(m.symbol));
        else if (!m.image.empty())
            o.emplace_back("image", Value(m.image));
        o.emplace_back("enabled", Value(m.enabled));
        if (m.checked) o.emplace_back("checked", Value(true));
        if (!m.key.empty()) o.emplace_back("key", Value(m.key));
        if (!m.submenu.empty()) o.emplace_back("submenu", toValue(m.submenu));
        items.emplace_back(std::move(o));
    }
    return Value(std::move(items));
}

const MenuItem* findItem(const Menu& menu, std::string_view title) {
    for (const MenuItem& m : menu) {
        if (!m.separator && m.title == title) return &m;
        if (const MenuItem* inner = findItem(m.submenu, title)) return inner;
    }
    return nullptr;
}

std::string speedText(double speed) {
    if (!std::isfinite(speed)) return "1.0";
    // Rounded down to a tenth; the small allowance keeps 0.3 (2.9999…) from showing as 0.2.
    const double tenths = std::floor(speed * 10 + 1e-9);
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", tenths / 10);
    return text;
}

namespace {

// The playback speeds the "Speed" submenu offers.
constexpr double kSpeeds[] = {0.5, 1.0, 1.25, 1.5, 2.0};

MenuItem item(std::string title, std::string symbol, std::function<void()> action, bool enabled = true) {
    MenuItem m;
    m.title = std::move(title);
    m.symbol = std::move(symbol);
    m.action = std::move(action);
    m.enabled = enabled;
    return m;
}

MenuItem imageItem(std::string title, std::string image, std::function<void()> action) {
    MenuItem m;
    m.title = std::move(title);
    m.image = std::move(image);
    m.action = std::move(action);
    return m;
}

bool playerRunning(Services& ctx, const char* bundleId) {
    PlayerApplications* players = ctx.platform().players();
    PlayerScripting* app = players ? players->application(bundleId) : nullptr;
    return app && app->isRunning();
}

std::string withoutSpaces(std::string s) {
    std::erase(s, ' ');
    return s;
}

}  // namespace

Menu AppState::statusMenu() {
    Menu menu;
    Defaults& d = defaults_;
    if (updates_.updateState.get() == UpdateAvailability::available) {
        MenuItem update = item("Update Now...", "1.circle.fill", [this] { updates_.showUpdateWindow(); });
        update.accentBadge = true;
        update.symbolPointSize = 14;
        menu.push_back(std::move(update));
        menu.push_back(MenuItem::divider());
    }
    if (!d.get(keys::isFirstLaunch)) {
        const Notch& notch = notch_;
        if (notch.hasLiveActivity.get() && notch.liveActivity.get() == Notch::LiveActivity::isCalendar)
            appendCalendarItems(menu);
        else
            appendMediaItems(menu);
        appendContextSubmenus(menu);
    }
    menu.push_back(MenuItem::divider());
    MenuItem versionItem = item("Version " + version(), "", {}, false);
    versionItem.smallFont = true;
    menu.push_back(std::move(versionItem));
    if (!d.get(keys::isFirstLaunch)) {
        MenuItem settings = item("Settings...", "", [this] { openSettings(); });
        // assign(): a literal assigned here makes GCC 12 warn falsely (-Wrestrict) when optimising.
        settings.key.assign(1, ',');
        menu.push_back(std::move(settings));
    }
    menu.push_back(MenuItem::divider());
    MenuItem quit = item("Quit " + appName(), "", [this] { terminate(); });
    quit.key.assign(1, 'q');
    menu.push_back(std::move(quit));
    return menu;
}

void AppState::appendCalendarItems(Menu& menu) {
    CalendarManager& calendar = calendar_;
    const auto& event = calendar.nextEvent.get();
    if (event && event->meetingType) {
        const std::string service(title(*event->meetingType));
        MenuItem join = imageItem("Join " + service, withoutSpaces(service) + "AppIcon18x18",
                                  [&calendar] { calendar.openMeetingLink(); });
        join.fallbackSymbol = "video.fill";
        menu.push_back(std::move(join));
    }
    menu.push_back(imageItem("Open in Calendar", "CalendarAppIcon18x18", [&calendar] { calendar.openInCalendar(); }));
    menu.push_back(item("Dismiss Event", "xmark.circle.fill", [&calendar] { calendar.dismissEvent(); }));
}

void AppState::appendMediaItems(Menu& menu) {
    MusicManager& music = music_;
    const Defaults& d = defaults_;
    const MusicApp app = d.get(keys::musicApp);
    const bool playing = music.isPlaying.get();
    menu.push_back(item(playing ? "Pause" : "Play", playing ? "pause.fill" : "play.fill", [&music] { music.playPause(); }));
    const bool forward = music.hasFastForward.get();
    menu.push_back(item(forward ? "Forward" : "Next", forward ? "goforward.30" : "forward.end.fill",
                        [&music] { music.next(); }, music.hasNextSkip.get()));
    const bool rewind = music.hasRewind.get();
    menu.push_back(item(rewind ? "Back" : "Previous", rewind ? "gobackward.15" : "backward.end.fill",
                        [&music] { music.previous(); }, music.hasPreviousSkip.get()));

    if (app == MusicApp::system && music.hasPlaybackSpeed.get()) {
        const double current = music.playbackSpeed.get().value_or(1.0);
        MenuItem speed;
        speed.title = "Speed";
        speed.image = speedText(current);
        speed.imageIsText = true;
        for (double s : kSpeeds) {
            MenuItem choice = item(speedText(s) + "x", "", [this, s] { xpc_.setPlaybackRate(s); });
            // 1.25 shows as "1.2x": the same rounding as the title, the check on the exact rate.
            choice.checked = std::abs(current - s) < 1e-6;
            speed.submenu.push_back(std::move(choice));
        }
        menu.push_back(std::move(speed));
    } else {
        const ControlType choice = d.get(keys::controlChoice);
        const ControlButton button = controlButton(choice, d.get(keys::automaticMusicApp), app);
        MenuItem extra;
        bool shown = false;
        switch (choice) {
            case ControlType::like:
                if (app == MusicApp::music && playerRunning(ctx_, PlayerApplications::kMusic)) {
                    extra = item(std::string(button.title), music.isLoved.get() ? "star.fill" : "star",
                                 [&music] { music.toggleLike(); });
                    shown = true;
                }
                break;
            case ControlType::shuffle:
                if (app != MusicApp::system) {
                    extra = item(std::string(button.title), std::string(button.symbol), [&music] { music.toggleShuffle(); },
                                 music.hasShuffle.get());
                    extra.checked = music.isShuffled.get();
                    shown = true;
                }
                break;
            case ControlType::repeating:
                if (app != MusicApp::system) {
                    extra = item(std::string(button.title), std::string(button.symbol), [&music] { music.toggleRepeat(); });
                    extra.checked = music.isRepeating.get();
                    shown = true;
                }
                break;
            case ControlType::copyLink:
                if (!music.currentTrack.get().url.empty()) {
                    extra = item("Copy Link", std::string(button.symbol), [&music] { music.copyLink(); });
                    shown = true;
                }
                break;
        }
        if (shown) {
            extra.symbolPointSize = 13;
            menu.push_back(std::move(extra));
        }
    }

    std::string player;
    if (app == MusicApp::music && playerRunning(ctx_, PlayerApplications::kMusic))
        player = "Music";
    else if (app == MusicApp::spotify && playerRunning(ctx_, PlayerApplications::kSpotify))
        player = "Spotify";
    else if (app == MusicApp::system && music.appBundleId.get()) {
        if (*music.appBundleId.get() == "com.apple.Safari") player = "Safari";
        if (*music.appBundleId.get() == "com.google.Chrome") player = "Chrome";
    }
    if (!player.empty())
        menu.push_back(imageItem("Show in " + player, player + "AppIcon18x18", [&music] { music.openSourceApp(); }));
}

void AppState::appendContextSubmenus(Menu& menu) {
    Defaults& d = defaults_;
    if (!d.get(keys::automaticMusicApp)) {
        MenuItem source;
        source.title = "Source";
        const MusicApp current = d.get(keys::musicApp);
        for (const auto& c : allCases<MusicApp>()) {
            const MusicApp value = c.value;
            MenuItem choice = imageItem(std::string(c.title), std::string(c.title) + "AppIcon18x18",
                                        [&d, value] { d.set(keys::musicApp, value); });
            choice.checked = value == current;
            source.submenu.push_back(std::move(choice));
        }
        menu.push_back(std::move(source));
    }
    MenuItem display;
    display.title = "Display";
    const DisplayType shown = d.get(keys::showOnDisplay);
    for (auto [value, title] : {std::pair{DisplayType::builtInDisplay, "Built-in Display"},
                                std::pair{DisplayType::mainScreen, "Main Screen"}}) {
        const DisplayType v = value;
        MenuItem choice = item(title, "", [&d, v] { d.set(keys::showOnDisplay, v); });
        choice.checked = v == shown;
        display.submenu.push_back(std::move(choice));
    }
    menu.push_back(std::move(display));
    menu.push_back(MenuItem::divider());
}

}  // namespace halvyn
