#include "shell/notch_scene.h"

#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPalette>

#include <algorithm>
#include <cmath>
#include <unordered_map>
#include <utility>

#include "app/context.h"
#include "calendar/calendar_manager.h"
#include "notch/notch.h"
#include "notch/outline_model.h"
#include "settings/defaults.h"
#include "settings/hud_settings.h"
#include "settings/keys.h"
#include "shell/focus_calendar_view.h"
#include "shell/hud_content.h"
#include "shell/colors.h"
#include "shell/now_playing_view.h"
#include "shell/symbols.h"
#include "sources/privacy_manager.h"

namespace halvyn {

namespace {

using N = Notch::Notification;
// The compact content of the lock activity, kept apart from the notification codes.
constexpr int kLockContent = -2;

DisplayLook lookOf(const HUDSettings& s) {
    DisplayLook l;
    l.progressStyle = s.progressStyle;
    l.showPercentage = s.showPercentage;
    l.hideLabel = s.hideLabel;
    l.symbolScaling = s.symbolScaling;
    return l;
}

// The height of the compact notch, the row its wings fill; a peek adds its band below.
double compactHeight(Context& ctx) {
    return std::max(0.0, ctx.notch().notchHeight.get() + ctx.defaults().get(keys::notchAdjustedHeight));
}

// The two wings beside the notch proper where the Focus and calendar content sits, laid out for
// the outline's settled size so that a text measured there shows whole once the notch has
// widened; false when too narrow.
bool wingsOf(Context& ctx, const DrawnOutline& settled, double windowWidth, QRectF& left, QRectF& right) {
    const double base = std::max(0.0, ctx.notch().notchWidth.get() + ctx.defaults().get(keys::notchAdjustedWidth));
    const QRectF body = notchBodyRect(windowWidth, settled.width, settled.height);
    const double wing = std::max(0.0, (body.width() - base) / 2);
    const double h = std::min(body.height(), compactHeight(ctx) > 0 ? compactHeight(ctx) : 38.0);
    // Clear of the side walls (inside the flares) and of the notch proper.
    const double outer = std::max(0.0, settled.topRadius) + 4, inner = 2;
    const double w = wing - outer - inner;
    if (w < 8 || h < 8) return false;
    left = QRectF(body.left() + outer, body.top(), w, h);
    right = QRectF(body.right() - outer - w, body.top(), w, h);
    return true;
}

// The in-use colours: orange for the microphone, green for a camera.
QColor privacyColor(CaptureDevice device) {
    return device == CaptureDevice::camera ? QColor(0x30, 0xD1, 0x58) : QColor(0xFF, 0x9F, 0x0A);
}

constexpr double kDotRadius = 3, kDotGap = 2.5;

// The in-use dots that show now, outermost first: a camera, then the microphone.
std::vector<QColor> dotColours(Context& ctx) {
    const PrivacyManager& privacy = ctx.privacy();
    std::vector<QColor> dots;
    if (!privacy.isIndicatorVisible.get()) return dots;
    if (!privacy.cameraApplications.get().empty()) dots.push_back(privacyColor(CaptureDevice::camera));
    if (!privacy.microphoneApplications.get().empty()) dots.push_back(privacyColor(CaptureDevice::microphone));
    return dots;
}

QColor accentColor() {
    return qGuiApp ? QGuiApplication::palette().color(QPalette::Highlight) : QColor(0x0A, 0x84, 0xFF);
}

void paintBar(QPainter& p, const QRectF& r, const LevelBar& bar) {
    const double radius = r.height() / 2;
    p.setPen(Qt::NoPen);
    p.setBrush(bar.track);
    p.drawRoundedRect(r, radius, radius);
    const double w = r.width() * std::clamp(bar.level, 0.0, 1.0);
    if (w <= 0) return;
    const QRectF filled(r.left(), r.top(), std::max(w, r.height()), r.height());
    if (bar.fillEnd) {
        QLinearGradient g(r.topLeft(), r.topRight());
        g.setColorAt(0, bar.fill);
        g.setColorAt(1, *bar.fillEnd);
        p.setBrush(g);
    } else {
        p.setBrush(bar.fill);
    }
    p.setClipRect(QRectF(r.left(), r.top(), w, r.height()), Qt::IntersectClip);
    p.drawRoundedRect(filled, radius, radius);
    paintAmplification(p, r, bar);
}

// The compact display's two wings beside the notch proper, laid out for the outline's settled
// size so that nothing reflows while it widens.
struct Wings {
    QRectF left, right;
    double h = 0;
    // How far right the left wing's label may run: the wing's end beside a camera housing; on a
    // drawn notch, which hides nothing, into the notch proper.
    double reach = 0;
};

// Clear of the flare and the corner on the outer side: beside a camera housing every point
// counts; a drawn notch keeps its texts off the curved edge.
constexpr double kEdge = 5, kDrawnEdge = 9;
constexpr double kGap = 4;  // clear of the notch proper on the inner side

Wings wingsFor(const DrawnOutline& settled, double base, bool housing) {
    const QRectF body = notchBodyRect(NotchScene::kWidth, settled.width, settled.height);
    const double wing = std::max(0.0, (body.width() - base) / 2);
    const double inner = std::max(0.0, settled.topRadius) + (housing ? kEdge : kDrawnEdge);
    const double w = std::max(0.0, wing - inner - kGap);
    Wings wings;
    wings.h = std::max(0.0, settled.height);
    wings.left = QRectF(body.left() + inner, 0, w, wings.h);
    wings.right = QRectF(body.right() - inner - w, 0, w, wings.h);
    wings.reach = housing ? wings.left.right() : std::max(wings.left.right(), body.center().x() - kGap);
    return wings;
}

// The in-use dots side by side at the outer end of the compact row of `body`, in the strip the
// side wall leaves clear; the centre of the outermost, and the span of all of them.
double outerDotCentre(const QRectF& body, double topRadius) { return body.right() - std::max(0.0, topRadius) - kDrawnEdge / 2; }
QRectF privacyDotsSpan(const QRectF& body, double topRadius, double row, std::size_t count) {
    if (count == 0) return {};
    const double right = outerDotCentre(body, topRadius) + kDotRadius;
    const double width = static_cast<double>(count) * 2 * kDotRadius + static_cast<double>(count - 1) * kDotGap;
    return QRectF(right - width, row / 2 - kDotRadius, width, 2 * kDotRadius);
}

// Where a right wing's content must end: a clear gap before the dots, as it keeps from the notch
// proper; nothing while no dot shows.
std::optional<double> clearOfDots(Context& ctx, const DrawnOutline& settled, double windowWidth) {
    const std::size_t dots = dotColours(ctx).size();
    if (dots == 0) return std::nullopt;
    const QRectF body = notchBodyRect(windowWidth, settled.width, settled.height);
    return privacyDotsSpan(body, settled.topRadius, settled.height, dots).left() - kGap;
}

void keepClearOfDots(Context& ctx, const DrawnOutline& settled, double windowWidth, QRectF& right) {
    if (const auto clear = clearOfDots(ctx, settled, windowWidth))
        right.setRight(std::max(right.left(), std::min(right.right(), *clear)));
}

}  // namespace

namespace {

// Measured text, kept: an animating wing fits the same label into a new width every frame, and
// shaping the text anew each time cost most of a frame. Bounded; the labels in use are few.
class TextMeasures {
public:
    double advance(const QFont& font, const QString& text) {
        QString key = font.key() + QChar(0x1f) + text;
        if (auto it = advances_.find(key); it != advances_.end()) return it->second;
        if (advances_.size() >= kMost) advances_.clear();
        return advances_.emplace(std::move(key), QFontMetricsF(font).horizontalAdvance(text)).first->second;
    }
    // `text` elided to `width` (to a quarter pixel, the measure's own precision), with its advance.
    const std::pair<QString, double>& elided(const QFont& font, const QString& text, double width) {
        QString key = font.key() + QChar(0x1f) + QString::number(std::lround(width * 4)) + QChar(0x1f) + text;
        if (auto it = elided_.find(key); it != elided_.end()) return it->second;
        if (elided_.size() >= kMost) elided_.clear();
        const QFontMetricsF fm(font);
        QString shown = fm.elidedText(text, Qt::ElideRight, width);
        const double advance = fm.horizontalAdvance(shown);
        return elided_.emplace(std::move(key), std::pair(std::move(shown), advance)).first->second;
    }

private:
    static constexpr std::size_t kMost = 512;
    std::unordered_map<QString, double> advances_;
    std::unordered_map<QString, std::pair<QString, double>> elided_;
};

TextMeasures& textMeasures() {
    static TextMeasures measures;
    return measures;
}

}  // namespace

std::pair<QFont, QString> fitLabel(QFont font, const QString& text, double width, int preferredPx, int minPx) {
    TextMeasures& measures = textMeasures();
    for (int px = preferredPx; px >= minPx; --px) {
        font.setPixelSize(px);
        if (measures.advance(font, text) <= width) return {font, text};
    }
    font.setPixelSize(minPx);
    const auto& [elided, advance] = measures.elided(font, text, width);
    // Only an ellipsis, or wider than the room: nothing to read, so nothing is drawn.
    if (elided.size() < 2 || advance > width) return {font, QString()};
    return {font, elided};
}

namespace {

QFont labelFont() {
    QFont f = qGuiApp ? QGuiApplication::font() : QFont();
    f.setWeight(QFont::DemiBold);
    return f;
}

constexpr int kMinPx = 9;

// The left wing: the symbol, then the label; what of the label was drawn, if any.
std::optional<NotchScene::DrawnLabel> paintLeftWing(QPainter& p, const Wings& w, const LevelDisplayContent& c,
                                                    int preferredPx) {
    const double h = w.h;
    std::optional<NotchScene::DrawnLabel> drawn;
    // The label runs beside the symbol as far as the wing reaches. One that cannot show whole
    // there takes the symbol's place too; only one that cannot show whole even then is elided.
    const double iconSide = std::min({h * 0.58, 20.0, w.left.width()});
    const QString label = QString::fromStdString(c.label);
    const bool hasIcon = !c.symbol.empty() || c.symbolBattery >= 0;
    bool withIcon = hasIcon;
    const double room = std::max(0.0, w.reach - w.left.left());
    std::pair<QFont, QString> fitted;
    if (!label.isEmpty()) {
        const double besideIcon = std::max(0.0, room - iconSide - 5);
        fitted = fitLabel(labelFont(), label, withIcon ? besideIcon : room, preferredPx, kMinPx);
        if (withIcon && fitted.second != label) {
            auto alone = fitLabel(labelFont(), label, room, preferredPx, kMinPx);
            if (alone.second == label) {
                fitted = alone;
                withIcon = false;
            }
        }
    }
    const QRectF icon(w.left.left(), w.left.center().y() - iconSide / 2, withIcon ? iconSide : 0, iconSide);
    if (withIcon && c.symbolBattery >= 0) {
        paintBatteryGlyph(p, QRectF(icon.left(), icon.center().y() - iconSide * 0.32, iconSide, iconSide * 0.64),
                          c.symbolBattery, false, c.tint);
    } else if (withIcon) {
        const bool layered = c.symbol.size() > 1;
        for (const SymbolLayer& layer : c.symbol) {
            if (layer.opacity <= 0) continue;
            p.save();
            p.setOpacity(p.opacity() * layer.opacity);
            const double s = iconSide * layer.scale;
            const QRectF r(icon.center().x() - s / 2, icon.center().y() - s / 2, s, s);
            // The speaker's layers are drawn so that they line up; other symbols come from the theme.
            paintSymbol(p, layered ? icon : r, layer.name, c.tint, !layered);
            p.restore();
        }
    }
    if (!fitted.second.isEmpty()) {
        const double x = withIcon ? icon.right() + 5 : w.left.left();
        const QRectF rect(x, w.left.top(), std::max(0.0, w.reach - x), h);
        p.setFont(fitted.first);
        p.setPen(Qt::white);
        p.drawText(rect, Qt::AlignVCenter | Qt::AlignLeft, fitted.second);
        drawn = NotchScene::DrawnLabel{rect, fitted.first, fitted.second, label};
    }
    return drawn;
}

// The right wing: the battery glyph, the percentage, the level bar, the accessory's ring; returns
// where it drew.
QRectF paintRightWing(QPainter& p, const Wings& w, const LevelDisplayContent& c, const QColor& percentColour,
                    const std::optional<double>& ring, bool charging, int preferredPx) {
    const double h = w.h;
    // From the outer edge inwards.
    const QRectF& right = w.right;
    double barRight = right.right();
    QRectF drawn;
    if (c.batteryLevel >= 0) {
        const double bw = std::min(h * 0.9, 26.0);
        const QRectF glyph(right.right() - bw, right.center().y() - h / 2, bw, h);
        paintBatteryGlyph(p, glyph, c.batteryLevel, charging, Qt::white);
        drawn |= glyph;
        barRight = right.right() - bw - 4;
    }
    const double barLeft = right.left();
    if (!c.percentage.empty()) {
        auto [font, text] = fitLabel(labelFont(), QString::fromStdString(c.percentage), std::max(0.0, barRight - barLeft),
                                    preferredPx, kMinPx);
        if (text == QString::fromStdString(c.percentage)) {
            const double tw = QFontMetricsF(font).horizontalAdvance(text);
            p.setFont(font);
            p.setPen(percentColour);
            const QRectF box(barRight - tw, right.top(), tw, h);
            p.drawText(box, Qt::AlignVCenter | Qt::AlignRight, text);
            drawn |= box;
            barRight -= tw + 6;
        }
    }
    if (c.bar && barRight - barLeft > 8) {
        const double bh = std::max(3.0, h * 0.16);
        const QRectF bar(barLeft, right.center().y() - bh / 2, barRight - barLeft, bh);
        paintBar(p, bar, *c.bar);
        drawn |= bar;
    }
    if (ring) {
        const double d = std::min(h * 0.5, right.width() - 2);
        const double pen = std::max(2.0, d * 0.16);
        const QRectF r(right.right() - d + pen / 2, right.center().y() - d / 2 + pen / 2, d - pen, d - pen);
        p.setBrush(Qt::NoBrush);
        QColor track = percentColour;
        track.setAlphaF(0.3f);
        p.setPen(QPen(track, pen));
        p.drawEllipse(r);
        p.setPen(QPen(percentColour, pen, Qt::SolidLine, Qt::RoundCap));
        p.drawArc(r, 90 * 16, -static_cast<int>(std::lround(*ring * 360 * 16)));
        drawn |= r.adjusted(-pen / 2, -pen / 2, pen / 2, pen / 2);
    }
    return drawn;
}

}  // namespace

NotchScene::NotchScene(Context& ctx, const DisplayLevels* levels) : ctx_(ctx), levels_(levels) {
    // A fade or a bar's level ends once what is left of it would not change a pixel.
    for (AnimatedValue* v :
         {&contentOpacity_, &expandedOpacity_, &opacity_, &volumeBar_, &brightnessBar_, &keyboardBar_})
        v->setPrecision(kFractionPrecision);
    ensureIconTheme();
    Outline& o = ctx.outline();
    using M = AnimatedOutline::Metric;
    auto follow = [this](Published<double>& value, M metric) {
        subscriptions_.push_back(value.observe([this, metric](const double& v, const Animation* anim) {
            outline_.setTarget(metric, v, anim, now());
            if (needsDisplay_) needsDisplay_();
        }));
    };
    follow(o.width, M::width);
    follow(o.height, M::height);
    follow(o.topRadius, M::topRadius);
    follow(o.bottomRadius, M::bottomRadius);
    follow(o.shadowOpacity, M::shadowOpacity);
    follow(o.shadowRadius, M::shadowRadius);
    follow(o.shadowY, M::shadowY);
    subscriptions_.push_back(o.fill.observe([this](const std::string& f, const Animation* anim) {
        outline_.setTarget(M::rose, f == "RoseColor" ? 1 : 0, anim, now());
        if (needsDisplay_) needsDisplay_();
    }));
    outline_.jumpTo({o.width, o.height, o.topRadius, o.bottomRadius, o.shadowOpacity, o.shadowRadius, o.shadowY,
                     o.fill.get() == "RoseColor" ? 1.0 : 0.0});

    // The content and the notch's own fade follow the notch's state.
    Notch& n = ctx.notch();
    auto content = [this](auto& published) {
        subscriptions_.push_back(published.observe([this](const auto&, const Animation* anim) { retarget(anim); }));
    };
    content(n.hasNotification);
    content(n.notification);
    content(n.hasLiveActivity);
    content(n.liveActivity);
    content(n.isExpanded);
    content(n.hasOutput);
    content(n.isVisible);
    content(n.notchWidth);
    content(n.isQuickPeeking);
    content(n.quickPeek);
    subscriptions_.push_back(observeFocusCalendar(ctx, [this] {
        if (needsDisplay_) needsDisplay_();
    }));
    PrivacyManager& privacy = ctx.privacy();
    auto redraw = [this](auto& published) {
        subscriptions_.push_back(published.observe([this](const auto&, const Animation*) {
            if (needsDisplay_) needsDisplay_();
        }));
    };
    redraw(privacy.isIndicatorVisible);
    redraw(privacy.microphoneApplications);
    redraw(privacy.cameraApplications);
    if (levels_) {
        volumeBar_.setTarget(levels_->volume().value_or(0), nullptr, 0);
        brightnessBar_.setTarget(levels_->brightness().value_or(0), nullptr, 0);
        keyboardBar_.setTarget(levels_->keyboardBrightness().value_or(0), nullptr, 0);
        subscriptions_.push_back(levels_->observe([this](const Animation* anim) {
            const double t = now();
            volumeBar_.setTarget(levels_->volume().value_or(0), anim, t);
            brightnessBar_.setTarget(levels_->brightness().value_or(0), anim, t);
            keyboardBar_.setTarget(levels_->keyboardBrightness().value_or(0), anim, t);
            if (needsDisplay_) needsDisplay_();
        }));
    }
    retarget(nullptr);
    nowPlaying_ = std::make_unique<NowPlayingView>(ctx, [this] {
        if (needsDisplay_) needsDisplay_();
    });
}

NotchScene::~NotchScene() = default;

void NotchScene::setNeedsDisplayIn(std::function<void(const QRectF&)> cb) { nowPlaying_->setNeedsDisplayIn(std::move(cb)); }

double NotchScene::now() const { return toSeconds(ctx_.clock().uptime()); }

void NotchScene::retarget(const Animation* anim) {
    const double t = now();
    const Notch& n = ctx_.notch();
    const bool notifying = n.hasNotification.get() && n.notification.get() != N::none;
    const bool locked = n.hasLiveActivity.get() && n.liveActivity.get() == Notch::LiveActivity::isLocked;
    if (notifying) shownNotification_ = static_cast<int>(n.notification.get());
    else if (locked) shownNotification_ = kLockContent;
    const bool expanded = n.isExpanded.get();
    contentOpacity_.setTarget((notifying || locked) && !expanded ? 1 : 0, anim, t);
    // The peek's band keeps its last kind while it folds away.
    if (n.isQuickPeeking.get()) shownPeek_ = static_cast<int>(n.quickPeek.get());
    peekOpacity_.setTarget(n.isQuickPeeking.get() && !expanded ? 1 : 0, anim, t);
    expandedOpacity_.setTarget(expanded ? 1 : 0, anim, t);
    // A drawn notch fades with the notch's visibility; a camera housing is black either way.
    opacity_.setTarget(n.isVisible.get() || n.hasNotch() ? 1 : 0, anim, t);
    if (needsDisplay_) needsDisplay_();
}

bool NotchScene::step(double t) {
    bool moving = outline_.step(t);
    for (AnimatedValue* v : {&contentOpacity_, &expandedOpacity_, &peekOpacity_, &opacity_, &volumeBar_,
                             &brightnessBar_, &keyboardBar_})
        moving = v->step(t) || moving;
    // A notch faded out shows no bars: they wait, and the frame clock with them.
    if (!shows()) return moving;
    return nowPlaying_->step(t) || moving;
}

bool NotchScene::shows() const { return opacity_.value() > 0.001; }

bool NotchScene::moving() const { return othersMove() || (shows() && nowPlaying_->moving()); }

bool NotchScene::othersMove() const {
    return outline_.moving() || contentOpacity_.moving() || expandedOpacity_.moving() || peekOpacity_.moving() ||
           opacity_.moving() || volumeBar_.moving() || brightnessBar_.moving() || keyboardBar_.moving();
}

std::optional<QRectF> NotchScene::partialFrame() const {
    const QRectF r = nowPlaying_->animatedRect();
    if (othersMove() || !shows() || !nowPlaying_->moving() || r.isEmpty()) return std::nullopt;
    if (!nowPlaying_->changedSincePaint()) return QRectF();
    return r.adjusted(-1, -1, 1, 1);  // antialiased edges
}

QRectF NotchScene::paintedBounds() const {
    if (!shows()) return {};
    const DrawnOutline m = outline_.current();
    QRectF r = notchPath(kWidth, m.width, m.height, m.topRadius, m.bottomRadius).boundingRect();
    if (r.isEmpty()) return {};
    // The strip above the body, and the shadow's blur around the outline as the painter lays it.
    if (m.shadowOpacity > 0.001 && m.shadowRadius > 0.01) {
        const double margin = 1.5 * std::ceil(m.shadowRadius) + 2;
        const double w = std::ceil(m.width), h = std::ceil(m.height);
        r |= QRectF((kWidth - w) / 2 - margin, m.shadowY - margin, w + 2 * margin, h + 2 * margin);
    }
    return r.adjusted(-1, -1, 1, 1).intersected(QRectF(0, 0, kWidth, kHeight));  // antialiased edges
}

double NotchScene::frameInterval() const { return othersMove() ? 1.0 / 60 : NowPlayingView::kFrameInterval; }

QPainterPath NotchScene::outlinePath() const {
    const DrawnOutline m = outline_.current();
    return notchPath(kWidth, m.width, m.height, m.topRadius, m.bottomRadius);
}

void NotchScene::paint(QPainter& p) {
    const double opacity = std::clamp(opacity_.value(), 0.0, 1.0);
    if (opacity <= 0.001) return;
    p.save();
    p.setOpacity(opacity);
    const DrawnOutline m = outline_.current();
    paintOutline(p, m, kWidth, kHeight);
    lastLabel_.reset();
    lastTrailing_.reset();
    lastRightWing_ = privacyDots_ = joinButton_ = QRectF();
    if (contentOpacity_.value() > 0.01) {
        paintContent(p, m);
    } else if (auto activity = focusCalendarActivity(ctx_); activity && (!ctx_.notch().isExpanded.get() || ctx_.notch().hasNotch())) {
        // Beside a camera housing the open notch keeps the activity in its top row; a drawn notch
        // gives that row to the open content.
        QRectF left, right;
        if (wingsOf(ctx_, outline_.target(), kWidth, left, right)) {
            keepClearOfDots(ctx_, outline_.target(), kWidth, right);
            const std::string shown = paintWings(p, left, right, notchPath(kWidth, m.width, m.height, m.topRadius, m.bottomRadius), *activity);
            lastTrailing_ = DrawnLabel{right, {}, QString::fromStdString(shown), QString::fromStdString(activity->trailing)};
        }
    }
    nowPlaying_->paint(p, m, kWidth, clearOfDots(ctx_, outline_.target(), kWidth).value_or(kWidth));
    paintPeek(p, m);
    // The open notch's own rows give way to the media when it shows there.
    if (expandedOpacity_.value() > 0.01) paintExpanded(p, m, nowPlaying_->shown() != NowPlayingView::Shown::expanded);
    paintPrivacyDots(p, m);
    p.restore();
}

void NotchScene::paintPrivacyDots(QPainter& p, const DrawnOutline& m) {
    const std::vector<QColor> dots = dotColours(ctx_);
    if (dots.empty()) return;
    // Every display's right-hand content keeps clear of them while they show.
    const QRectF body = notchBodyRect(kWidth, m.width, m.height);
    const double row = std::min(m.height, compactHeight(ctx_) > 0 ? compactHeight(ctx_) : 38.0);
    const QRectF span = privacyDotsSpan(body, m.topRadius, row, dots.size());
    if (span.left() < body.left() || row < 2 * kDotRadius) return;
    privacyDots_ = span;
    double x = outerDotCentre(body, m.topRadius);
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    for (const QColor& colour : dots) {
        p.setBrush(colour);
        p.drawEllipse(QPointF(x, row / 2), kDotRadius, kDotRadius);
        x -= 2 * kDotRadius + kDotGap;
    }
    p.restore();
}

QImage NotchScene::render(double t, double scale) {
    step(t);
    QImage img(static_cast<int>(kWidth * scale), static_cast<int>(kHeight * scale), QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.scale(scale, scale);
    paint(p);
    return img;
}

// The compact display's content of one kind, and how its right wing is coloured.
struct NotchScene::CompactContent {
    LevelDisplayContent display;
    QColor percentColour = Qt::white;
    std::optional<double> ring;  // an accessory's battery, as a ring in its indicator colour
};

void NotchScene::paintContent(QPainter& p, const DrawnOutline& m) {
    if (shownNotification_ == -1) return;
    if (shownNotification_ == kLockContent) {
        CompactContent lock;
        lock.display.symbol.push_back({"lock.fill"});
        return paintCompact(p, m, lock, false);
    }
    const auto kind = static_cast<N>(shownNotification_);
    std::optional<CompactContent> content;
    switch (kind) {
        case N::didChangeVolume: content = volumeDisplay(); break;
        case N::didChangeBrightness: content = brightnessDisplay(); break;
        case N::didChangeKeyboardBrightness: content = keyboardBrightnessDisplay(); break;
        case N::isCharging:
        case N::isLowBattery:
        case N::isLowPowerMode: content = batteryDisplay(shownNotification_); break;
        case N::didConnectAirPods:
        case N::isLowAirPodsBattery: content = accessoryDisplay(); break;
        case N::isRecording: content = recordingDisplay(); break;
        default: return paintFocusCalendar(p, m, shownNotification_);
    }
    if (content) paintCompact(p, m, *content, kind == N::isCharging);
}

std::optional<NotchScene::CompactContent> NotchScene::volumeDisplay() const {
    const auto v = levels_ ? levels_->volume() : std::nullopt;
    if (!v) return std::nullopt;
    Defaults& d = ctx_.defaults();
    CompactContent c;
    c.display = volumeContent(*v, lookOf(hudSettings(d, HUDKind::volume)), d.get(keys::outputDevice),
                              levels_->outputDeviceSymbol(), accentColor());
    if (c.display.bar) c.display.bar->level = volumeBar_.value();
    return c;
}

std::optional<NotchScene::CompactContent> NotchScene::brightnessDisplay() const {
    const auto b = levels_ ? levels_->brightness() : std::nullopt;
    if (!b) return std::nullopt;
    CompactContent c;
    c.display = brightnessContent(*b, lookOf(hudSettings(ctx_.defaults(), HUDKind::brightness)), accentColor());
    if (c.display.bar) c.display.bar->level = brightnessBar_.value();
    return c;
}

std::optional<NotchScene::CompactContent> NotchScene::keyboardBrightnessDisplay() const {
    const auto k = levels_ ? levels_->keyboardBrightness() : std::nullopt;
    if (!k) return std::nullopt;
    CompactContent c;
    // The brightness display's look: the keyboard's is no settings block of its own.
    c.display =
        keyboardBrightnessContent(*k, lookOf(hudSettings(ctx_.defaults(), HUDKind::brightness)), accentColor());
    if (c.display.bar) c.display.bar->level = keyboardBar_.value();
    return c;
}

std::optional<NotchScene::CompactContent> NotchScene::batteryDisplay(int notification) const {
    const auto level = levels_ ? levels_->batteryLevel() : std::nullopt;
    if (!level) return std::nullopt;
    const auto kind = static_cast<N>(notification);
    const BatteryDisplay k = kind == N::isCharging     ? BatteryDisplay::charging
                             : kind == N::isLowBattery ? BatteryDisplay::lowBattery
                                                       : BatteryDisplay::lowPowerMode;
    Defaults& d = ctx_.defaults();
    CompactContent c;
    c.display = batteryContent(k, *level, d.get(keys::hideBatteryLabel), d.get(keys::hideBatteryPercentage));
    if (k == BatteryDisplay::lowBattery) c.percentColour = c.display.tint;
    return c;
}

std::optional<NotchScene::CompactContent> NotchScene::accessoryDisplay() const {
    // The device captured when the notification showed, with the current reading's battery.
    const auto reading = levels_ ? levels_->accessory() : std::nullopt;
    const auto& device = ctx_.notch().localDevice.get();
    if (!device && !reading) return std::nullopt;
    CompactContent c;
    c.display.symbol.push_back({device ? device->symbol() : reading->symbol});
    c.display.label = device ? device->displayName() : reading->name;
    if (reading && reading->battery) {
        c.ring = std::clamp(*reading->battery, 0.0, 1.0);
        c.percentColour = reading->batteryLow ? roseColor() : emeraldColor();
    }
    return c;
}

std::optional<NotchScene::CompactContent> NotchScene::recordingDisplay() const {
    // The application on the left; what it uses on the right, in the dot's colour.
    const PrivacyManager& privacy = ctx_.privacy();
    if (!privacy.startedApplication.get() || !privacy.startedDevice.get()) return std::nullopt;
    const CaptureDevice device = *privacy.startedDevice.get();
    CompactContent c;
    c.display.symbol.push_back({device == CaptureDevice::camera ? "video.fill" : "mic.fill"});
    c.display.tint = privacyColor(device);
    c.display.label = *privacy.startedApplication.get();
    c.display.percentage = std::string(title(device));
    c.percentColour = c.display.tint;
    return c;
}

void NotchScene::paintFocusCalendar(QPainter& p, const DrawnOutline& m, int notification) {
    // The Focus and time-to-leave notifications come from their own view.
    QRectF left, right;
    const auto wings = focusCalendarNotification(ctx_, static_cast<N>(notification));
    if (!wings || !wingsOf(ctx_, outline_.target(), kWidth, left, right)) return;
    keepClearOfDots(ctx_, outline_.target(), kWidth, right);
    p.save();
    p.setOpacity(p.opacity() * std::clamp(contentOpacity_.value(), 0.0, 1.0));
    const std::string shown = paintWings(p, left, right, notchPath(kWidth, m.width, m.height, m.topRadius, m.bottomRadius), *wings);
    lastTrailing_ = DrawnLabel{right, {}, QString::fromStdString(shown), QString::fromStdString(wings->trailing)};
    p.restore();
}

void NotchScene::paintCompact(QPainter& p, const DrawnOutline& m, const CompactContent& content, bool charging) {
    const double base = std::max(0.0, ctx_.notch().notchWidth.get() + ctx_.defaults().get(keys::notchAdjustedWidth));
    Wings w = wingsFor(outline_.target(), base, ctx_.notch().hasNotch());
    keepClearOfDots(ctx_, outline_.target(), kWidth, w.right);
    if (w.left.width() < 8 || w.h < 8) return;
    const int preferredPx = static_cast<int>(std::clamp(w.h * 0.42, 10.0, 13.0));

    p.save();
    p.setClipPath(notchPath(kWidth, m.width, m.height, m.topRadius, m.bottomRadius), Qt::IntersectClip);
    p.setOpacity(p.opacity() * std::clamp(contentOpacity_.value(), 0.0, 1.0));
    if (auto label = paintLeftWing(p, w, content.display, preferredPx)) lastLabel_ = std::move(label);
    lastRightWing_ = paintRightWing(p, w, content.display, content.percentColour, content.ring, charging, preferredPx);
    p.restore();
}

void NotchScene::paintPeek(QPainter& p, const DrawnOutline& m) {
    const double opacity = std::clamp(peekOpacity_.value(), 0.0, 1.0);
    if (opacity <= 0.01) return;
    // The band below the compact row, laid out for the peeking outline and clear of its corners.
    const DrawnOutline settled = outline_.target();
    const QRectF body = notchBodyRect(kWidth, settled.width, settled.height);
    const double inset = std::max(0.0, settled.topRadius) + std::max(10.0, settled.bottomRadius) + 2;
    const QRectF band(body.left() + inset, compactHeight(ctx_), std::max(0.0, body.width() - 2 * inset), 30);
    p.save();
    p.setClipPath(notchPath(kWidth, m.width, m.height, m.topRadius, m.bottomRadius), Qt::IntersectClip);
    p.setOpacity(p.opacity() * opacity);
    if (shownPeek_ == static_cast<int>(Notch::QuickPeek::isPlaying)) {
        nowPlaying_->paintPeek(p, band);
    } else if (shownPeek_ == static_cast<int>(Notch::QuickPeek::isCalendar)) {
        if (const auto event = eventDetails(ctx_)) joinButton_ = paintEventDetails(p, band, *event);
    }
    p.restore();
}

bool NotchScene::pointerDown(const QPointF& pos) {
    if (!joinButton_.isEmpty() && joinButton_.adjusted(-4, -4, 4, 4).contains(pos)) {
        ctx_.calendar().openMeetingLink();
        return true;
    }
    return nowPlaying_->pointerDown(pos);
}

void NotchScene::paintExpanded(QPainter& p, const DrawnOutline& m, bool withRows) {
    const Notch& n = ctx_.notch();
    const DrawnOutline settled = outline_.target();
    const QRectF body = notchBodyRect(kWidth, settled.width, settled.height);
    // Rows below the camera housing, clear of the flares and the deep bottom corners.
    const double side = std::max(0.0, settled.topRadius) + 18;
    // Read as a plain value: an optimised build cannot always see that the optional is engaged
    // where a row reads it.
    const auto maybePower = levels_ && withRows ? levels_->power() : std::nullopt;
    const DisplayLevels::Power power = maybePower.value_or(DisplayLevels::Power{});
    const auto acc = levels_ && withRows ? levels_->accessory() : std::nullopt;
    const auto event = withRows ? eventDetails(ctx_) : std::nullopt;
    // Who uses the microphone and the cameras, a row each, first.
    const PrivacyManager& privacy = ctx_.privacy();
    std::vector<std::pair<CaptureDevice, const std::vector<std::string>*>> inUse;
    if (withRows && privacy.isIndicatorVisible.get()) {
        if (!privacy.microphoneApplications.get().empty())
            inUse.emplace_back(CaptureDevice::microphone, &privacy.microphoneApplications.get());
        if (!privacy.cameraApplications.get().empty())
            inUse.emplace_back(CaptureDevice::camera, &privacy.cameraApplications.get());
    }
    constexpr double rowH = 28, eventH = 36;
    const double rows = static_cast<double>(inUse.size()) * (rowH + 4) + (maybePower ? rowH + 4 : 0) +
                        (acc ? rowH + 4 : 0) + (event ? eventH : 0);
    // Below a camera housing's row; a drawn notch has none, so its rows sit in the middle.
    const double top = n.hasNotch() ? n.notchHeight.get() + 8 : std::max(14.0, (n.notchExpandedHeight.get() - rows) / 2);
    const QRectF panel(body.left() + side, top, std::max(0.0, body.width() - 2 * side),
                       std::max(0.0, n.notchExpandedHeight.get() - top));
    if (panel.width() < 40) return;

    p.save();
    p.setClipPath(notchPath(kWidth, m.width, m.height, m.topRadius, m.bottomRadius), Qt::IntersectClip);
    p.setOpacity(p.opacity() * std::clamp(expandedOpacity_.value(), 0.0, 1.0));
    double y = panel.top();
    QFont font = labelFont();
    font.setPixelSize(13);
    auto text = [&](const QRectF& r, const QString& s, const QColor& colour, Qt::Alignment align) {
        auto [f, shown] = fitLabel(font, s, r.width(), 13, 10);
        p.setFont(f);
        p.setPen(colour);
        p.drawText(r, align | Qt::AlignVCenter, shown);
        return shown.isEmpty() ? 0.0 : QFontMetricsF(f).horizontalAdvance(shown);
    };

    for (const auto& [device, names] : inUse) {
        const QRectF row(panel.left(), y, panel.width(), rowH);
        paintSymbol(p, QRectF(row.left() + 6, row.top() + 5, rowH - 10, rowH - 10),
                    device == CaptureDevice::camera ? "video.fill" : "mic.fill", privacyColor(device));
        QString list;
        for (const auto& name : *names) list += (list.isEmpty() ? QString() : QStringLiteral(", ")) + QString::fromStdString(name);
        text(QRectF(row.left() + 40, row.top(), std::max(0.0, row.width() - 40), rowH), list, Qt::white, Qt::AlignLeft);
        y += rowH + 4;
    }
    if (maybePower) {
        const QRectF row(panel.left(), y, panel.width(), rowH);
        paintBatteryGlyph(p, QRectF(row.left(), row.top(), 34, rowH), power.level, !power.onBattery, Qt::white);
        const double pw = text(QRectF(row.left() + 40, row.top(), 50, rowH), QString::fromStdString(percentText(power.level)),
                               Qt::white, Qt::AlignLeft);
        QString state = power.onBattery ? QStringLiteral("On Battery") : QStringLiteral("Charging");
        if (power.lowPowerMode) state += QStringLiteral(" · Low Power");
        const double x = row.left() + 40 + pw + 8;
        text(QRectF(x, row.top(), std::max(0.0, row.right() - x), rowH), state, QColor(0xC7, 0xC7, 0xCC), Qt::AlignLeft);
        y += rowH + 4;
    }
    if (acc) {
        const QRectF row(panel.left(), y, panel.width(), rowH);
        paintSymbol(p, QRectF(row.left() + 5, row.top() + 4, rowH - 8, rowH - 8), acc->symbol, Qt::white);
        double right = row.right();
        if (acc->battery) {
            const QString pct = QString::fromStdString(percentText(*acc->battery));
            const double tw = text(QRectF(row.right() - 50, row.top(), 50, rowH), pct,
                                   acc->batteryLow ? roseColor() : emeraldColor(), Qt::AlignRight);
            right -= tw + 8;
        }
        const double x = row.left() + 40;
        text(QRectF(x, row.top(), std::max(0.0, right - x), rowH), QString::fromStdString(acc->name), Qt::white,
             Qt::AlignLeft);
        y += rowH + 4;
    }
    // The next event: its title, time and meeting service, and the button that joins it.
    if (event) {
        const QRectF row(panel.left(), y, panel.width(), eventH);
        paintSymbol(p, QRectF(row.left() + 5, row.center().y() - 10, 20, 20), "calendar", event->tint);
        joinButton_ = paintEventDetails(p, QRectF(row.left() + 40, row.top(), row.width() - 40, row.height()), *event);
    }
    // The output control, in the panel the open notch grows for it.
    if (n.hasOutput.get()) {
        if (const auto v = levels_ ? levels_->volume() : std::nullopt) {
            const double inset = std::max(side, settled.bottomRadius);
            const QRectF row(body.left() + inset, n.notchExpandedHeight.get(), std::max(0.0, body.width() - 2 * inset), 26);
            const auto content = volumeContent(*v, lookOf(hudSettings(ctx_.defaults(), HUDKind::volume)),
                                               OutputDevice::speaker, std::nullopt, accentColor());
            const QRectF icon(row.left(), row.center().y() - 9, 18, 18);
            for (const SymbolLayer& layer : content.symbol) {
                if (layer.opacity <= 0) continue;
                p.save();
                p.setOpacity(p.opacity() * layer.opacity);
                paintSymbol(p, icon, layer.name, Qt::white, content.symbol.size() == 1);
                p.restore();
            }
            if (content.bar && row.width() > 40) {
                LevelBar bar = *content.bar;
                bar.level = volumeBar_.value();
                paintBar(p, QRectF(icon.right() + 10, row.center().y() - 3, row.right() - icon.right() - 10, 6), bar);
            }
        }
    }
    p.restore();
}

}  // namespace halvyn
