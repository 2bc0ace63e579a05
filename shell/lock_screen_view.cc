#include "shell/lock_screen_view.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>

#include "app/context.h"
#include "calendar/calendar_manager.h"
#include "lockscreen/lock_screen.h"
#include "nowplaying/music_manager.h"
#include "settings/defaults.h"
#include "shell/colors.h"
#include "shell/focus_calendar_view.h"
#include "shell/hud_content.h"
#include "shell/notch_scene.h"
#include "shell/now_playing_view.h"
#include "shell/symbols.h"
#include "sources/focus_manager.h"
#include "weather/weather_manager.h"

namespace halvyn {

namespace {

std::optional<LockScreenWidget> weatherWidget(Context& ctx) {
    const WeatherManager* w = &ctx.weather();
    if (!w->hasWeather.get()) return std::nullopt;
    LockScreenWidget out{LockScreenWidgetType::weather};
    switch (ctx.defaults().get(keys::weatherStyle)) {
        case WeatherStyle::conditions: {
            const auto& now = w->weather.get();
            if (!now || !now->temperature) return std::nullopt;
            out.symbol = now->symbol.value_or("questionmark");
            out.text = std::to_string(*now->temperature) + "°";
            break;
        }
        case WeatherStyle::sun: {
            const auto& sun = w->sun.get();
            if (!sun) return std::nullopt;
            out.symbol = sun->type == SunType::sunrise ? "sunrise.fill" : "sunset.fill";
            out.text = clockText(ctx, sun->time);
            break;
        }
        case WeatherStyle::precipitation: {
            const auto chance = w->precipitationChance.get();
            if (!chance) return std::nullopt;
            out.symbol = w->isRaining.get() ? "cloud.rain.fill" : "umbrella.fill";
            out.text = std::to_string(*chance) + "%";
            break;
        }
    }
    return out;
}

}  // namespace

std::vector<LockScreenWidget> lockScreenWidgets(Context& ctx, const DisplayLevels* levels) {
    std::vector<LockScreenWidget> out;
    for (const LockScreenWidgetType kind : ctx.lockScreen().widgets.get()) {
        std::optional<LockScreenWidget> w;
        switch (kind) {
            case LockScreenWidgetType::battery:
                if (const auto power = levels ? levels->power() : std::nullopt) {
                    w = LockScreenWidget{kind};
                    w->batteryLevel = std::clamp(power->level, 0.0, 1.0);
                    w->charging = !power->onBattery;
                    w->text = percentText(*w->batteryLevel);
                }
                break;
            case LockScreenWidgetType::connectivity:
                if (const auto acc = levels ? levels->accessory() : std::nullopt) {
                    w = LockScreenWidget{kind, acc->symbol};
                    w->text = acc->battery ? percentText(std::clamp(*acc->battery, 0.0, 1.0)) : acc->name;
                    if (acc->battery) w->tint = acc->batteryLow ? roseColor() : emeraldColor();
                }
                break;
            case LockScreenWidgetType::focus:
                if (const FocusManager* f = &ctx.focus(); f->isFocus.get() && f->focusMode.get()) {
                    const WingContent c = focusContent(f->focusMode.get(), true, false);
                    w = LockScreenWidget{kind, c.symbol, c.tint, c.label};
                }
                break;
            case LockScreenWidgetType::calendar:
                if (const CalendarManager* cal = &ctx.calendar(); cal->nextEvent.get()) {
                    const Defaults& d = ctx.defaults();
                    const WingContent c = calendarContent(*cal->nextEvent.get(), cal->remainingTime.get(),
                                                          cal->eventProgress.get(), d.get(keys::reverseEventProgress),
                                                          d.get(keys::useColoredCalendarIndicator));
                    w = LockScreenWidget{kind, c.symbol, c.tint, c.trailing.empty() ? c.label : c.label + " · " + c.trailing};
                }
                break;
            case LockScreenWidgetType::weather: w = weatherWidget(ctx); break;
        }
        if (w) out.push_back(std::move(*w));
    }
    return out;
}

LockScreenView::LockScreenView(Context& ctx, const DisplayLevels* levels)
    : ctx_(ctx),
      levels_(levels),
      nowPlaying_(std::make_unique<NowPlayingView>(ctx, [] {})),
      opacity_(ctx.lockScreen().isVisible.get() ? 1 : 0),
      rowTop_(ctx.lockScreen().topInset.get()) {
    LockScreen& ls = ctx.lockScreen();
    auto clock = [this] { return toSeconds(ctx_.clock().uptime()); };
    subscriptions_.push_back(ls.isVisible.observe([this, clock](const bool& shown, const Animation* anim) {
        opacity_.setTarget(shown ? 1 : 0, anim, clock());
        if (shown) return;
        // The next showing starts with the row in place.
        lastPaint_ = -1;
        widgetX_.clear();
        widgetAlpha_.clear();
    }));
    subscriptions_.push_back(ls.topInset.observe([this, clock](const double& top, const Animation*) {
        const Animation spring = Animation::critical(0.2);
        rowTop_.setTarget(top, &spring, clock());
    }));
}

LockScreenView::~LockScreenView() = default;

bool LockScreenView::showsPanel() const { return ctx_.lockScreen().panel() != nullptr; }

QSizeF LockScreenView::size() const {
    const auto screen = ctx_.lockScreen().screen();
    return {LockScreenPanel::kWidth, screen ? screen->frame.height : 0.0};
}

void LockScreenView::paint(QPainter& p) {
    const LockScreen& ls = ctx_.lockScreen();
    const QSizeF sz = size();
    // The whole panel fades with its visibility; the system's lock screen shows through.
    p.save();
    opacity_.step(now_);
    rowTop_.step(now_);
    p.setOpacity(std::clamp(opacity_.value(), 0.0, 1.0));
    p.setRenderHint(QPainter::Antialiasing);

    // The row, centred below the clock, sized for the panel.
    const auto widgets = lockScreenWidgets(ctx_, levels_);
    const double icon = rowHeight();
    QFont font = p.font();
    font.setPixelSize(static_cast<int>(icon * 0.72));
    font.setWeight(QFont::DemiBold);
    p.setFont(font);
    const QFontMetricsF metrics(font);
    const double gap = icon * 0.3, spacing = icon;
    std::vector<double> widths;
    double total = 0;
    for (const auto& w : widgets) {
        const double glyph = w.batteryLevel ? icon * 1.6 : icon;
        widths.push_back(glyph + gap + metrics.horizontalAdvance(QString::fromStdString(w.text)));
        total += widths.back();
    }
    if (!widgets.empty()) total += spacing * static_cast<double>(widgets.size() - 1);
    // Too wide for the panel: the widgets that fit a fair share keep their width, and only the
    // wider ones share what is left, their texts elided.
    const double room = sz.width() - 32;
    double share = 0;
    if (total > room && !widgets.empty()) {
        std::vector<double> sorted = widths;
        std::sort(sorted.begin(), sorted.end());
        double left = room - spacing * static_cast<double>(widgets.size() - 1);
        std::size_t rest = sorted.size();
        for (double w : sorted) {
            if (w > left / static_cast<double>(rest)) break;
            left -= w;
            --rest;
        }
        share = rest ? left / static_cast<double>(rest) : 0;
    }
    drawnTexts_.clear();
    double x = (sz.width() - std::min(total, room)) / 2;
    const double y = rowTop_.value();
    const Animation widgetSpring = Animation::critical(0.25);
    for (std::size_t i = 0; i < widgets.size(); ++i) {
        const auto& w = widgets[i];
        const double width = share > 0 ? std::min(widths[i], share) : widths[i];
        // A widget new to the row fades in where it belongs; one whose place changed slides there.
        // The change is taken to have come just after the last frame; on the first frame
        // everything stands where it belongs.
        const bool first = lastPaint_ < 0;
        const double since = first ? now_ : lastPaint_;
        const auto place = widgetX_.try_emplace(w.kind, x).first;
        const auto alpha = widgetAlpha_.try_emplace(w.kind, first ? 1.0 : 0.0).first;
        if (place->second.target() != x) place->second.setTarget(x, &widgetSpring, since);
        if (alpha->second.target() != 1) alpha->second.setTarget(1, &widgetSpring, since);
        place->second.step(now_);
        alpha->second.step(now_);
        const double target = x;
        x = place->second.value();
        p.save();
        p.setOpacity(p.opacity() * std::clamp(alpha->second.value(), 0.0, 1.0));
        const double glyph = w.batteryLevel ? icon * 1.6 : icon;
        if (w.batteryLevel)
            paintBatteryGlyph(p, QRectF(x, y + 2, glyph, icon - 4), *w.batteryLevel, w.charging, Qt::white);
        else
            paintSymbol(p, QRectF(x, y, icon, icon), w.symbol, w.tint);
        const double textWidth = std::max(0.0, width - glyph - gap);
        p.setPen(Qt::white);
        // Measured widths are fractional: a text given its own width shows whole, never elided by
        // rounding.
        const QString full = QString::fromStdString(w.text);
        const QString text = width >= widths[i] ? full : metrics.elidedText(full, Qt::ElideRight, textWidth);
        p.drawText(QRectF(x + glyph + gap, y, textWidth + 2, icon), Qt::AlignVCenter | Qt::AlignLeft, text);
        drawnTexts_.push_back(text.toStdString());
        p.restore();
        x = target + width + spacing;
    }
    lastPaint_ = now_;
    // Widgets that left the row fade in again when they come back.
    for (auto it = widgetAlpha_.begin(); it != widgetAlpha_.end();) {
        const bool shown = std::any_of(widgets.begin(), widgets.end(), [&](const auto& w) { return w.kind == it->first; });
        if (shown) {
            ++it;
        } else {
            widgetX_.erase(it->first);
            it = widgetAlpha_.erase(it);
        }
    }

    // The media card, above the login elements, in the notch's dark material.
    const MusicManager& music = ctx_.music();
    if (ctx_.defaults().get(keys::allowNowPlayingWidgetWhenLocked) && !music.currentTrack.get().isEmpty()) {
        const QRectF card(16, sz.height() - ls.bottomInset.get() - kCardHeight, sz.width() - 32, kCardHeight);
        if (card.top() > y + icon) {
            QPainterPath shape;
            shape.addRoundedRect(card, 24, 24);
            p.fillPath(shape, QColor(0, 0, 0, 170));
            nowPlaying_->paintCard(p, card.adjusted(0, 18, 0, -18), now_);
        }
    }
    p.restore();
}

double LockScreenView::rowHeight() const { return std::clamp(size().width() / 22, 18.0, 28.0); }

QImage LockScreenView::render(double t, double scale) {
    now_ = t;
    nowPlaying_->step(t);
    const QSizeF sz = size();
    QImage img(QSize(static_cast<int>(sz.width() * scale), static_cast<int>(sz.height() * scale)),
               QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.scale(scale, scale);
    paint(p);
    return img;
}

}  // namespace halvyn
