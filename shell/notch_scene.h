#pragma once
// Everything drawn in the notch window, independent of any window: the notch's `Outline` and the
// display content inside it, each value following its published target with the animation that
// change carries. The desktop window shows it; halvyn-sim renders it into frames; tests paint it
// on virtual time.

#include <QPainterPath>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "runtime/published.h"
#include "shell/outline.h"

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
    virtual std::optional<float> volume() const = 0;
    virtual std::optional<float> brightness() const = 0;
    virtual std::optional<double> batteryLevel() const = 0;
    // The symbol of the current output device when it is recognised and not the built-in speakers.
    virtual std::optional<std::string> outputDeviceSymbol() const { return std::nullopt; }
    // Calls `changed` with the change's animation whenever a reading changes.
    virtual Subscription observe(std::function<void(const Animation*)> changed) const {
        (void)changed;
        return {};
    }
};

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

    // Seconds on the context's clock: the time animations run on.
    double now() const;
    // Advances the animations to `t`; returns whether anything still moves.
    bool step(double t);
    bool moving() const;
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

private:
    void retarget(const Animation* anim);
    void paintContent(QPainter& p, const DrawnOutline& m);

    Context& ctx_;
    const DisplayLevels* levels_;
    AnimatedOutline outline_;
    AnimatedValue contentOpacity_{0};
    // The level bars move with the animation of the level's change.
    AnimatedValue volumeBar_{0}, brightnessBar_{0};
    AnimatedValue opacity_{0};
    int shownNotification_ = -1;  // the last notification shown, kept while it fades out
    std::function<void()> needsDisplay_;
    std::vector<Subscription> subscriptions_;
    std::unique_ptr<NowPlayingView> nowPlaying_;
};

}  // namespace halvyn
