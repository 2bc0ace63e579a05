#pragma once
// The drawn notch: its metrics, the path of its outline, and painting it with its shadow, fill
// and backing strip into the notch window. Coordinates are the window's: y grows downwards and
// the outline hangs from the top edge, centred.

#include <QColor>
#include <QPainterPath>
#include <QRectF>

#include "shell/colors.h"
#include "shell/spring.h"

class QPainter;
class QImage;

namespace halvyn {

struct OutlineMetrics {
    double width = 0;
    double height = 0;
    double topRadius = 0;
    double bottomRadius = 0;
    double shadowOpacity = 0;
    double shadowRadius = 0;
    double shadowY = 0;
    double rose = 0;  // 0: black fill and backing strip; 1: "RoseColor" fill, no strip

    friend bool operator==(const OutlineMetrics&, const OutlineMetrics&) = default;
};

// The outline of width w and height h hanging from the top edge of a window `windowWidth` wide:
// the body (square top corners, rounded bottom corners of radius `bottom`) between two concave
// flares of radius `top` that blend it into the edge. Both parts wind the same way, so the
// winding fill draws their union.
QPainterPath notchPath(double windowWidth, double w, double h, double top, double bottom);

// The rectangle of the outline's body (flares excluded) in window coordinates.
QRectF notchBodyRect(double windowWidth, double w, double h);

// Paints the outline into a cleared, transparent window of the given size.
void paintOutline(QPainter& p, const OutlineMetrics& m, double windowWidth, double windowHeight);

// Each metric follows its target with the animation of the change that moved it.
class AnimatedOutline {
public:
    void setTarget(const OutlineMetrics& target, const Animation* anim, double t);
    // Only the fill's animation is the outline's own: it follows the adjusting state.
    void setRose(bool rose, double t);
    bool step(double t);
    OutlineMetrics current() const;
    OutlineMetrics target() const;
    bool moving() const;

private:
    AnimatedValue width_, height_, top_, bottom_, shadowOpacity_, shadowRadius_, shadowY_, rose_;
};

}  // namespace halvyn
