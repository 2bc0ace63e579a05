#include "shell/hud_content.h"

#include <algorithm>
#include <cstdio>

#include <QPainter>

#include "shell/colors.h"
#include "sources/battery_manager.h"

namespace halvyn {

namespace {

QColor withAlpha(QColor c, double a) {
    c.setAlphaF(static_cast<float>(a));
    return c;
}

const QColor kGrey(0x8E, 0x8E, 0x93);

// The bar colours shared by both displays; only the stylized volume bar differs.
LevelBar plainBar(double level, HUDProgressStyle style, const QColor& accent) {
    LevelBar bar;
    bar.level = level;
    switch (style) {
        case HUDProgressStyle::white:
            bar.fill = Qt::white;
            bar.track = withAlpha(kGrey, 0.4);
            break;
        case HUDProgressStyle::accent:
            bar.fill = accent;
            bar.track = withAlpha(accent, 0.3);
            break;
        case HUDProgressStyle::stylized:
            bar.fill = withAlpha(kGrey, 0.4);
            bar.fillEnd = Qt::white;
            bar.track = withAlpha(kGrey, 0.25);
            break;
    }
    return bar;
}

}  // namespace

void paintAmplification(QPainter& p, const QRectF& track, const LevelBar& bar) {
    if (!(bar.level > 1) || track.width() <= 0) return;
    // At least the bar's round end, so a step of a few percent past full shows too.
    const double share = (bar.level - 1) / bar.level, radius = track.height() / 2;
    const double width = std::min(track.width(), std::max(track.width() * share, track.height()));
    p.save();
    p.setPen(Qt::NoPen);
    p.setBrush(amberColor());
    p.setClipRect(QRectF(track.right() - width, track.top(), width, track.height()), Qt::IntersectClip);
    p.drawRoundedRect(track, radius, radius);
    p.restore();
}

std::string percentText(double value) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.0f", value * 100);
    return std::string(buf) + "%";
}

LevelDisplayContent volumeContent(float volume, const DisplayLook& look, OutputDevice outputDevice,
                                  const std::optional<std::string>& deviceSymbol, const QColor& accent) {
    LevelDisplayContent c;
    const float level = std::min(volume, 1.0f);
    // `volume` is 0 while muted: both show the muted speaker, whatever the device.
    if (volume <= 0) {
        c.symbol.push_back({"speaker.slash.fill"});
    } else if (outputDevice == OutputDevice::dynamic && deviceSymbol) {
        c.symbol.push_back({*deviceSymbol});
    } else {
        const bool scale = look.symbolScaling == SymbolScaling::scale;
        const bool wave1 = !scale || level > 0.25f;
        const bool wave2 = !scale || level >= 0.75f;
        c.symbol.push_back({"speaker.fill"});
        c.symbol.push_back({"speaker.wave.1.fill", wave1 ? 1.0 : 0.0, wave1 ? 1.0 : 0.5});
        c.symbol.push_back({"speaker.wave.2.fill", wave2 ? 1.0 : 0.0, wave2 ? 1.0 : 0.5});
    }
    if (!look.hideLabel) c.label = "Sound";
    if (look.showPercentage) c.percentage = percentText(volume);
    if (look.progressStyle == HUDProgressStyle::stylized) {
        // Tested in this order with both bounds inclusive, so 0.9 is rose.
        QColor colour = emeraldColor();
        if (level >= 0.9f && level <= 1.0f) colour = roseColor();
        else if (level >= 0.75f && level <= 0.9f) colour = reddishOrangeColor();
        LevelBar bar;
        bar.level = volume;
        bar.fill = colour;
        bar.track = withAlpha(colour, 0.25);
        c.bar = bar;
    } else {
        c.bar = plainBar(volume, look.progressStyle, accent);
    }
    return c;
}

namespace {
// A light level's display: with scaling, the small symbol gives way to the large one at half.
LevelDisplayContent lightContent(float level, const DisplayLook& look, const QColor& accent, const char* small,
                                 const char* large, const char* label) {
    LevelDisplayContent c;
    if (look.symbolScaling == SymbolScaling::retain) {
        c.symbol.push_back({large});
    } else {
        const bool big = level >= 0.5f;
        c.symbol.push_back({small, big ? 0.0 : 1.0, big ? 0.5 : 1.0});
        c.symbol.push_back({large, big ? 1.0 : 0.0, big ? 1.0 : 0.5});
    }
    if (!look.hideLabel) c.label = label;
    if (look.showPercentage) c.percentage = percentText(level);
    c.bar = plainBar(level, look.progressStyle, accent);
    return c;
}
}  // namespace

LevelDisplayContent brightnessContent(float brightness, const DisplayLook& look, const QColor& accent) {
    return lightContent(brightness, look, accent, "sun.min.fill", "sun.max.fill", "Display");
}

LevelDisplayContent keyboardBrightnessContent(float level, const DisplayLook& look, const QColor& accent) {
    return lightContent(level, look, accent, "light.min", "light.max", "Keyboard");
}

LevelDisplayContent batteryContent(BatteryDisplay kind, double batteryLevel, bool hideLabel, bool hidePercentage) {
    LevelDisplayContent c;
    switch (kind) {
        case BatteryDisplay::charging:
            c.label = batteryNotificationTitle(Notch::Notification::isCharging);
            c.symbol.push_back({"bolt.fill"});
            break;
        case BatteryDisplay::lowBattery:
            c.label = batteryNotificationTitle(Notch::Notification::isLowBattery);
            // The battery itself at its level, in the warning colour once it is critical.
            c.tint = batteryLevel <= kCriticalBattery ? roseColor() : QColor(0xFF, 0x9F, 0x0A);
            break;
        case BatteryDisplay::lowPowerMode:
            c.label = batteryNotificationTitle(Notch::Notification::isLowPowerMode);
            c.tint = QColor(0xFF, 0xD6, 0x0A);
            break;
    }
    if (hideLabel) c.label.clear();
    if (!hidePercentage) c.percentage = percentText(batteryLevel);
    const double level = std::clamp(batteryLevel, 0.0, 1.0);
    // Charging keeps its bolt as the symbol and the charging battery on the right; the others
    // show the battery as their symbol.
    if (kind == BatteryDisplay::charging) c.batteryLevel = level;
    else c.symbolBattery = level;
    return c;
}

}  // namespace halvyn
