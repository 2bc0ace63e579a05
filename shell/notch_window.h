#pragma once
// The notch panel on the desktop: a frameless, always-on-top window that never takes keyboard
// focus, shaped like the outline, showing a NotchScene and handing pointer and scroll events to
// the notch's input. It repaints only while something moves.

#include <QRegion>
#include <QTimer>
#include <QWidget>

#include "notch/swipe_recognizer.h"
#include "shell/notch_scene.h"

namespace halvyn {

class NotchWindow final : public QWidget {
public:
    NotchWindow(Context& ctx, const DisplayLevels* levels);
    ~NotchWindow() override;

    NotchScene& scene() { return scene_; }
    // Frames painted since the window was made; for measurements.
    long framesPainted() const { return frames_; }

    // Scroll events from the toolkit in the notch's terms.
    static ScrollEvent scrollEventFrom(const class QWheelEvent& e);

protected:
    void paintEvent(class QPaintEvent* e) override;
    void mouseMoveEvent(class QMouseEvent* e) override;
    void mousePressEvent(class QMouseEvent* e) override;
    void mouseReleaseEvent(class QMouseEvent* e) override;
    void leaveEvent(class QEvent* e) override;
    void wheelEvent(class QWheelEvent* e) override;

private:
    void needsDisplay();
    void updateHover(const QPointF& pos);
    void updateInputRegion();

    Context& ctx_;
    NotchScene scene_;
    bool inside_ = false;
    bool clickExpands_ = false;
    QTimer frameTimer_;
    QRegion inputRegion_;
    long frames_ = 0;
};

}  // namespace halvyn
