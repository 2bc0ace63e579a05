#pragma once
// The lock-screen panel's drawing: the widget row below the system clock (battery, accessory,
// Focus, next event, weather, in the user's order) and the now-playing card above the login
// elements, with the same symbols, glyphs, colours and media view as the notch. The row's
// content is plain values from the sources, so its rules are testable without painting.

#include <QColor>
#include <QImage>
#include <QSizeF>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "runtime/published.h"
#include "settings/options.h"
#include "shell/spring.h"

class QPainter;

namespace halvyn {

class Context;
class DisplayLevels;
class NowPlayingView;

struct LockScreenWidget {
    LockScreenWidgetType kind = LockScreenWidgetType::battery;
    std::string symbol;                 // empty for the battery, which draws its glyph
    QColor tint = Qt::white;
    std::string text;
    std::optional<double> batteryLevel;  // the battery's glyph, 0 to 1
    bool charging = false;
};

// The widgets of the panel's row, in its order; a widget whose source has nothing to show (no
// battery, no accessory, no Focus, no event, no weather) is left out.
std::vector<LockScreenWidget> lockScreenWidgets(Context& ctx, const DisplayLevels* levels);

class LockScreenView {
public:
    static constexpr double kCardHeight = 150;

    LockScreenView(Context& ctx, const DisplayLevels* levels);
    ~LockScreenView();
    LockScreenView(const LockScreenView&) = delete;
    LockScreenView& operator=(const LockScreenView&) = delete;

    // Whether the panel is open, so there is something to draw.
    bool showsPanel() const;
    // The panel's size in points: its width and the screen's height.
    QSizeF size() const;
    // The widget row's height (its symbols' size), grown with the panel's width.
    double rowHeight() const;
    // The row's texts as last painted, in order (elided where they could not show whole).
    const std::vector<std::string>& drawnTexts() const { return drawnTexts_; }
    // Paints the panel into a transparent surface of size().
    void paint(QPainter& p);
    // A transparent image of the panel at `scale` pixels per point, at `t` on the context's clock.
    QImage render(double t, double scale = 1);

private:
    Context& ctx_;
    const DisplayLevels* levels_;
    std::unique_ptr<NowPlayingView> nowPlaying_;
    double now_ = 0;
    double lastPaint_ = -1;
    // The panel fades as its visibility changes; the row follows the clock's inset with a spring
    // of response 0.2 s, each widget slides to its place and fades in with one of 0.25 s.
    AnimatedValue opacity_;
    AnimatedValue rowTop_;
    std::map<LockScreenWidgetType, AnimatedValue> widgetX_, widgetAlpha_;
    std::vector<std::string> drawnTexts_;
    std::vector<Subscription> subscriptions_;
};

}  // namespace halvyn
