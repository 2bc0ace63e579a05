#include "shell/notch_scene.h"

#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPalette>

#include <algorithm>

#include "app/context.h"
#include "notch/notch.h"
#include "notch/outline.h"
#include "settings/defaults.h"
#include "settings/hud_settings.h"
#include "settings/keys.h"
#include "shell/focus_calendar_view.h"
#include "shell/hud_content.h"
#include "shell/now_playing_view.h"
#include "shell/symbols.h"

namespace halvyn {

namespace {

using N = Notch::Notification;

DisplayLook lookOf(const HUDSettings& s) {
    DisplayLook l;
    l.progressStyle = s.progressStyle;
    l.showPercentage = s.showPercentage;
    l.hideLabel = s.hideLabel;
    l.symbolScaling = s.symbolScaling;
    return l;
}

// The two wings beside the notch proper where compact content sits; false when too narrow.
bool wingsOf(Context& ctx, const DrawnOutline& m, double windowWidth, QRectF& left, QRectF& right) {
    const double base = std::max(0.0, ctx.notch().notchWidth.get() + ctx.defaults().get(keys::notchAdjustedWidth));
    const QRectF body = notchBodyRect(windowWidth, m.width, m.height);
    const double wing = std::max(0.0, (body.width() - base) / 2);
    if (wing < 8 || body.height() < 8) return false;
    const double h = std::min(body.height(), 38.0);
    // Clear of the flares and the rounded corners.
    const double pad = std::max(0.0, m.topRadius) + std::max(8.0, m.bottomRadius * 0.8);
    left = QRectF(body.left() + pad, body.top(), wing - pad, h);
    right = QRectF(body.right() - wing, body.top(), wing - pad, h);
    return true;
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
}

}  // namespace

NotchScene::NotchScene(Context& ctx, const DisplayLevels* levels) : ctx_(ctx), levels_(levels) {
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
    content(n.isVisible);
    content(n.notchWidth);
    subscriptions_.push_back(observeFocusCalendar(ctx, [this] {
        if (needsDisplay_) needsDisplay_();
    }));
    if (levels_) {
        volumeBar_.setTarget(levels_->volume().value_or(0), nullptr, 0);
        brightnessBar_.setTarget(levels_->brightness().value_or(0), nullptr, 0);
        subscriptions_.push_back(levels_->observe([this](const Animation* anim) {
            const double t = now();
            volumeBar_.setTarget(levels_->volume().value_or(0), anim, t);
            brightnessBar_.setTarget(levels_->brightness().value_or(0), anim, t);
            if (needsDisplay_) needsDisplay_();
        }));
    }
    retarget(nullptr);
    nowPlaying_ = std::make_unique<NowPlayingView>(ctx, [this] {
        if (needsDisplay_) needsDisplay_();
    });
}

NotchScene::~NotchScene() = default;

double NotchScene::now() const { return toSeconds(ctx_.clock().uptime()); }

void NotchScene::retarget(const Animation* anim) {
    const double t = now();
    const Notch& n = ctx_.notch();
    const bool showing = n.hasNotification.get() && n.notification.get() != N::none;
    if (showing) shownNotification_ = static_cast<int>(n.notification.get());
    contentOpacity_.setTarget(showing ? 1 : 0, anim, t);
    // A drawn notch fades with the notch's visibility; a camera housing is black either way.
    opacity_.setTarget(n.isVisible.get() || n.hasNotch() ? 1 : 0, anim, t);
    if (needsDisplay_) needsDisplay_();
}

bool NotchScene::step(double t) {
    bool moving = outline_.step(t);
    for (AnimatedValue* v : {&contentOpacity_, &opacity_, &volumeBar_, &brightnessBar_}) moving = v->step(t) || moving;
    return nowPlaying_->step(t) || moving;
}

bool NotchScene::moving() const {
    return outline_.moving() || contentOpacity_.moving() || opacity_.moving() || volumeBar_.moving() ||
           brightnessBar_.moving() || nowPlaying_->moving();
}

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
    if (contentOpacity_.value() > 0.01) {
        paintContent(p, m);
    } else if (auto activity = focusCalendarActivity(ctx_)) {
        QRectF left, right;
        if (wingsOf(ctx_, m, kWidth, left, right))
            paintWings(p, left, right, notchPath(kWidth, m.width, m.height, m.topRadius, m.bottomRadius), *activity);
    }
    nowPlaying_->paint(p, m, kWidth);
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

void NotchScene::paintContent(QPainter& p, const DrawnOutline& m) {
    if (shownNotification_ < 0) return;
    const auto kind = static_cast<N>(shownNotification_);
    Defaults& d = ctx_.defaults();
    LevelDisplayContent c;
    switch (kind) {
        case N::didChangeVolume: {
            const auto v = levels_ ? levels_->volume() : std::nullopt;
            if (!v) return;
            c = volumeContent(*v, lookOf(hudSettings(d, HUDKind::volume)), d.get(keys::outputDevice),
                              levels_->outputDeviceSymbol(), accentColor());
            if (c.bar) c.bar->level = volumeBar_.value();
            break;
        }
        case N::didChangeBrightness: {
            const auto b = levels_ ? levels_->brightness() : std::nullopt;
            if (!b) return;
            c = brightnessContent(*b, lookOf(hudSettings(d, HUDKind::brightness)), accentColor());
            if (c.bar) c.bar->level = brightnessBar_.value();
            break;
        }
        case N::isCharging:
        case N::isLowBattery:
        case N::isLowPowerMode: {
            const auto level = levels_ ? levels_->batteryLevel() : std::nullopt;
            if (!level) return;
            const BatteryDisplay k = kind == N::isCharging     ? BatteryDisplay::charging
                                     : kind == N::isLowBattery ? BatteryDisplay::lowBattery
                                                               : BatteryDisplay::lowPowerMode;
            c = batteryContent(k, *level, d.get(keys::hideBatteryLabel), d.get(keys::hideBatteryPercentage));
            break;
        }
        default: {
            // The Focus and time-to-leave notifications come from their own view.
            QRectF left, right;
            const auto wings = focusCalendarNotification(ctx_, kind);
            if (!wings || !wingsOf(ctx_, m, kWidth, left, right)) return;
            p.save();
            p.setOpacity(p.opacity() * std::clamp(contentOpacity_.value(), 0.0, 1.0));
            paintWings(p, left, right, notchPath(kWidth, m.width, m.height, m.topRadius, m.bottomRadius), *wings);
            p.restore();
            return;
        }
    }

    // The content sits in the two wings beside the notch proper.
    QRectF left, right;
    if (!wingsOf(ctx_, m, kWidth, left, right)) return;
    const double h = left.height();

    p.save();
    p.setClipPath(notchPath(kWidth, m.width, m.height, m.topRadius, m.bottomRadius), Qt::IntersectClip);
    p.setOpacity(p.opacity() * std::clamp(contentOpacity_.value(), 0.0, 1.0));

    const double iconSide = h * 0.62;
    const QRectF icon(left.left(), left.center().y() - iconSide / 2, iconSide, iconSide);
    for (const SymbolLayer& layer : c.symbol) {
        if (layer.opacity <= 0) continue;
        p.save();
        p.setOpacity(p.opacity() * layer.opacity);
        const double s = iconSide * layer.scale;
        const QRectF r(icon.center().x() - s / 2, icon.center().y() - s / 2, s, s);
        // The speaker's layers are drawn so that they line up; other symbols come from the theme.
        const bool layered = c.symbol.size() > 1;
        paintSymbol(p, layered ? icon : r, layer.name, Qt::white, !layered);
        p.restore();
    }

    QFont font = p.font();
    font.setPixelSize(std::max(8, static_cast<int>(h * 0.36)));
    font.setWeight(QFont::DemiBold);
    p.setFont(font);
    p.setPen(Qt::white);
    if (!c.label.empty()) {
        const QRectF label(icon.right() + 6, left.top(), std::max(0.0, left.right() - icon.right() - 6), h);
        p.drawText(label, Qt::AlignVCenter | Qt::AlignLeft, QString::fromStdString(c.label));
    }
    double barRight = right.right();
    if (c.batteryLevel >= 0) {
        const double bw = h * 0.9;
        paintBatteryGlyph(p, QRectF(right.right() - bw, right.top(), bw, h), c.batteryLevel, kind == N::isCharging, Qt::white);
        barRight = right.right() - bw - 4;
    }
    double barLeft = right.left() + 4;
    if (!c.percentage.empty()) {
        const QString text = QString::fromStdString(c.percentage);
        const double tw = QFontMetricsF(font).horizontalAdvance(text);
        p.drawText(QRectF(barRight - tw, right.top(), tw, h), Qt::AlignVCenter | Qt::AlignRight, text);
        barRight -= tw + 6;
    }
    if (c.bar && barRight - barLeft > 8) {
        const double bh = std::max(3.0, h * 0.16);
        paintBar(p, QRectF(barLeft, right.center().y() - bh / 2, barRight - barLeft, bh), *c.bar);
    }
    p.restore();
}

}  // namespace halvyn
