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

// The outline as drawn at one moment (the animated values of the notch's `Outline`).
struct DrawnOutline {
    double width = 0;
    double height = 0;
    double topRadius = 0;
    double bottomRadius = 0;
    double shadowOpacity = 0;
    double shadowRadius = 0;
    double shadowY = 0;
    double rose = 0;  // 0: black fill and backing strip; 1: "RoseColor" fill, no strip

    friend bool operator==(const DrawnOutline&, const DrawnOutline&) = default;
};

// The notch's shape (`NotchShape`) for an outline of width w and height h hanging from the top
// edge of a window `windowWidth` wide.
QPainterPath notchPath(double windowWidth, double w, double h, double top, double bottom);

// The rectangle of the outline's body (flares excluded) in window coordinates.
QRectF notchBodyRect(double windowWidth, double w, double h);

// Paints the outline into a cleared, transparent window of the given size.
void paintOutline(QPainter& p, const DrawnOutline& m, double windowWidth, double windowHeight);

// Each metric follows its target with the animation of the change that moved it.
class AnimatedOutline {
public:
    enum class Metric { width, height, topRadius, bottomRadius, shadowOpacity, shadowRadius, shadowY, rose };
    AnimatedOutline();
    void setTarget(Metric metric, double target, const Animation* anim, double t);
    void jumpTo(const DrawnOutline& m);
    bool step(double t);
    DrawnOutline current() const;
    DrawnOutline target() const;
    bool moving() const;

private:
    AnimatedValue width_, height_, top_, bottom_, shadowOpacity_, shadowRadius_, shadowY_, rose_;
};

}  // namespace halvyn
