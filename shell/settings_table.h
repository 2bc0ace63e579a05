#pragma once
// What the settings window shows: one row per control, (tab, key, label, control). The key's type,
// default and stored form come from the settings store's own key table; a row adds only what a
// form needs (where, which words, which control, the range and unit of a number). A new setting
// in the window is one row here.

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "settings/options.h"

namespace halvyn {

class Defaults;

enum class SettingsTab {
    general,
    battery,
    focus,
    connectivity,
    privacy,
    brightness,
    volume,
    nowPlaying,
    fileTray,
    calendar,
    lockScreen,
    about,
};

// Every tab in sidebar order.
std::span<const SettingsTab> settingsTabs();
std::string_view tabTitle(SettingsTab tab);

// One case of an enumeration as a picker or list shows it.
struct Choice {
    std::string raw;
    std::string title;
};

struct SettingControl {
    enum class Kind { toggle, slider, spin, picker, order, folder };
    Kind kind = Kind::toggle;
    // A number's range, step and unit (" s", " %", " min", " pt").
    double min = 0;
    double max = 0;
    double step = 1;
    std::string_view unit;
    // What a spin box shows at its minimum instead of the number ("Off"); empty: the number.
    std::string_view minimumText;
    // A picker's or list's cases in declaration order, titled for the current settings.
    std::vector<Choice> (*choices)(const Defaults&) = nullptr;
    // Settings that a picker's titles depend on (the extra media button's "like" title).
    std::vector<std::string_view> titleKeys;
};

// A row shows only while a Boolean setting has the given value.
struct ShownWhen {
    std::string_view key;  // empty: always shown
    bool value = true;
};

struct SettingRow {
    SettingsTab tab;
    std::string_view key;
    std::string_view label;
    SettingControl control;
    ShownWhen shownWhen = {};
    // Why the setting changes nothing on this desktop: its control is shown disabled with this
    // line. Empty when it takes effect. The setting itself stays in the store as it is.
    std::string_view notHere = {};
    // A text setting that must be filled in for this one to take effect (sync needs a folder):
    // while it is empty the control shows off and disabled, with `needsWhy` saying why.
    std::string_view needs = {};
    std::string_view needsWhy = {};
};

// Every row, in the order the forms show them.
const std::vector<SettingRow>& settingsTable();

// Settings that belong to no form: the program's own bookkeeping.
bool isInternalSetting(std::string_view key);

// The title of a case without a picker title of its own ("calendar" → "Calendar").
std::string titleFromRaw(std::string_view raw);

// What the settings window and the status item say while settings cannot be saved, for the
// store's save problem (e.g. "No space left on device (/home/u/.config/halvyn/preferences.json)").
std::string saveProblemText(std::string_view problem);

}  // namespace halvyn
