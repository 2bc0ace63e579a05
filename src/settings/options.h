#pragma once
// The option enumerations of the settings. Each case has a raw string, which is its stored form
// and never changes; cases are listed in declaration order; those shown in a segmented picker
// of the settings window also have a title.

#include <string_view>

#include "runtime/case_names.h"

namespace halvyn {

enum class DisplayType { builtInDisplay, mainScreen };
enum class ConnectivityModel { threeDimensional, symbol };
enum class OutputDevice { speaker, dynamic };
enum class HUDProgressStyle { white, accent, stylized };
enum class HUDSpeed { smooth, fast, instant };
enum class SymbolScaling { retain, scale };
enum class ColorStyle { mono, color, gradient };
enum class ControlType { like, shuffle, repeating, copyLink };
enum class MusicApp { music, spotify, system };
enum class TransportType { drive, walk, transit };
enum class WeatherStyle { conditions, sun, precipitation };
enum class LockScreenWidgetType { battery, connectivity, focus, calendar, weather };

template <>
struct OptionTraits<DisplayType> {
    static constexpr OptionCase<DisplayType> cases[] = {
        {DisplayType::builtInDisplay, "builtInDisplay", "Show on built-in display"},
        {DisplayType::mainScreen, "mainScreen", "Show on main screen"},
    };
};
template <>
struct OptionTraits<ConnectivityModel> {
    static constexpr OptionCase<ConnectivityModel> cases[] = {
        {ConnectivityModel::threeDimensional, "threeDimensional", "3D model"},
        {ConnectivityModel::symbol, "symbol", "Symbols"},
    };
};
template <>
struct OptionTraits<OutputDevice> {
    static constexpr OptionCase<OutputDevice> cases[] = {
        {OutputDevice::speaker, "speaker", "Show speaker"},
        {OutputDevice::dynamic, "dynamic", "Show device"},
    };
};
template <>
struct OptionTraits<HUDProgressStyle> {
    static constexpr OptionCase<HUDProgressStyle> cases[] = {
        {HUDProgressStyle::white, "white", "White"},
        {HUDProgressStyle::accent, "accent", "Accent"},
        {HUDProgressStyle::stylized, "stylized", "Stylized"},
    };
};
template <>
struct OptionTraits<HUDSpeed> {
    static constexpr OptionCase<HUDSpeed> cases[] = {
        {HUDSpeed::smooth, "smooth", "Smooth"},
        {HUDSpeed::fast, "fast", "Fast"},
        {HUDSpeed::instant, "instant", "Instant"},
    };
};
template <>
struct OptionTraits<SymbolScaling> {
    static constexpr OptionCase<SymbolScaling> cases[] = {
        {SymbolScaling::retain, "retain", "Retain symbol size"},
        {SymbolScaling::scale, "scale", "Scale symbol size"},
    };
};
template <>
struct OptionTraits<ColorStyle> {
    static constexpr OptionCase<ColorStyle> cases[] = {
        {ColorStyle::mono, "mono", "Monochrome"},
        {ColorStyle::color, "color", "Colored"},
        {ColorStyle::gradient, "gradient", "Gradient"},
    };
};
// "like" has no fixed picker title: its label depends on the player (see controlButton).
template <>
struct OptionTraits<ControlType> {
    static constexpr OptionCase<ControlType> cases[] = {
        {ControlType::like, "like", ""},
        {ControlType::shuffle, "shuffle", "Shuffle"},
        {ControlType::repeating, "repeating", "Repeat"},
        {ControlType::copyLink, "copyLink", "Copy"},
    };
};
template <>
struct OptionTraits<MusicApp> {
    static constexpr OptionCase<MusicApp> cases[] = {
        {MusicApp::music, "music", "Music"},
        {MusicApp::spotify, "spotify", "Spotify"},
        {MusicApp::system, "system", "System"},
    };
};
template <>
struct OptionTraits<TransportType> {
    static constexpr OptionCase<TransportType> cases[] = {
        {TransportType::drive, "drive", "Driving"},
        {TransportType::walk, "walk", "Walking"},
        {TransportType::transit, "transit", "Transit"},
    };
};
template <>
struct OptionTraits<WeatherStyle> {
    static constexpr OptionCase<WeatherStyle> cases[] = {
        {WeatherStyle::conditions, "conditions", "Conditions"},
        {WeatherStyle::sun, "sun", "Sun"},
        {WeatherStyle::precipitation, "precipitation", "Precipitation"},
    };
};
template <>
struct OptionTraits<LockScreenWidgetType> {
    static constexpr OptionCase<LockScreenWidgetType> cases[] = {
        {LockScreenWidgetType::battery, "battery", ""},
        {LockScreenWidgetType::connectivity, "connectivity", ""},
        {LockScreenWidgetType::focus, "focus", ""},
        {LockScreenWidgetType::calendar, "calendar", ""},
        {LockScreenWidgetType::weather, "weather", ""},
    };
};

// Duration of the display's show and hide animations for a speed, in seconds.
constexpr double animationDuration(HUDSpeed speed) {
    switch (speed) {
        case HUDSpeed::smooth: return 0.35;
        case HUDSpeed::fast: return 0.3;
        case HUDSpeed::instant: return 0.25;
    }
    return 0.3;
}

// The extra media button's symbol and title. "like" shows a star titled "Favorite" for the Music
// application (picked automatically or by hand) and a heart titled "Like" otherwise.
struct ControlButton {
    std::string_view symbol;
    std::string_view title;
};
constexpr ControlButton controlButton(ControlType type, bool automaticMusicApp, MusicApp musicApp) {
    switch (type) {
        case ControlType::like:
            if (automaticMusicApp || musicApp == MusicApp::music) return {"star.fill", "Favorite"};
            return {"heart.fill", "Like"};
        case ControlType::shuffle: return {"shuffle", "Shuffle"};
        case ControlType::repeating: return {"repeat", "Repeat"};
        case ControlType::copyLink: return {"link", "Copy"};
    }
    return {"shuffle", "Shuffle"};
}

}  // namespace halvyn
