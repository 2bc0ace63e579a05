#pragma once
// The status item's menu as plain data: built afresh on every opening from the current state,
// drawn by a shell, traced by halvyn-sim. An item's action runs what choosing it does.

#include <functional>
#include <string>
#include <vector>

#include "runtime/value.h"

namespace halvyn {

struct MenuItem {
    std::string title;
    std::string symbol;  // a symbol of the icon table, or empty
    std::string image;   // an image asset ("SpotifyAppIcon18x18"), or the text an image shows
    bool enabled = true;
    bool checked = false;
    std::string key;     // key equivalent ("q"), or empty
    bool separator = false;
    std::vector<MenuItem> submenu;
    std::function<void()> action;

    // How it is drawn, not what it is (not traced).
    bool imageIsText = false;      // `image` is text drawn as the item's image (the speed)
    std::string fallbackSymbol;    // shown when `image` cannot be loaded
    bool smallFont = false;        // the version line, in the small system font
    bool accentBadge = false;      // the update item's badge, in its own colours
    double symbolPointSize = 0;    // 0: the menu's own size

    static MenuItem divider() {
        MenuItem m;
        m.separator = true;
        return m;
    }
};

using Menu = std::vector<MenuItem>;

// The trace's form: {"title", "symbol" or "image", "enabled", "checked" (only when checked),
// "key" (when there is one), "submenu"} and {"separator": true}.
Value toValue(const Menu& menu);

// The first item titled `title`, searched depth first into submenus; nullptr when none is.
const MenuItem* findItem(const Menu& menu, std::string_view title);

// A playback speed as the "Speed" item shows it: one decimal, rounded down ("%.1f" of the
// floor of ten times the speed, divided by ten).
std::string speedText(double speed);

}  // namespace halvyn
