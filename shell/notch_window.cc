#include "shell/notch_window.h"

#include <QImage>
#include <QMenu>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QShowEvent>
#include <QPainter>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <utility>
#include <vector>

#include <QGuiApplication>
#include <QtGui/qguiapplication_platform.h>
#include <QAbstractNativeEventFilter>
#include <QByteArray>
#include <xcb/shape.h>
#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include "app/context.h"
#include "notch/notch.h"
#include "notch/notch_input.h"
#include "settings/defaults.h"
#include "shell/now_playing_view.h"
#include "settings/keys.h"
#include "shell/layer_shell.h"

namespace halvyn {

NotchWindow::NotchWindow(Context& ctx, const DisplayLevels* levels)
    // On X11 the window bypasses the window manager: none keeps a window of its own above a
    // fullscreen one, and the notch belongs on every workspace anyway.
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus |
                           Qt::NoDropShadowWindowHint | Qt::X11BypassWindowManagerHint),
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
    connect(&frameTimer_, &QTimer::timeout, this, [this] { turn(); });
    scene_.setNeedsDisplay([this] { needsDisplay(); });
    scene_.setNeedsDisplayIn([this](const QRectF& rect) { needsDisplayIn(rect); });
    layerShell_ = LayerShellPanel::attach(*this);
    shapeMode_ = chooseShapeMode();
    updateInputRegion();
    watchCompositing();
    frameTimer_.start(0);
}

NotchWindow::~NotchWindow() {
    if (compositorWatch_ && qApp) qApp->removeNativeEventFilter(compositorWatch_.get());
    scene_.setNeedsDisplay(nullptr);
    scene_.setNeedsDisplayIn(nullptr);
}

void NotchWindow::needsDisplay() {
    stateChanged_ = true;
    turnSoon();
}

void NotchWindow::needsDisplayIn(const QRectF& rect) {
    pendingDamage_ += rect.toAlignedRect().adjusted(-1, -1, 1, 1);  // antialiased edges
    turnSoon();
}

void NotchWindow::turnSoon() {
    // A change is drawn on the loop's next turn, not at the next frame of a running animation.
    if (!frameTimer_.isActive() || frameTimer_.remainingTime() > 0) frameTimer_.start(0);
}

void NotchWindow::turn() {
    const auto next = advance();
    // A hidden window has nothing to show: its clock starts again when it is shown.
    if (!isVisible()) return;
    // Painted within this turn: a posted paint request would wake the event loop a second time
    // for every frame.
    if (!damage_.isEmpty()) repaint(damage_);
    if (next) frameTimer_.start(*next);
}

void NotchWindow::showEvent(QShowEvent*) { needsDisplay(); }

std::optional<int> NotchWindow::advance() {
    const bool moving = scene_.step(scene_.now());
    // The turn that brings a motion to rest still changes what is drawn.
    const bool moved = moving || wasMoving_;
    wasMoving_ = moving;
    updateInputRegion();
    const QRect bounds = scene_.paintedBounds().toAlignedRect();
    // Only the bars or the marquee moving repaint their own rectangle, and only when they would
    // look different; anything else repaints what the last frame drew and what this one draws.
    const auto partial = stateChanged_ ? std::nullopt : scene_.partialFrame();
    if (partial)
        damage_ = QRegion(partial->toAlignedRect());
    else if (stateChanged_ || moved || bounds != painted_)
        damage_ = QRegion(painted_) + bounds;
    else
        damage_ = QRegion();
    damage_ += pendingDamage_;
    pendingDamage_ = QRegion();
    stateChanged_ = false;
    painted_ = bounds;
    // The next turn comes only while something moves: a still notch costs nothing.
    if (!moving) return std::nullopt;
    return std::max(1, static_cast<int>(std::lround(scene_.frameInterval() * 1000)));
}

void NotchWindow::paintEvent(QPaintEvent* e) {
    // A paint the frame clock did not ask for (an expose, a grab) shows the state as of now;
    // what changed outside it follows.
    if (!(e->region() - damage_).isEmpty()) {
        if (const auto next = advance(); next && !frameTimer_.isActive()) frameTimer_.start(*next);
        if (const QRegion rest = damage_ - e->region(); !rest.isEmpty()) update(rest);
    }
    {
        QPainter p(this);
        paintDamage(p, e->region());
    }
    if (firstFrame_) std::exchange(firstFrame_, nullptr)();
}

void NotchWindow::paintFrame(QPainter& p) {
    advance();
    if (!damage_.isEmpty()) paintDamage(p, damage_);
}

void NotchWindow::paintDamage(QPainter& p, const QRegion& region) {
    p.setClipRegion(region);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.fillRect(region.boundingRect(), Qt::transparent);
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    scene_.paint(p);
    ++frames_;
}

namespace {

// The X server's connection when the program runs on X11, else nothing.
xcb_connection_t* x11Connection() {
    if (QGuiApplication::platformName() != QLatin1String("xcb")) return nullptr;
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

// A compositing manager owns the _NET_WM_CM_S0 selection while it runs.
bool x11Compositing(xcb_connection_t* c) {
    static const char name[] = "_NET_WM_CM_S0";
    xcb_intern_atom_reply_t* atom =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 1, sizeof name - 1, name), nullptr);
    if (!atom) return false;
    bool owned = false;
    if (atom->atom != XCB_ATOM_NONE) {
        if (auto* owner = xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, atom->atom), nullptr)) {
            owned = owner->owner != XCB_WINDOW_NONE;
            std::free(owner);
        }
    }
    std::free(atom);
    return owned;
}

}  // namespace

namespace {

// Hears the X server say that the compositing manager's selection changed hands.
class CompositorWatch final : public QAbstractNativeEventFilter {
public:
    CompositorWatch(uint8_t firstEvent, xcb_atom_t selection, std::function<void()> changed)
        : firstEvent_(firstEvent), selection_(selection), changed_(std::move(changed)) {}
    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
        if (type != "xcb_generic_event_t") return false;
        const auto* e = static_cast<const xcb_generic_event_t*>(message);
        if ((e->response_type & 0x7f) != firstEvent_ + XCB_XFIXES_SELECTION_NOTIFY) return false;
        if (reinterpret_cast<const xcb_xfixes_selection_notify_event_t*>(e)->selection == selection_) changed_();
        return false;
    }

private:
    uint8_t firstEvent_;
    xcb_atom_t selection_;
    std::function<void()> changed_;
};

}  // namespace

void NotchWindow::watchCompositing() {
    auto* c = x11Connection();
    if (!c) return;
    const xcb_query_extension_reply_t* xfixes = xcb_get_extension_data(c, &xcb_xfixes_id);
    if (!xfixes || !xfixes->present) return;
    static const char name[] = "_NET_WM_CM_S0";
    xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, sizeof name - 1, name), nullptr);
    if (!atom) return;
    const xcb_atom_t selection = atom->atom;
    std::free(atom);
    std::free(xcb_xfixes_query_version_reply(c, xcb_xfixes_query_version(c, 5, 0), nullptr));
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    xcb_xfixes_select_selection_input(c, root, selection,
                                      XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER |
                                          XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_WINDOW_DESTROY |
                                          XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_CLIENT_CLOSE);
    xcb_flush(c);
    // Handled on the next turn, outside the toolkit's event dispatch.
    compositorWatch_ = std::make_unique<CompositorWatch>(xfixes->first_event, selection, [this] {
        QTimer::singleShot(0, this, [this] { compositingChanged(); });
    });
    qApp->installNativeEventFilter(compositorWatch_.get());
}

void NotchWindow::compositingChanged() {
    const ShapeMode mode = chooseShapeMode();
    if (mode == shapeMode_) return;
    if (shapeMode_ == ShapeMode::inputOnly) {
        // The input shape set by hand goes back to following the window's shape.
        if (auto* c = x11Connection()) {
            xcb_shape_mask(c, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_INPUT, static_cast<xcb_window_t>(winId()), 0, 0, XCB_NONE);
            xcb_flush(c);
        }
    } else {
        clearMask();
    }
    shapeMode_ = mode;
    shapeKey_.reset();
    updateInputRegion();
    update();
}

namespace {

// Every pixel the outline touches at all, however little.
QRegion coveredPixels(const QPainterPath& outline) {
    const QRect bounds = outline.boundingRect().toAlignedRect();
    if (bounds.isEmpty()) return QRegion(0, 0, 1, 1);
    QImage coverage(bounds.size(), QImage::Format_Alpha8);
    coverage.fill(0);
    {
        QPainter p(&coverage);
        p.setRenderHint(QPainter::Antialiasing);
        p.translate(-bounds.topLeft());
        p.fillPath(outline, Qt::black);
    }
    // One rectangle for each run of touched pixels of a row; rows with the same runs as the row
    // above (the straight sides: most of them) only make that row's rectangles taller.
    std::vector<QRect> runs;
    std::size_t bandStart = 0;  // the previous row's first rectangle
    const int width = coverage.width(), height = coverage.height();
    for (int y = 0; y < height; ++y) {
        const uchar* line = coverage.constScanLine(y);
        const std::size_t rowStart = runs.size();
        for (int x = 0; x < width;) {
            if (!line[x]) {
                ++x;
                continue;
            }
            const int start = x;
            while (x < width && line[x]) ++x;
            runs.emplace_back(bounds.x() + start, bounds.y() + y, x - start, 1);
        }
        const std::size_t count = runs.size() - rowStart;
        const bool same = y > 0 && count == rowStart - bandStart &&
                          std::equal(runs.begin() + rowStart, runs.end(), runs.begin() + bandStart,
                                     [](const QRect& a, const QRect& b) { return a.left() == b.left() && a.width() == b.width(); });
        if (same && count > 0) {
            for (std::size_t i = bandStart; i < rowStart; ++i) runs[i].setBottom(runs[i].bottom() + 1);
            runs.resize(rowStart);
        } else {
            bandStart = rowStart;
        }
    }
    QRegion region;
    region.setRects(runs.data(), static_cast<int>(runs.size()));
    return region.isEmpty() ? QRegion(0, 0, 1, 1) : region;
}

}  // namespace

NotchWindow::ShapeMode NotchWindow::chooseShapeMode() const {
    if (layerShell_) return ShapeMode::inputOnly;
    if (auto* c = x11Connection())
        return x11Compositing(c) ? ShapeMode::inputOnly : ShapeMode::clip;
    return ShapeMode::clipWithShadow;
}

void NotchWindow::updateInputRegion() {
    const DrawnOutline m = scene_.current();
    const QPainterPath outline = scene_.outlinePath();
    // The shape follows the outline's whole-pixel bounds and radii: a frame that moves neither
    // sends nothing to the window system.
    const bool lifted = m.shadowOpacity > 0.001 && m.shadowRadius > 0.01;
    const ShapeKey key{outline.boundingRect().toAlignedRect(), static_cast<int>(std::lround(m.topRadius)),
                       static_cast<int>(std::lround(m.bottomRadius)),
                       shapeMode_ == ShapeMode::clipWithShadow && lifted ? static_cast<int>(std::lround(m.shadowRadius)) : 0,
                       m.rose < 1};
    if (shapeKey_ && *shapeKey_ == key) return;
    shapeKey_ = key;
    ++shapeUpdates_;

    // Outside the outline the pointer reaches the windows below. Made only where it is used: the
    // clipped window keeps its covered pixels instead.
    auto outlineRegion = [&outline] {
        QRegion region;
        for (const QPolygonF& poly : outline.toSubpathPolygons()) region += QRegion(poly.toPolygon(), Qt::WindingFill);
        return region.isEmpty() ? QRegion(0, 0, 1, 1) : region;
    };

    switch (shapeMode_) {
        case ShapeMode::inputOnly: {
            const QRegion region = outlineRegion();
            // A compositing desktop draws the translucent window as painted, shadow included;
            // only the input is shaped.
            if (layerShell_) {
                layerShell_->setInputRegion(region);
                break;
            }
            auto* c = x11Connection();
            if (!c) break;
            const double dpr = devicePixelRatioF();
            std::vector<xcb_rectangle_t> rects;
            for (const QRect& r : region) {
                const QRect d(QPoint(static_cast<int>(std::floor(r.left() * dpr)), static_cast<int>(std::floor(r.top() * dpr))),
                              QPoint(static_cast<int>(std::ceil((r.right() + 1) * dpr)) - 1,
                                     static_cast<int>(std::ceil((r.bottom() + 1) * dpr)) - 1));
                rects.push_back({static_cast<int16_t>(d.x()), static_cast<int16_t>(d.y()),
                                 static_cast<uint16_t>(d.width()), static_cast<uint16_t>(d.height())});
            }
            xcb_shape_rectangles(c, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_INPUT, XCB_CLIP_ORDERING_UNSORTED,
                                 static_cast<xcb_window_t>(winId()), 0, 0, static_cast<uint32_t>(rects.size()),
                                 rects.data());
            xcb_flush(c);
            break;
        }
        case ShapeMode::clip:
            // Without compositing a pixel shows as painted, its alpha dropped: blended against
            // black. The window keeps every pixel the outline touches, so that its edge shows
            // the antialiased blend rather than a staircase cut at the pixel centres.
            setMask(coveredPixels(outline));
            break;
        case ShapeMode::clipWithShadow: {
            // No separate input shape here: the lifted notch's shadow belongs to the window.
            QRegion region = outlineRegion();
            if (key.shadow > 0) {
                const double margin = 1.5 * m.shadowRadius + 2;
                region += outline.boundingRect()
                              .translated(0, m.shadowY)
                              .adjusted(-margin, -margin, margin, margin)
                              .toAlignedRect()
                              .intersected(rect());
            }
            setMask(region);
            break;
        }
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
    updateHover(e->position());
    if (e->button() == Qt::RightButton && inside_) {
        if (QMenu* menu = menu_ ? menu_() : nullptr) {
            const QRectF outline = scene_.outlinePath().boundingRect();
            const QPoint at(static_cast<int>(outline.center().x()), static_cast<int>(outline.bottom()));
            // A layer surface has no place on the screen the toolkit knows of: its menu is a popup
            // that the compositor places at the pointer.
            if (!layerShell_ || !layerShell_->popup(*menu, e->position().toPoint())) menu->popup(mapToGlobal(at));
        }
        return;
    }
    if (e->button() != Qt::LeftButton || !inside_) return;
    if (scene_.pointerDown(e->position())) return;  // the "Join" button or a now-playing control
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
