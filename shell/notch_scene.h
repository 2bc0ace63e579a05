#pragma once
// Everything drawn in the notch window, independent of any window: the notch's `Outline` and the
// display content inside it, each value following its published target with the animation that
// change carries. The desktop window shows it; halvyn-sim renders it into frames; tests paint it
// on virtual time.

#include <QFont>
#include <QPainterPath>
#include <QPointF>
#include <QRectF>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "runtime/published.h"
#include "shell/outline_painter.h"

class QImage;
class QPainter;

namespace halvyn {

class Context;
class NowPlayingView;

// The levels the volume, brightness and battery displays show. A service without an adapter
// has no reading, and its display stays empty rather than show a made-up level.
class DisplayLevels {
public:
    virtual ~DisplayLevels() = default;
    // Above 1 while the output is amplified past full (1.2 at 120 %).
    virtual std::optional<float> volume() const = 0;
    virtual std::optional<float> brightness() const = 0;
    // The keyboard's backlight; nothing on a machine without one.
    virtual std::optional<float> keyboardBrightness() const { return std::nullopt; }
    virtual std::optional<double> batteryLevel() const = 0;
    // The symbol of the current output device when it is recognised and not the built-in speakers.
    virtual std::optional<std::string> outputDeviceSymbol() const { return std::nullopt; }
    // The power state the open notch shows; nothing without a battery.
    struct Power {
        double level = 0;  // 0 to 1
        bool onBattery = true;
        bool lowPowerMode = false;
    };
    virtual std::optional<Power> power() const { return std::nullopt; }
    // The current output device when it is recognised: what the accessory display and the open
    // notch show of it.
    struct Accessory {
        std::string name;
        std::string symbol;
        std::optional<double> battery;  // 0 to 1
        bool batteryLow = false;
    };
    virtual std::optional<Accessory> accessory() const { return std::nullopt; }
    // Calls `changed` with the change's animation whenever a reading changes.
    virtual Subscription observe(std::function<void(const Animation*)> changed) const {
        (void)changed;
        return {};
    }
};

// The largest font from `preferredPx` down to `minPx` in which `text` shows whole in `width`; at
// the smallest, the text elided with "…" (empty when not even a letter and the ellipsis fit).
std::pair<QFont, QString> fitLabel(QFont font, const QString& text, double width, int preferredPx, int minPx);

class NotchScene {
public:
    static constexpr double kWidth = 576;
    static constexpr double kHeight = 320;

    NotchScene(Context& ctx, const DisplayLevels* levels);
    ~NotchScene();
    NotchScene(const NotchScene&) = delete;
    NotchScene& operator=(const NotchScene&) = delete;

    // Called whenever something new needs to be drawn (a change, or an animation that started).
    void setNeedsDisplay(std::function<void()> cb) { needsDisplay_ = std::move(cb); }
    // Called when only a part of the window needs drawing again (in window coordinates).
    void setNeedsDisplayIn(std::function<void(const QRectF&)> cb);

    // Seconds on the context's clock: the time animations run on.
    double now() const;
    // Advances the animations to `t`; returns whether anything still moves.
    bool step(double t);
    bool moving() const;
    // The part of the window the next frame needs when only the visualizer or the marquee moves
    // (as of the last step and paint): empty when they would be drawn as they were; nothing when
    // everything that is drawn must be painted again.
    std::optional<QRectF> partialFrame() const;
    // Everything the current state draws (the outline, its shadow and the content inside), in
    // window coordinates; empty when nothing shows.
    QRectF paintedBounds() const;
    // Seconds until the next frame while something moves: the outline and the displays at 60
    // frames a second, the bars and the marquee alone at their own rate.
    double frameInterval() const;
    // Paints the current state into a transparent surface of kWidth × kHeight points.
    void paint(QPainter& p);
    // A transparent image of the window at `scale` pixels per point, stepped to `t` first.
    QImage render(double t, double scale = 1);

    // The outline as currently drawn, in window coordinates; the pointer is "over the notch" inside it.
    QPainterPath outlinePath() const;
    DrawnOutline current() const { return outline_.current(); }
    DrawnOutline target() const { return outline_.target(); }
    // The now-playing activity and expanded controls.
    NowPlayingView& nowPlaying() { return *nowPlaying_; }

    // A text as last painted in the compact display: where, in which font, and what of it shows
    // (`full` elided to `text` when it could not fit whole).
    struct DrawnLabel {
        QRectF rect;
        QFont font;
        QString text;
        QString full;
    };
    const std::optional<DrawnLabel>& lastLabel() const { return lastLabel_; }
    // The Focus or calendar content's right-wing text (a countdown) as last painted.
    const std::optional<DrawnLabel>& lastTrailing() const { return lastTrailing_; }
    // Where the last paint drew a display's right wing, and the in-use dots (empty when none).
    QRectF lastRightWing() const { return lastRightWing_; }
    QRectF privacyDots() const { return privacyDots_; }
    // Where the last paint drew the event's "Join" button (empty when none).
    QRectF joinButton() const { return joinButton_; }

    // Pointer pressed inside the notch, in window coordinates: the "Join" button or a now-playing
    // control; true when one of them took it.
    bool pointerDown(const QPointF& pos);

private:
    void retarget(const Animation* anim);
    // Whether anything but the bars and the marquee moves.
    bool othersMove() const;
    // Whether the notch is drawn at all (not faded out).
    bool shows() const;
    struct CompactContent;
    // The compact content: one builder per kind (nothing when there is nothing to show), the
    // painter of the wings, and the Focus and calendar notifications' own view.
    void paintContent(QPainter& p, const DrawnOutline& m);
    std::optional<CompactContent> volumeDisplay() const;
    std::optional<CompactContent> brightnessDisplay() const;
    std::optional<CompactContent> keyboardBrightnessDisplay() const;
    std::optional<CompactContent> batteryDisplay(int notification) const;
    std::optional<CompactContent> accessoryDisplay() const;
    std::optional<CompactContent> recordingDisplay() const;
    // The in-use dots at the compact notch's outer right edge, over whatever shows.
    void paintPrivacyDots(QPainter& p, const DrawnOutline& m);
    void paintCompact(QPainter& p, const DrawnOutline& m, const CompactContent& content, bool charging);
    void paintFocusCalendar(QPainter& p, const DrawnOutline& m, int notification);
    // The quick peek's band below the compact row: the new song, or the event about to start.
    void paintPeek(QPainter& p, const DrawnOutline& m);
    // `withRows`: the battery and accessory rows (left out while the media shows there).
    void paintExpanded(QPainter& p, const DrawnOutline& m, bool withRows);

    Context& ctx_;
    const DisplayLevels* levels_;
    AnimatedOutline outline_;
    AnimatedValue contentOpacity_{0};
    // The level bars move with the animation of the level's change.
    AnimatedValue volumeBar_{0}, brightnessBar_{0}, keyboardBar_{0};
    AnimatedValue opacity_{0};
    AnimatedValue expandedOpacity_{0};
    AnimatedValue peekOpacity_{0};
    int shownPeek_ = 0;  // the Notch::QuickPeek shown last, kept while it folds away
    int shownNotification_ = -1;  // the last compact content shown, kept while it fades out
    std::optional<DrawnLabel> lastLabel_, lastTrailing_;
    QRectF lastRightWing_, privacyDots_, joinButton_;
    std::function<void()> needsDisplay_;
    std::vector<Subscription> subscriptions_;
    std::unique_ptr<NowPlayingView> nowPlaying_;
};

}  // namespace halvyn
