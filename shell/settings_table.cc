#include "shell/settings_table.h"

#include <cctype>

#include "settings/defaults.h"
#include "settings/keys.h"

namespace halvyn {

namespace {

using Kind = SettingControl::Kind;
using Tab = SettingsTab;

SettingControl toggle() { return {}; }

SettingControl slider(double min, double max, double step, std::string_view unit) {
    return {.kind = Kind::slider, .min = min, .max = max, .step = step, .unit = unit};
}

SettingControl spin(double min, double max, double step, std::string_view unit, std::string_view minimumText = {}) {
    return {.kind = Kind::spin, .min = min, .max = max, .step = step, .unit = unit, .minimumText = minimumText};
}

template <OptionEnum E>
std::vector<Choice> casesOf(const Defaults&) {
    std::vector<Choice> out;
    for (const auto& c : allCases<E>())
        out.push_back({std::string(c.raw), c.title.empty() ? titleFromRaw(c.raw) : std::string(c.title)});
    return out;
}

template <OptionEnum E>
SettingControl picker() {
    return {.kind = Kind::picker, .choices = &casesOf<E>};
}

template <OptionEnum E>
SettingControl order() {
    return {.kind = Kind::order, .choices = &casesOf<E>};
}

// The extra media button is titled as the notch shows it: "like" reads "Favorite" for Music and
// "Like" for the other players.
std::vector<Choice> mediaControls(const Defaults& d) {
    std::vector<Choice> out;
    for (const auto& c : allCases<ControlType>())
        out.push_back({std::string(c.raw),
                       std::string(controlButton(c.value, d.get(keys::automaticMusicApp), d.get(keys::musicApp)).title)});
    return out;
}

SettingControl mediaControlPicker() {
    return {.kind = Kind::picker, .choices = &mediaControls, .titleKeys = {"automaticMusicApp", "musicApp"}};
}

constexpr ShownWhen whenSynchronizedHUD{"synchronizedHUD", true};
constexpr ShownWhen whenSeparateHUD{"synchronizedHUD", false};

// The display settings of one HUD (or of both, when they are synchronised), under `shown`.
void hudRows(std::vector<SettingRow>& rows, Tab tab, std::string_view duration, std::string_view style,
             std::string_view speed, std::string_view percentage, std::string_view label, std::string_view scaling,
             ShownWhen shown) {
    rows.push_back({tab, duration, "Duration", spin(0.5, 5, 0.1, " s"), shown});
    rows.push_back({tab, style, "Progress style", picker<HUDProgressStyle>(), shown});
    rows.push_back({tab, speed, "Animation speed", picker<HUDSpeed>(), shown});
    rows.push_back({tab, percentage, "Show percentage", toggle(), shown});
    rows.push_back({tab, label, "Hide label", toggle(), shown});
    rows.push_back({tab, scaling, "Symbol", picker<SymbolScaling>(), shown});
}

// What some settings would do needs a service this desktop does not offer.
constexpr std::string_view kAlwaysDrawn = "Screens here have no camera housing; the notch is always drawn.";
constexpr std::string_view kEveryPlayer = "Every player that speaks MPRIS is followed; there is none to choose.";
constexpr std::string_view kNoLockPanel = "No panel is drawn over this desktop's screen locker.";

std::vector<SettingRow> buildTable() {
    std::vector<SettingRow> rows = {
        {Tab::general, "launchAtLogin", "Launch at login", toggle()},
        {Tab::general, "hideMenuBarIcon", "Hide menu bar icon", toggle()},
        {Tab::general, "syncFolder", "Sync folder", {.kind = Kind::folder}},
        {Tab::general, "synchronizeSettings", "Sync settings across devices", toggle(), {}, {}, "syncFolder",
         "Choose a folder that Syncthing or a cloud drive keeps in step between your machines."},
        {Tab::general, "showOnDisplay", "Display", picker<DisplayType>()},
        {Tab::general, "simulateFakeNotch", "Simulate a notch on screens without one", toggle(), {},
         kAlwaysDrawn},
        {Tab::general, "hideFromScreenCapture", "Hide from screen capture", toggle(), {},
         "Screen capture here cannot be asked to leave a window out."},
        {Tab::general, "disableWhileInFullscreen", "Disable while in fullscreen", toggle()},
        {Tab::general, "notchAdjustedWidth", "Notch width", slider(-40, 40, 1, " pt")},
        {Tab::general, "notchAdjustedHeight", "Notch height", slider(-10, 10, 1, " pt")},
        {Tab::general, "expandNotchOnHover", "Expand notch on hover", toggle()},
        {Tab::general, "hoverDuration", "Hover delay", spin(0, 3, 0.1, " s"), {"expandNotchOnHover", true}},
        {Tab::general, "disableExpandWhileInactive", "Disable expand while inactive", toggle()},
        {Tab::general, "swipeToToggle", "Swipe to toggle open", toggle()},
        {Tab::general, "swipeToDismiss", "Swipe to dismiss activity", toggle()},
        {Tab::general, "swipeToSkip", "Swipe to skip media", toggle()},
        {Tab::general, "naturalMovement", "Natural movement", toggle()},
        {Tab::general, "useAccentColorOnGestures", "Use accent color", toggle()},
        {Tab::general, "enableHaptics", "Haptic feedback", toggle(), {}, "This desktop has no haptic feedback."},
        {Tab::general, "allowSimultaneousActivities", "Allow simultaneous activities", toggle()},
        {Tab::privacy, "showPrivacyIndicator", "Show when the microphone or camera is in use", toggle()},
        {Tab::privacy, "notifyWhenRecordingStarts", "Notify when recording starts", toggle()},

        {Tab::battery, "enableBattery", "Battery notifications", toggle()},
        {Tab::battery, "batteryDuration", "Duration", spin(1, 15, 0.5, " s")},
        {Tab::battery, "notifyOnLowPowerMode", "Notify on low power mode", toggle()},
        {Tab::battery, "warnOnLowBattery", "Warn on low battery", toggle()},
        {Tab::battery, "lowBatteryThreshold", "Low battery threshold", slider(5, 50, 5, " %"), {"warnOnLowBattery", true}},
        {Tab::battery, "playSoundOnLowBattery", "Play sound on low battery", toggle(), {"warnOnLowBattery", true}},
        {Tab::battery, "hideBatteryLabel", "Hide label", toggle()},
        {Tab::battery, "hideBatteryPercentage", "Hide percentage", toggle()},
        {Tab::battery, "allowBatteryWhenFocused", "Show while a Focus is on", toggle()},
        {Tab::battery, "allowBatteryWhenLocked", "Show on the lock screen", toggle()},

        {Tab::focus, "enableFocus", "Focus notifications", toggle()},
        {Tab::focus, "displayWhileActive", "Remain while active", toggle()},
        {Tab::focus, "focusDuration", "Duration", spin(1, 15, 0.5, " s")},
        {Tab::focus, "hideLabel", "Hide label", toggle()},
        {Tab::focus, "allowFocusWhenLocked", "Show on the lock screen", toggle()},

        {Tab::connectivity, "enableConnectivity", "Accessory notifications", toggle()},
        {Tab::connectivity, "connectivityModel", "Device picture", picker<ConnectivityModel>()},
        {Tab::connectivity, "connectivityDuration", "Duration", spin(1, 15, 0.5, " s")},
        {Tab::connectivity, "warnOnLowConnectBattery", "Warn on low accessory battery", toggle()},
        {Tab::connectivity, "lowConnectBatteryThreshold", "Low battery threshold", slider(5, 50, 5, " %"),
         {"warnOnLowConnectBattery", true}},
        {Tab::connectivity, "playSoundOnLowConnectBattery", "Play sound on low battery", toggle(),
         {"warnOnLowConnectBattery", true}},
        {Tab::connectivity, "allowConnectivityWhenFocused", "Show while a Focus is on", toggle()},
        {Tab::connectivity, "allowConnectivityWhenLocked", "Show on the lock screen", toggle()},

        {Tab::brightness, "enableBrightness", "Brightness display", toggle()},
        {Tab::brightness, "synchronizedHUD", "Sync settings between HUDs.", toggle()},
    };
    hudRows(rows, Tab::brightness, "hudDuration", "hudProgressStyle", "hudSpeed", "showHUDPercentage", "hideHUDLabel",
            "symbolScaling", whenSynchronizedHUD);
    hudRows(rows, Tab::brightness, "brightnessDuration", "brightnessProgressStyle", "brightnessSpeed",
            "showBrightnessPercentage", "hideBrightnessLabel", "brightnessSymbolScaling", whenSeparateHUD);
    rows.insert(rows.end(), {
        {Tab::brightness, "allowBrightnessWhenFocused", "Show while a Focus is on", toggle()},
        {Tab::brightness, "allowBrightnessWhenLocked", "Show on the lock screen", toggle()},
        // The keyboard display follows every rule above, under its own switch.
        {Tab::brightness, "enableKeyboardBrightness", "Keyboard backlight display", toggle()},

        {Tab::volume, "enableVolume", "Volume display", toggle()},
        {Tab::volume, "outputDevice", "Symbol on the left", picker<OutputDevice>()},
        {Tab::volume, "synchronizedHUD", "Sync settings between HUDs.", toggle()},
    });
    hudRows(rows, Tab::volume, "hudDuration", "hudProgressStyle", "hudSpeed", "showHUDPercentage", "hideHUDLabel",
            "symbolScaling", whenSynchronizedHUD);
    hudRows(rows, Tab::volume, "volumeDuration", "volumeProgressStyle", "volumeSpeed", "showVolumePercentage",
            "hideVolumeLabel", "volumeSymbolScaling", whenSeparateHUD);
    rows.insert(rows.end(), {
        {Tab::volume, "allowVolumeWhenFocused", "Show while a Focus is on", toggle()},
        {Tab::volume, "allowVolumeWhenLocked", "Show on the lock screen", toggle()},

        {Tab::nowPlaying, "enableNowPlaying", "Now playing activity", toggle()},
        {Tab::nowPlaying, "automaticMusicApp", "Detect the player automatically", toggle(), {}, kEveryPlayer},
        {Tab::nowPlaying, "musicApp", "Player", picker<MusicApp>(), {"automaticMusicApp", false}, kEveryPlayer},
        {Tab::nowPlaying, "excludeInaptSources", "Exclude inapt sources", toggle()},
        {Tab::nowPlaying, "controlChoice", "Extra control", mediaControlPicker()},
        {Tab::nowPlaying, "showRemainingTime", "Show remaining time", toggle()},
        {Tab::nowPlaying, "idleDuration", "End after stopping", spin(1, 30, 1, " s")},
        {Tab::nowPlaying, "hideIdleDuration", "Hide when idle for", spin(1, 120, 1, " min")},
        {Tab::nowPlaying, "visualizerStyle", "Visualizer", picker<ColorStyle>()},
        {Tab::nowPlaying, "disableWaveform", "Disable waveform", toggle()},
        {Tab::nowPlaying, "progressStyle", "Progress bar", picker<ColorStyle>()},
        {Tab::nowPlaying, "showArtworkGlare", "Show artwork glare", toggle()},
        {Tab::nowPlaying, "disableAlbumArtFlip", "Disable artwork flip", toggle()},
        {Tab::nowPlaying, "disableAlbumArtOpacity", "Disable artwork fade", toggle()},
        {Tab::nowPlaying, "hideWhileSourceIsActive", "Hide while source app is active", toggle()},
        {Tab::nowPlaying, "hideWhileInFullscreen", "Hide while in fullscreen", toggle()},
        {Tab::nowPlaying, "hideSongTitleExtras", "Hide media title extras", toggle()},
        {Tab::nowPlaying, "retainVolumeControlOnCollapse", "Retain volume control on collapse", toggle()},
        {Tab::nowPlaying, "enableQuickPeek", "Quick peek", toggle()},
        {Tab::nowPlaying, "whenSongChanges", "When media changes", toggle(), {"enableQuickPeek", true}},
        {Tab::nowPlaying, "peekDuration", "Peek duration", spin(1, 10, 0.5, " s"), {"enableQuickPeek", true}},
        {Tab::nowPlaying, "hideSymbol", "Hide symbol", toggle(), {"enableQuickPeek", true}},

        {Tab::fileTray, "enableFileTray", "File tray", toggle(), {}, "The file tray is not available on this desktop."},

        {Tab::calendar, "enableCalendar", "Calendar activities", toggle()},
        {Tab::calendar, "timeBeforeEvent", "Time before event", slider(5, 60, 5, " min")},
        {Tab::calendar, "playSoundOnCalendarEvent", "Play sound on calendar event", toggle()},
        {Tab::calendar, "disableActivityDuringEvents", "Disable activity during events", toggle()},
        {Tab::calendar, "reverseEventProgress", "Reverse event progress", toggle()},
        {Tab::calendar, "excludeSubscribedCalendars", "Exclude subscribed calendars", toggle(), {},
         "Calendars here are read from calendar files; none is a subscription."},
        {Tab::calendar, "hideCalendarWhileInFullscreen", "Hide while in fullscreen", toggle()},
        {Tab::calendar, "useColoredCalendarIndicator", "Use colored calendar indicator", toggle()},
        {Tab::calendar, "playHourlyChime", "Play hourly chime", toggle()},
        {Tab::calendar, "notifyWhenTimeToLeave", "Notify when time to leave", toggle(), {},
         "This desktop has no travel-time service to tell when to leave."},
        {Tab::calendar, "defaultTransportType", "Travel by", picker<TransportType>(), {"notifyWhenTimeToLeave", true}},
        {Tab::calendar, "timeToLeaveBuffer", "Extra travel time", spin(0, 60, 5, " min"), {"notifyWhenTimeToLeave", true}},
        {Tab::calendar, "timeToLeaveDuration", "Notification duration", spin(1, 30, 1, " s"),
         {"notifyWhenTimeToLeave", true}},
        {Tab::calendar, "playSoundOnTimeToLeave", "Play sound when time to leave", toggle(),
         {"notifyWhenTimeToLeave", true}},
        {Tab::calendar, "enableCalendarQuickPeek", "Quick peek", toggle()},
        {Tab::calendar, "beforeEventStarts", "Before event starts", toggle(), {"enableCalendarQuickPeek", true}},
        {Tab::calendar, "whenEventIsStarting", "When event is starting", toggle(), {"enableCalendarQuickPeek", true}},
        {Tab::calendar, "calendarPeekDuration", "Peek duration", spin(1, 10, 0.5, " s"), {"enableCalendarQuickPeek", true}},

        {Tab::lockScreen, "enableLockScreen", "Lock screen widgets", toggle(), {}, kNoLockPanel},
        {Tab::lockScreen, "lockScreenWidgetOrder", "Widget order", order<LockScreenWidgetType>(), {}, kNoLockPanel},
        {Tab::lockScreen, "allowNowPlayingWidgetWhenLocked", "Now playing widget", toggle(), {}, kNoLockPanel},
        {Tab::lockScreen, "showVolumeControl", "Show volume control", toggle(), {"allowNowPlayingWidgetWhenLocked", true},
         kNoLockPanel},
        {Tab::lockScreen, "allowBatteryWidgetWhenLocked", "Battery widget", toggle(), {}, kNoLockPanel},
        {Tab::lockScreen, "allowConnectivityWidgetWhenLocked", "Accessories widget", toggle(), {}, kNoLockPanel},
        {Tab::lockScreen, "allowFocusWidgetWhenLocked", "Focus widget", toggle(), {}, kNoLockPanel},
        {Tab::lockScreen, "allowCalendarWidgetWhenLocked", "Calendar widget", toggle(), {}, kNoLockPanel},
        {Tab::lockScreen, "allowWeatherWidgetWhenLocked", "Weather widget", toggle(), {}, kNoLockPanel},
        {Tab::lockScreen, "weatherStyle", "Weather shows", picker<WeatherStyle>(), {"allowWeatherWidgetWhenLocked", true},
         kNoLockPanel},
        {Tab::lockScreen, "keepAwake", "Keep awake", spin(0, 60, 1, " min", "Off")},
        {Tab::lockScreen, "playSoundOnLock", "Play sound on lock", toggle()},
        {Tab::lockScreen, "playSoundOnUnlock", "Play sound on unlock", toggle()},

        {Tab::about, "earlyBirdUpdates", "Include pre-release updates", toggle()},
        {Tab::about, "silenceUpdatePrompt", "Do not prompt when an update is available", toggle()},
    });
    return rows;
}

}  // namespace

std::span<const SettingsTab> settingsTabs() {
    static constexpr SettingsTab tabs[] = {Tab::general,    Tab::battery, Tab::focus,      Tab::connectivity,
                                           Tab::privacy,    Tab::brightness, Tab::volume, Tab::nowPlaying,
                                           Tab::fileTray,   Tab::calendar, Tab::lockScreen, Tab::about};
    return tabs;
}

std::string_view tabTitle(SettingsTab tab) {
    switch (tab) {
        case Tab::general: return "General";
        case Tab::battery: return "Battery";
        case Tab::focus: return "Focus";
        case Tab::connectivity: return "Connectivity";
        case Tab::privacy: return "Privacy";
        case Tab::brightness: return "Brightness";
        case Tab::volume: return "Volume";
        case Tab::nowPlaying: return "Now Playing";
        case Tab::fileTray: return "File Tray";
        case Tab::calendar: return "Calendar";
        case Tab::lockScreen: return "Lock Screen";
        case Tab::about: return "About";
    }
    return "";
}

const std::vector<SettingRow>& settingsTable() {
    static const std::vector<SettingRow> rows = buildTable();
    return rows;
}

bool isInternalSetting(std::string_view key) {
    return key == "isFirstLaunch" || key == "hasPromptedBluetoothPermission" ||
           key == "hasPromptedCalendarPermission" || key == "hasPromptedLocationPermission" || key == "cachedWeather";
}

std::string titleFromRaw(std::string_view raw) {
    std::string out(raw);
    if (!out.empty()) out[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(out[0])));
    return out;
}

std::string saveProblemText(std::string_view problem) {
    return "Settings are not being saved: " + std::string(problem) +
           ". Changes apply until the program quits and are saved once saving works again.";
}

}  // namespace halvyn
