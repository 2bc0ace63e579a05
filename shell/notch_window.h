#pragma once
// The notch panel on the desktop: a frameless, always-on-top window that never takes keyboard
// focus (on X11 outside the window manager's stacking), shaped like the outline, showing a NotchScene and handing pointer and scroll events to
// the notch's input. It repaints only while something moves, and only the part that changed.

#include <QRect>
#include <QRegion>

#include <functional>
#include <memory>
#include <optional>
#include <QTimer>
#include <QWidget>

#include "notch/swipe_recognizer.h"
#include "shell/notch_scene.h"

class QAbstractNativeEventFilter;

namespace halvyn {

class LayerShellPanel;

class NotchWindow final : public QWidget {
public:
    NotchWindow(Context& ctx, const DisplayLevels* levels);
    ~NotchWindow() override;

    NotchScene& scene() { return scene_; }
    // Called once, when the window has painted its first frame on the screen.
    void setFirstFramePainted(std::function<void()> painted) { firstFrame_ = std::move(painted); }
    // Frames painted since the window was made; for measurements.
    long framesPainted() const { return frames_; }
    // Times the window's shape was sent to the window system; for measurements.
    long shapeUpdates() const { return shapeUpdates_; }

    // The scene stepped to now and the shape brought up to date; what changed since the last
    // frame (nothing when no pixel would change) is left in lastDamage() for the turn to paint.
    // Returns the milliseconds until the next turn, or nothing when all is still.
    std::optional<int> advance();
    // What the last turn asked to repaint; for tests and measurements.
    const QRegion& lastDamage() const { return damage_; }
    // One frame as the window system asks for it: advanced, then the damaged part painted into
    // `p` (a surface of the window's size).
    void paintFrame(class QPainter& p);

    // The menu a secondary click on the outline opens: below the outline's centre, or at the
    // pointer as a layer surface's popup (nothing: no menu).
    void setMenu(std::function<class QMenu*()> menu) { menu_ = std::move(menu); }

    // Scroll events from the toolkit in the notch's terms.
    static ScrollEvent scrollEventFrom(const class QWheelEvent& e);

protected:
    void paintEvent(class QPaintEvent* e) override;
    void showEvent(class QShowEvent* e) override;
    void mouseMoveEvent(class QMouseEvent* e) override;
    void mousePressEvent(class QMouseEvent* e) override;
    void mouseReleaseEvent(class QMouseEvent* e) override;
    void leaveEvent(class QEvent* e) override;
    void wheelEvent(class QWheelEvent* e) override;

private:
    void needsDisplay();
    // Only `rect` needs drawing again: it joins the next turn's damage, which stays partial.
    void needsDisplayIn(const QRectF& rect);
    void turnSoon();
    // One turn of the frame clock: advanced, the damage painted at once, the next turn set.
    void turn();
    void updateHover(const QPointF& pos);
    void updateInputRegion();
    // A compositing manager came or went: the shape is given the other way.
    void compositingChanged();
    void watchCompositing();

    // How the window's shape is given to the window system: only the input shaped (X11 with a
    // compositing manager, a Wayland layer surface), the whole window cut to the outline (X11
    // without one), or cut to the outline plus the lifted notch's shadow (other platforms, which
    // shape input with it).
    enum class ShapeMode { inputOnly, clip, clipWithShadow };
    ShapeMode chooseShapeMode() const;
    struct ShapeKey {
        QRect bounds;
        int top = 0, bottom = 0, shadow = 0;
        bool strip = false;
        friend bool operator==(const ShapeKey&, const ShapeKey&) = default;
    };

    Context& ctx_;
    NotchScene scene_;
    ShapeMode shapeMode_ = ShapeMode::clip;
    std::optional<ShapeKey> shapeKey_;
    long shapeUpdates_ = 0;
    bool inside_ = false;
    bool clickExpands_ = false;
    std::function<class QMenu*()> menu_;
    std::function<void()> firstFrame_;
    std::unique_ptr<QAbstractNativeEventFilter> compositorWatch_;
    std::unique_ptr<LayerShellPanel> layerShell_;  // placed by the compositor's layer shell
    void paintDamage(class QPainter& p, const QRegion& region);

    QTimer frameTimer_;
    bool stateChanged_ = true;  // since the last turn: anything inside the drawn bounds may differ
    bool wasMoving_ = false;
    QRect painted_;             // what the last turn's state draws
    QRegion damage_;
    QRegion pendingDamage_;  // asked for by needsDisplayIn since the last turn
    long frames_ = 0;
};

}  // namespace halvyn
