#include "shell/focus_calendar_view.h"

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

#include "app/context.h"
#include "calendar/calendar_manager.h"
#include "platform/locale.h"
#include "platform/platform.h"
#include "settings/defaults.h"
#include "settings/keys.h"
#include "shell/colors.h"
#include "shell/notch_scene.h"
#include "shell/symbols.h"
#include "shell/whole_number.h"
#include "sources/focus_manager.h"

namespace halvyn {

namespace {
using N = Notch::Notification;
using L = Notch::LiveActivity;
// A travel estimate is another service's number; more than this does not fit the notch.
constexpr int kMaxTravelMinutes = 99999;

const QColor kIndigo(0x5E, 0x5C, 0xE6);
}  // namespace

QColor namedColor(std::string_view name) {
    static const std::pair<std::string_view, QColor> table[] = {
        {"IndigoColor", kIndigo},
        {"PurpleColor", QColor(0xBF, 0x5A, 0xF2)},
        {"TealColor", QColor(0x40, 0xC8, 0xE0)},
        {"GreenColor", QColor(0x30, 0xD1, 0x58)},
        {"ReddishOrangeColor", reddishOrangeColor()},
        {"SkyColor", QColor(0x0A, 0x84, 0xFF)},
        {"StoneColor", QColor(0xA2, 0x84, 0x5E)},
        {"StoneLightColor", QColor(0x98, 0x98, 0x9D)},
        {"PinkColor", QColor(0xFF, 0x37, 0x5F)},
        {"RoseColor", roseColor()},
    };
    for (auto& [n, c] : table)
        if (n == name) return c;
    if (name.size() == 7 && name[0] == '#') {
        const QColor c(QString::fromUtf8(name.data(), static_cast<int>(name.size())));
        if (c.isValid()) return c;
    }
    return kIndigo;
}

WingContent focusContent(const std::optional<FocusMode>& mode, bool isFocus, bool hideLabel) {
    WingContent c;
    c.symbol = mode ? mode->symbol : "moon.fill";
    c.tint = mode ? namedColor(mode->tintColor) : kIndigo;
    if (isFocus) {
        if (!hideLabel) c.label = mode ? mode->displayName() : "Focus";
        c.trailing = "On";
    } else {
        c.tint = QColor(0x8E, 0x8E, 0x93);
        if (!hideLabel) c.label = mode ? mode->displayName() : "Focus";
        c.trailing = "Off";
    }
    return c;
}

std::string countdownText(double remaining) {
    char buf[32];
    if (!std::isfinite(remaining) || remaining <= 0) return "now";
    if (remaining > 300) {
        const long minutes = static_cast<long>(std::ceil(remaining / 60 - 1e-9));
        if (minutes >= 60) std::snprintf(buf, sizeof buf, "%ldh %02ldm", minutes / 60, minutes % 60);
        else std::snprintf(buf, sizeof buf, "%ldm", minutes);
    } else if (remaining > 60) {
        const long s = static_cast<long>(std::ceil(remaining - 1e-9));
        std::snprintf(buf, sizeof buf, "%ld:%02ld", s / 60, s % 60);
    } else {
        std::snprintf(buf, sizeof buf, "%lds", static_cast<long>(std::ceil(remaining - 1e-9)));
    }
    return buf;
}

WingContent calendarContent(const UpcomingEvent& event, std::optional<double> remaining, std::optional<double> progress,
                            bool reverseProgress, bool colouredIndicator) {
    WingContent c;
    c.symbol = "calendar";
    c.tint = colouredIndicator ? namedColor(event.color) : QColor(Qt::white);
    c.label = event.displayTitle();
    if (remaining) {
        c.trailing = countdownText(*remaining);
        // An hour or more shortened for the narrow wing: "1h 05m" becomes "65m", and from 100
        // minutes on the nearest hour ("2h").
        const long minutes = static_cast<long>(std::ceil(*remaining / 60 - 1e-9));
        if (*remaining > 3600)
            c.trailingShort = minutes < 100 ? std::to_string(minutes) + "m" : std::to_string((minutes + 30) / 60) + "h";
    }
    // The published fraction is the part that remains; the bar fills up as time passes unless
    // it is asked to count down.
    if (progress) c.bar = reverseProgress ? *progress : 1 - *progress;
    c.barColor = colouredIndicator ? namedColor(event.color) : QColor(Qt::white);
    return c;
}

WingContent timeToLeaveContent(std::optional<double> travelSeconds, TransportType transport) {
    WingContent c;
    switch (transport) {
        case TransportType::drive: c.symbol = "car.fill"; break;
        case TransportType::walk: c.symbol = "figure.walk"; break;
        case TransportType::transit: c.symbol = "tram.fill"; break;
    }
    c.tint = QColor(0x0A, 0x84, 0xFF);
    c.label = "Time to leave";
    if (travelSeconds && std::isfinite(*travelSeconds))
        c.trailing = std::to_string(wholeNumberWithin(*travelSeconds / 60, 1, kMaxTravelMinutes, 1)) + " min";
    return c;
}

std::optional<WingContent> focusCalendarNotification(Context& ctx, Notch::Notification kind) {
    Defaults& d = ctx.defaults();
    if (kind == N::isFocus) {
        const FocusManager& f = ctx.focus();
        return focusContent(f.focusMode.get(), f.isFocus.get(), d.get(keys::hideLabel));
    }
    if (kind == N::timeToLeave) {
        return timeToLeaveContent(ctx.calendar().travelTime.get(), d.get(keys::defaultTransportType));
    }
    return std::nullopt;
}

std::optional<WingContent> focusCalendarActivity(Context& ctx) {
    const Notch& n = ctx.notch();
    if (!n.hasLiveActivity.get()) return std::nullopt;
    Defaults& d = ctx.defaults();
    if (n.liveActivity.get() == L::isFocus) {
        const FocusManager& f = ctx.focus();
        if (!f.isFocus.get()) return std::nullopt;
        WingContent c = focusContent(f.focusMode.get(), true, d.get(keys::hideLabel));
        c.trailing.clear();  // while it lasts, the symbol and name say it
        return c;
    }
    if (n.liveActivity.get() == L::isCalendar) {
        const CalendarManager& cal = ctx.calendar();
        if (!cal.nextEvent.get()) return std::nullopt;
        return calendarContent(*cal.nextEvent.get(), cal.remainingTime.get(), cal.eventProgress.get(),
                               d.get(keys::reverseEventProgress), d.get(keys::useColoredCalendarIndicator));
    }
    return std::nullopt;
}

std::string paintWings(QPainter& p, const QRectF& left, const QRectF& right, const QPainterPath& clip,
                       const WingContent& c) {
    p.save();
    p.setClipPath(clip, Qt::IntersectClip);
    p.setRenderHint(QPainter::Antialiasing);
    const double h = left.height();
    const double iconSide = std::min(h * 0.62, left.width());
    const QRectF icon(left.left(), left.center().y() - iconSide / 2, iconSide, iconSide);
    paintSymbol(p, icon, c.symbol, c.tint);

    QFont font = p.font();
    font.setWeight(QFont::DemiBold);
    const int preferredPx = static_cast<int>(std::clamp(h * 0.42, 10.0, 13.0));
    constexpr int kMinPx = 9;
    if (!c.label.empty()) {
        const QRectF label(icon.right() + 6, left.top(), std::max(0.0, left.right() - icon.right() - 6), h);
        // Shown whole or not at all: a stub of a name says nothing.
        const QString full = QString::fromStdString(c.label);
        auto [f, text] = fitLabel(font, full, label.width(), preferredPx, kMinPx);
        p.setFont(f);
        p.setPen(c.tint == QColor(0x8E, 0x8E, 0x93) ? c.tint : QColor(Qt::white));
        if (text == full) p.drawText(label, Qt::AlignVCenter | Qt::AlignLeft, text);
    }
    std::string drawn;
    if (!c.trailing.empty()) {
        const QString full = QString::fromStdString(c.trailing);
        auto fitted = fitLabel(font, full, right.width(), preferredPx, kMinPx);
        if (fitted.second != full && !c.trailingShort.empty()) {
            const QString brief = QString::fromStdString(c.trailingShort);
            if (auto shorter = fitLabel(font, brief, right.width(), preferredPx, kMinPx); shorter.second == brief)
                fitted = shorter;
        }
        p.setFont(fitted.first);
        p.setPen(Qt::white);
        p.drawText(right, Qt::AlignVCenter | Qt::AlignRight, fitted.second);
        drawn = fitted.second.toStdString();
    }
    if (c.bar) {
        // A thin bar along the bottom of the compact notch, under both wings.
        const double bh = std::max(2.0, h * 0.1);
        const QRectF track(left.left(), left.bottom() - bh - 1, right.right() - left.left(), bh);
        QColor dim = c.barColor;
        dim.setAlphaF(0.3f);
        p.setPen(Qt::NoPen);
        p.setBrush(dim);
        p.drawRoundedRect(track, bh / 2, bh / 2);
        const double w = track.width() * std::clamp(*c.bar, 0.0, 1.0);
        if (w > 0) {
            p.setBrush(c.barColor);
            p.drawRoundedRect(QRectF(track.left(), track.top(), std::max(w, bh), bh), bh / 2, bh / 2);
        }
    }
    p.restore();
    return drawn;
}

std::string clockText(Context& ctx, WallTime t) {
    const Locale* locale = ctx.platform().locale();
    const auto local = t + std::chrono::seconds(locale ? locale->utcOffsetSeconds(t) : 0);
    const auto day = std::chrono::floor<std::chrono::days>(local);
    const std::chrono::hh_mm_ss hms(std::chrono::floor<std::chrono::minutes>(local - day));
    char text[8];
    std::snprintf(text, sizeof text, "%02d:%02d", static_cast<int>(hms.hours().count()),
                  static_cast<int>(hms.minutes().count()));
    return text;
}

std::optional<EventDetails> eventDetails(Context& ctx) {
    const CalendarManager& cal = ctx.calendar();
    if (!cal.nextEvent.get()) return std::nullopt;
    const UpcomingEvent& e = *cal.nextEvent.get();
    EventDetails d;
    d.title = e.title.empty() ? "Event" : e.title;
    d.when = clockText(ctx, e.startDate) + " – " + clockText(ctx, e.endDate);
    if (e.meetingType) d.service = title(*e.meetingType);
    d.joinable = e.url && e.meetingType;
    d.tint = ctx.defaults().get(keys::useColoredCalendarIndicator) ? namedColor(e.color) : QColor(Qt::white);
    return d;
}

QRectF paintEventDetails(QPainter& p, const QRectF& box, const EventDetails& e) {
    if (box.width() < 40 || box.height() < 16) return {};
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    QFont font = p.font();
    font.setWeight(QFont::DemiBold);
    font.setPixelSize(12);
    QRectF join;
    double textRight = box.right();
    if (e.joinable) {
        const QString label = QStringLiteral("Join");
        const double w = QFontMetricsF(font).horizontalAdvance(label) + 18;
        const double bh = std::min(22.0, box.height() - 6);
        join = QRectF(box.right() - w, box.center().y() - bh / 2, w, bh);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x30, 0xD1, 0x58));
        p.drawRoundedRect(join, bh / 2, bh / 2);
        p.setFont(font);
        p.setPen(Qt::black);
        p.drawText(join, Qt::AlignCenter, label);
        textRight = join.left() - 8;
    }
    const double line = box.height() / 2;
    const double width = std::max(0.0, textRight - box.left());
    font.setPixelSize(13);
    p.setFont(font);
    p.setPen(Qt::white);
    const QRectF title(box.left(), box.top() + 1, width, line);
    p.drawText(title, Qt::AlignVCenter | Qt::AlignLeft,
               QFontMetricsF(font).elidedText(QString::fromStdString(e.title), Qt::ElideRight, width));
    font.setWeight(QFont::Normal);
    font.setPixelSize(11);
    p.setFont(font);
    p.setPen(QColor(255, 255, 255, 165));
    const std::string sub = e.service.empty() ? e.when : e.when + " · " + e.service;
    p.drawText(QRectF(box.left(), title.bottom(), width, line - 2), Qt::AlignVCenter | Qt::AlignLeft,
               QFontMetricsF(font).elidedText(QString::fromStdString(sub), Qt::ElideRight, width));
    p.restore();
    return join;
}

Subscription observeFocusCalendar(Context& ctx, std::function<void()> changed) {
    auto subs = std::make_shared<std::vector<Subscription>>();
    auto forward = [changed](const auto&, const Animation*) { changed(); };
    Notch& n = ctx.notch();
    subs->push_back(n.liveActivity.observe(forward));
    subs->push_back(n.hasLiveActivity.observe(forward));
    FocusManager& f = ctx.focus();
    subs->push_back(f.isFocus.observe(forward));
    subs->push_back(f.focusMode.observe(forward));
    CalendarManager& cal = ctx.calendar();
    subs->push_back(cal.nextEvent.observe(forward));
    subs->push_back(cal.remainingTime.observe(forward));
    subs->push_back(cal.eventProgress.observe(forward));
    return Subscription([subs] { subs->clear(); });
}

}  // namespace halvyn
