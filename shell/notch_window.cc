#include "shell/notch_window.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QWheelEvent>

#include <cmath>

#include "app/context.h"
#include "notch/notch.h"
#include "notch/notch_input.h"
#include "settings/defaults.h"
#include "shell/now_playing_view.h"
#include "settings/keys.h"

namespace halvyn {

namespace {
constexpr int kFrameMs = 16;
}

NotchWindow::NotchWindow(Context& ctx, const DisplayLevels* levels)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus |
                           Qt::NoDropShadowWindowHint),
      ctx_(ctx),
      scene_(ctx, levels) {
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_X11DoNotAcceptFocus);
    setFocusPolicy(Qt::NoFocus);
    setMouseTracking(true);
    setFixedSize(static_cast<int>(NotchScene::kWidth), static_cast<int>(NotchScene::kHeight));
    setWindowTitle(QStringLiteral("Halvyn"));
    frameTimer_.setTimerType(Qt::PreciseTimer);
    frameTimer_.setSingleShot(true);
    connect(&frameTimer_, &QTimer::timeout, this, [this] { update(); });
    scene_.setNeedsDisplay([this] { needsDisplay(); });
    updateInputRegion();
}

NotchWindow::~NotchWindow() { scene_.setNeedsDisplay(nullptr); }

void NotchWindow::needsDisplay() {
    if (!frameTimer_.isActive()) frameTimer_.start(0);
}

void NotchWindow::paintEvent(QPaintEvent*) {
    const bool moving = scene_.step(scene_.now());
    QPainter p(this);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.fillRect(rect(), Qt::transparent);
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    scene_.paint(p);
    ++frames_;
    updateInputRegion();
    // The next frame is asked for only while something moves: a still notch costs nothing.
    if (moving) frameTimer_.start(kFrameMs);
}

void NotchWindow::updateInputRegion() {
    // The window is the outline's shape: outside it the pointer reaches the windows below, and a
    // desktop without compositing shows what is below instead of black. (The shadow is clipped
    // with it; only a compositing desktop that ignores the shape for drawing shows it.)
    QRegion region;
    for (const QPolygonF& poly : scene_.outlinePath().toSubpathPolygons())
        region += QRegion(poly.toPolygon(), Qt::WindingFill);
    // The backing strip along the top edge belongs to the notch too.
    const DrawnOutline m = scene_.current();
    const int inset = static_cast<int>(std::ceil(std::max(0.0, m.topRadius)));
    if (m.rose < 1 && width() > 2 * inset) region += QRegion(inset, 0, width() - 2 * inset, 1);
    if (region.isEmpty()) region = QRegion(0, 0, 1, 1);
    if (region != inputRegion_) {
        inputRegion_ = region;
        setMask(region);
    }
}

void NotchWindow::updateHover(const QPointF& pos) {
    const bool inside = scene_.outlinePath().contains(pos);
    if (inside == inside_) return;
    inside_ = inside;
    NotchInput& input = ctx_.notchInput();
    if (inside) {
        input.pointerEntered();
        return;
    }
    input.pointerExited();
    // The open notch folds away once the pointer leaves it: with a mouse there is no swipe up.
    if (ctx_.notch().isExpanded.get()) ctx_.notch().setExpanded(false, false);
}

void NotchWindow::mouseMoveEvent(QMouseEvent* e) {
    updateHover(e->position());
    scene_.nowPlaying().pointerMoved(e->position());
}

void NotchWindow::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return;
    updateHover(e->position());
    if (!inside_) return;
    if (scene_.nowPlaying().pointerDown(e->position())) return;  // a now-playing control
    // A click opens the compact notch when the press rule lets the press through.
    const Notch& n = ctx_.notch();
    clickExpands_ = !n.isPressed.get() && !n.isExpanded.get() && !ctx_.defaults().get(keys::expandNotchOnHover);
    ctx_.notchInput().press();
}

void NotchWindow::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return;
    if (scene_.nowPlaying().pointerUp(e->position())) return;
    const bool expand = clickExpands_ && scene_.outlinePath().contains(e->position());
    clickExpands_ = false;
    if (expand) ctx_.notch().setExpanded(true, false);
}

void NotchWindow::leaveEvent(QEvent*) { updateHover(QPointF(-1, -1)); }

ScrollEvent NotchWindow::scrollEventFrom(const QWheelEvent& e) {
    ScrollEvent s;
    // Trackpads report pixels; a wheel reports eighths of a degree, one notch (15°) a line of 10 points.
    const QPointF d = !e.pixelDelta().isNull() ? QPointF(e.pixelDelta()) : QPointF(e.angleDelta()) / 12.0;
    s.dx = d.x();
    s.dy = d.y();
    s.invertedFromDevice = e.inverted();
    switch (e.phase()) {
        case Qt::NoScrollPhase: break;
        case Qt::ScrollBegin: s.phase = ScrollPhase::began; break;
        case Qt::ScrollUpdate: s.phase = ScrollPhase::changed; break;
        case Qt::ScrollEnd: s.phase = ScrollPhase::ended; break;
        // Inertia after the fingers lift: the toolkit does not tell its start from its middle.
        case Qt::ScrollMomentum: s.momentumPhase = ScrollPhase::changed; break;
    }
    return s;
}

void NotchWindow::wheelEvent(QWheelEvent* e) {
    if (scene_.outlinePath().contains(e->position())) ctx_.notchInput().scroll(scrollEventFrom(*e));
    e->accept();
}

}  // namespace halvyn
