#pragma once
// What the volume, brightness and battery displays show, derived from the sources' published
// levels and the effective display settings. Pure values, so the rules are testable without
// painting; hud_painter draws them.

#include <QColor>

#include <optional>
#include <string>
#include <vector>

#include "settings/options.h"

class QPainter;
class QRectF;

namespace halvyn {

struct SymbolLayer {
    std::string name;
    double opacity = 1;
    double scale = 1;
};

struct LevelBar {
    double level = 0;  // 0 to 1; above 1 for a volume amplified past full
    QColor fill;
    std::optional<QColor> fillEnd;  // set: the fill is a gradient from `fill` to it
    QColor track;
};

struct LevelDisplayContent {
    std::vector<SymbolLayer> symbol;  // drawn on top of each other, first at the bottom
    std::string label;                // empty: left out
    std::string percentage;           // empty: left out
    std::optional<LevelBar> bar;
    double batteryLevel = -1;         // >= 0: a battery glyph filled to this level
    double symbolBattery = -1;        // >= 0: the symbol is a battery glyph filled to this level
    QColor tint = Qt::white;          // the symbol's colour, and the percentage's when not white
};

// The settings that decide a display's look, after the synchronised-displays rule.
struct DisplayLook {
    HUDProgressStyle progressStyle = HUDProgressStyle::white;
    bool showPercentage = false;
    bool hideLabel = false;
    SymbolScaling symbolScaling = SymbolScaling::scale;
};

// Marks the share of a bar past full (`bar.level` above 1) at the end of its track, in the
// warning colour: at 150 % the last third. Nothing for a level at full or below.
void paintAmplification(QPainter& p, const QRectF& track, const LevelBar& bar);

// `volume` above 1: amplified past full; the bar is full with the excess marked.
// `deviceSymbol`: the symbol of the current output device's recognised kind, when it has one
// that is not the built-in speakers; used when the output-device setting is "dynamic".
LevelDisplayContent volumeContent(float volume, const DisplayLook& look, OutputDevice outputDevice,
                                  const std::optional<std::string>& deviceSymbol, const QColor& accent);
LevelDisplayContent brightnessContent(float brightness, const DisplayLook& look, const QColor& accent);
// The keyboard backlight: the brightness display's look with the lit-keyboard symbols.
LevelDisplayContent keyboardBrightnessContent(float level, const DisplayLook& look, const QColor& accent);

enum class BatteryDisplay { charging, lowBattery, lowPowerMode };
// At or below this level a low battery shows in the warning colour.
constexpr double kCriticalBattery = 0.1;
LevelDisplayContent batteryContent(BatteryDisplay kind, double batteryLevel, bool hideLabel, bool hidePercentage);

// `value` × 100 as "%.0f" followed by a percent sign.
std::string percentText(double value);

}  // namespace halvyn
