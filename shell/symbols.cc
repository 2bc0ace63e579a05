#include "shell/symbols.h"

#include "shell/colors.h"

#include <QColor>
#include <QDir>
#include <QIcon>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <QPainterPath>
#include <QRectF>

#include <QPainterPathStroker>
#include <QStandardPaths>

#include <array>
#include <charconv>
#include <filesystem>
#include <cmath>
#include <cstdint>
#include <map>
#include <numbers>
#include <string>
#include <unordered_map>

namespace halvyn {

namespace {

// The program's own drawings, for symbols the theme has no good match for and for layers that
// must line up exactly.
enum class Drawn : std::uint8_t {
    none, speaker, speakerWave1, speakerWave2, speakerSlash, sunLarge, sunSmall, bolt, earbuds,
    battery100, battery100Bolt, battery25, battery0, lock, sparkles, bed, figureWalk, figureRun, tram,
    hand, umbrella, megaphone, ladybug, xmarkCircle, starOutline, mic, keyboardLightLarge, keyboardLightSmall,
};

struct SymbolEntry {
    std::string_view symbol;
    // Adwaita symbolic icons ("-symbolic" left off), best first: the first installed one is used.
    std::array<std::string_view, 3> icons;
    Drawn drawn;  // used when none of the icons is installed, or the theme is skipped
};

using D = Drawn;

// The one table of the program's symbols.
constexpr SymbolEntry kSymbols[] = {
    // The volume display's layers: the theme's volume icons show every wave, dimmed or not, and
    // the layers must line up, so they are drawn. The muted speaker's slash must show too.
    {"speaker.fill", {}, D::speaker},
    {"speaker.wave.1.fill", {}, D::speakerWave1},
    {"speaker.wave.2.fill", {}, D::speakerWave2},
    {"speaker.slash.fill", {}, D::speakerSlash},
    {"sun.max.fill", {"display-brightness", "weather-clear"}, D::sunLarge},
    {"sun.min.fill", {}, D::sunSmall},
    // The keyboard display's pair: a keyboard lit from above, more light for the large one.
    {"light.max", {}, D::keyboardLightLarge},
    {"light.min", {}, D::keyboardLightSmall},
    // Power. The charging bolt keeps its own shape: the theme's bolts sit in a battery or a badge.
    {"bolt.fill", {}, D::bolt},
    {"battery.100", {"battery-level-100", "battery-full"}, D::battery100},
    {"battery.100.bolt", {"battery-level-100-charged", "battery-full-charging"}, D::battery100Bolt},
    {"battery.25", {"battery-level-20", "battery-caution"}, D::battery25},
    {"battery.0", {"battery-level-0", "battery-empty"}, D::battery0},
    {"lock.fill", {"system-lock-screen", "changes-prevent"}, D::lock},
    // Accessories and output devices.
    {"headphones", {"audio-headphones", "audio-headset"}, D::none},
    {"airpodsmax", {"audio-headphones", "audio-headset"}, D::none},
    {"earpods", {}, D::earbuds},
    {"airpods", {}, D::earbuds},
    {"airpods.gen3", {}, D::earbuds},
    {"airpods.gen4", {}, D::earbuds},
    {"airpods.gen4.left", {}, D::earbuds},
    {"airpods.gen4.right", {}, D::earbuds},
    {"airpods.pro", {}, D::earbuds},
    {"airpods.pro.left", {}, D::earbuds},
    {"airpods.pro.right", {}, D::earbuds},
    {"hifispeaker.fill", {"audio-speakers", "multimedia-volume-control"}, D::none},
    {"homepod.fill", {"audio-speakers", "multimedia-volume-control"}, D::none},
    {"homepodmini.fill", {"audio-speakers", "multimedia-volume-control"}, D::none},
    {"display", {"video-display", "computer"}, D::none},
    {"laptopcomputer", {"computer", "video-display"}, D::none},
    {"macbook", {"computer", "video-display"}, D::none},
    // Media controls.
    {"play.fill", {"media-playback-start"}, D::none},
    {"pause.fill", {"media-playback-pause"}, D::none},
    {"forward.end.fill", {"media-skip-forward"}, D::none},
    {"backward.end.fill", {"media-skip-backward"}, D::none},
    {"goforward.30", {"media-seek-forward"}, D::none},
    {"gobackward.15", {"media-seek-backward"}, D::none},
    {"shuffle", {"media-playlist-shuffle"}, D::none},
    {"repeat", {"media-playlist-repeat"}, D::none},
    {"star.fill", {"starred", "emblem-favorite"}, D::none},
    // The theme's empty star is drawn faint; this one is an outline at full strength.
    {"star", {}, D::starOutline},
    {"heart.fill", {"emote-love", "emblem-favorite"}, D::none},
    {"link", {"insert-link"}, D::none},
    {"music.note", {"audio-x-generic", "emblem-music", "folder-music"}, D::none},
    // Focus modes.
    {"moon.fill", {"weather-clear-night", "night-light"}, D::none},
    {"person.fill", {"avatar-default", "system-users"}, D::none},
    {"person.lanyardcard.fill", {"user-info", "x-office-address-book"}, D::none},
    {"bed.double.fill", {}, D::bed},
    {"car.fill", {"emoji-travel"}, D::none},
    {"figure.run", {}, D::figureRun},
    {"book.closed.fill", {"accessories-dictionary"}, D::none},
    {"apple.mindfulness", {"emoji-nature"}, D::none},
    {"rocket.fill", {"input-gaming", "applications-games"}, D::none},
    {"apple.intelligence", {}, D::sparkles},
    // Calendar, travel and the status menu's event items.
    {"calendar", {"x-office-calendar", "appointment-soon"}, D::none},
    {"figure.walk", {}, D::figureWalk},
    {"tram.fill", {}, D::tram},
    {"video.fill", {"camera-video", "camera-web"}, D::none},
    // The microphone in use.
    {"mic.fill", {"audio-input-microphone"}, D::mic},
    {"xmark.circle.fill", {}, D::xmarkCircle},
    // First-launch pages, permission banners and change notes.
    {"globe", {"web-browser", "preferences-desktop-locale"}, D::none},
    {"sparkles", {}, D::sparkles},
    {"hand.raised.fill", {}, D::hand},
    {"megaphone.fill", {}, D::megaphone},
    {"ladybug.fill", {}, D::ladybug},
    // Weather conditions, by day and by night, and the lock screen's sun and rain.
    {"cloud.snow.fill", {"weather-snow"}, D::none},
    {"sun.dust.fill", {"weather-fog"}, D::none},
    {"moon.dust.fill", {"weather-fog"}, D::none},
    {"wind.snow", {"weather-snow", "weather-windy"}, D::none},
    {"wind", {"weather-windy"}, D::none},
    {"moon.stars.fill", {"weather-clear-night"}, D::none},
    {"cloud.fill", {"weather-overcast"}, D::none},
    {"cloud.drizzle.fill", {"weather-showers-scattered", "weather-showers"}, D::none},
    {"cloud.fog.fill", {"weather-fog"}, D::none},
    {"cloud.sleet.fill", {"weather-snow", "weather-showers"}, D::none},
    {"thermometer.snowflake", {"weather-snow"}, D::none},
    {"cloud.hail.fill", {"weather-showers", "weather-snow"}, D::none},
    {"sun.haze.fill", {"weather-fog"}, D::none},
    {"moon.haze.fill", {"weather-fog"}, D::none},
    {"cloud.heavyrain.fill", {"weather-showers"}, D::none},
    {"thermometer.sun.fill", {"weather-clear"}, D::sunLarge},
    {"hurricane", {"weather-tornado", "weather-storm"}, D::none},
    {"tropicalstorm", {"weather-storm", "weather-tornado"}, D::none},
    {"cloud.sun.bolt.fill", {"weather-storm"}, D::none},
    {"cloud.moon.bolt.fill", {"weather-storm"}, D::none},
    {"cloud.sun.fill", {"weather-few-clouds"}, D::none},
    {"cloud.moon.fill", {"weather-few-clouds-night"}, D::none},
    {"cloud.rain.fill", {"weather-showers"}, D::none},
    {"cloud.bolt.rain.fill", {"weather-storm"}, D::none},
    {"smoke.fill", {"weather-fog"}, D::none},
    {"cloud.sun.rain.fill", {"weather-showers-scattered", "weather-showers"}, D::none},
    {"questionmark", {"dialog-question", "help-about"}, D::none},
    {"sunrise.fill", {"daytime-sunrise"}, D::none},
    {"sunset.fill", {"daytime-sunset"}, D::none},
    {"umbrella.fill", {}, D::umbrella},
};

const SymbolEntry* entryOf(std::string_view symbol) {
    for (const auto& e : kSymbols)
        if (e.symbol == symbol) return &e;
    return nullptr;
}

QPointF at(const QRectF& r, double x, double y) { return {r.left() + x * r.width(), r.top() + y * r.height()}; }

void drawSpeaker(QPainter& p, const QRectF& r, int waves, bool slash, const QColor& c) {
    QPainterPath body;
    body.moveTo(at(r, 0.05, 0.36));
    body.lineTo(at(r, 0.22, 0.36));
    body.lineTo(at(r, 0.44, 0.14));
    body.lineTo(at(r, 0.44, 0.86));
    body.lineTo(at(r, 0.22, 0.64));
    body.lineTo(at(r, 0.05, 0.64));
    body.closeSubpath();
    p.fillPath(body, c);
    QPen pen(c, std::max(1.0, r.width() * 0.08), Qt::SolidLine, Qt::RoundCap);
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    for (int i = 1; i <= waves; ++i) {
        const double rad = 0.14 + 0.16 * i;
        const QRectF arc(at(r, 0.44 - rad, 0.5 - rad), QSizeF(2 * rad * r.width(), 2 * rad * r.height()));
        p.drawArc(arc, -45 * 16, 90 * 16);
    }
    if (slash) {
        // The slash is cut out of the speaker with a clear margin, then drawn, so it reads as a
        // slash at small sizes too.
        const QPointF a = at(r, 0.1, 0.08), b = at(r, 0.9, 0.92);
        p.save();
        p.setCompositionMode(QPainter::CompositionMode_DestinationOut);
        p.setPen(QPen(Qt::black, r.width() * 0.2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(a, b);
        p.restore();
        p.setPen(QPen(c, std::max(1.0, r.width() * 0.09), Qt::SolidLine, Qt::RoundCap));
        p.drawLine(a, b);
    }
}

void drawLock(QPainter& p, const QRectF& r, const QColor& c) {
    const double s = std::min(r.width(), r.height());
    const QRectF box(r.center().x() - s * 0.34, r.center().y() - s * 0.02, s * 0.68, s * 0.5);
    p.setPen(QPen(c, std::max(1.0, s * 0.11), Qt::SolidLine, Qt::FlatCap));
    p.setBrush(Qt::NoBrush);
    const double w = s * 0.4;
    QPainterPath shackle;
    shackle.moveTo(box.center().x() - w / 2, box.top());
    shackle.lineTo(box.center().x() - w / 2, box.top() - s * 0.2);
    shackle.arcTo(QRectF(box.center().x() - w / 2, box.top() - s * 0.2 - w / 2, w, w), 180, -180);
    shackle.lineTo(box.center().x() + w / 2, box.top());
    p.drawPath(shackle);
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawRoundedRect(box, s * 0.08, s * 0.08);
}

void drawEarbud(QPainter& p, const QRectF& r, const QColor& c) {
    const double s = std::min(r.width(), r.height());
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    for (double dx : {-0.2, 0.2}) {
        const QPointF head(r.center().x() + dx * s, r.center().y() - s * 0.2);
        p.drawEllipse(head, s * 0.15, s * 0.15);
        p.drawRoundedRect(QRectF(head.x() + (dx < 0 ? 0.02 : -0.1) * s, head.y(), s * 0.08, s * 0.52), s * 0.04, s * 0.04);
    }
}

void drawSun(QPainter& p, const QRectF& r, bool large, const QColor& c) {
    const QPointF centre = r.center();
    const double s = std::min(r.width(), r.height());
    p.setBrush(c);
    p.setPen(Qt::NoPen);
    const double core = s * (large ? 0.22 : 0.18);
    p.drawEllipse(centre, core, core);
    QPen pen(c, std::max(1.0, s * 0.08), Qt::SolidLine, Qt::RoundCap);
    p.setPen(pen);
    const double inner = s * (large ? 0.32 : 0.28), outer = s * (large ? 0.47 : 0.36);
    for (int i = 0; i < 8; ++i) {
        const double a = i * std::numbers::pi / 4;
        p.drawLine(centre + QPointF(std::cos(a) * inner, std::sin(a) * inner),
                   centre + QPointF(std::cos(a) * outer, std::sin(a) * outer));
    }
}

// A keyboard (filled, its keys cut out) with rays of light fanning up from behind it.
void drawKeyboardLight(QPainter& p, const QRectF& r, bool large, const QColor& c) {
    const double s = std::min(r.width(), r.height());
    const QRectF box(r.center().x() - s * 0.45, r.center().y() + s * 0.08, s * 0.9, s * 0.4);
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawRoundedRect(box, s * 0.07, s * 0.07);
    p.save();
    p.setCompositionMode(QPainter::CompositionMode_DestinationOut);
    p.setBrush(Qt::black);
    const double key = s * 0.08, gap = s * 0.04;
    for (int row = 0; row < 2; ++row) {
        for (int col = 0; col < 6; ++col) {
            const double x = box.left() + s * 0.07 + col * (key + gap);
            p.drawRect(QRectF(x, box.top() + s * 0.07 + row * (key + gap), key, key));
        }
    }
    // The space bar.
    p.drawRect(QRectF(box.left() + s * 0.25, box.bottom() - s * 0.11, s * 0.4, s * 0.06));
    p.restore();
    p.setPen(QPen(c, std::max(1.0, s * 0.08), Qt::SolidLine, Qt::RoundCap));
    const QPointF origin(r.center().x(), box.top());
    const int rays = large ? 5 : 3;
    const double inner = s * 0.2, outer = s * (large ? 0.46 : 0.34);
    for (int i = 0; i < rays; ++i) {
        const double a = std::numbers::pi * (1.0 + (i + 1.0) / (rays + 1.0));  // upwards, left to right
        p.drawLine(origin + QPointF(std::cos(a) * inner, std::sin(a) * inner),
                   origin + QPointF(std::cos(a) * outer, std::sin(a) * outer));
    }
}

void drawBattery(QPainter& p, const QRectF& r, double level, bool bolt, const QColor& c) {
    const double h = r.height() * 0.5;
    const QRectF shell(r.left() + r.width() * 0.04, r.center().y() - h / 2, r.width() * 0.84, h);
    QPen pen(c, std::max(1.0, r.height() * 0.06));
    p.setPen(pen);
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(shell, h * 0.25, h * 0.25);
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawRoundedRect(QRectF(shell.right() + r.width() * 0.02, shell.center().y() - h * 0.2, r.width() * 0.06, h * 0.4),
                      1, 1);
    const QRectF inside = shell.adjusted(h * 0.15, h * 0.15, -h * 0.15, -h * 0.15);
    p.drawRect(QRectF(inside.topLeft(), QSizeF(inside.width() * std::clamp(level, 0.0, 1.0), inside.height())));
    if (bolt) {
        QPainterPath b;
        b.moveTo(at(shell, 0.55, 0.05));
        b.lineTo(at(shell, 0.35, 0.55));
        b.lineTo(at(shell, 0.5, 0.55));
        b.lineTo(at(shell, 0.45, 0.95));
        b.lineTo(at(shell, 0.65, 0.45));
        b.lineTo(at(shell, 0.5, 0.45));
        b.closeSubpath();
        p.fillPath(b, emeraldColor());
    }
}

// The square that a drawing made in unit coordinates fills, centred in `r`.
QRectF squareIn(const QRectF& r) {
    const double s = std::min(r.width(), r.height());
    return QRectF(r.center().x() - s / 2, r.center().y() - s / 2, s, s);
}

QPainterPath stroked(const QPainterPath& path, double width) {
    QPainterPathStroker stroker;
    stroker.setWidth(width);
    stroker.setCapStyle(Qt::RoundCap);
    stroker.setJoinStyle(Qt::RoundJoin);
    return stroker.createStroke(path);
}

// A four-pointed star of radius `rad` around (x, y), its sides curving in.
void addSparkle(QPainterPath& path, const QRectF& q, double x, double y, double rad) {
    const QPointF c = at(q, x, y);
    const double d = rad * q.width();
    path.moveTo(c + QPointF(0, -d));
    path.quadTo(c, c + QPointF(d, 0));
    path.quadTo(c, c + QPointF(0, d));
    path.quadTo(c, c + QPointF(-d, 0));
    path.quadTo(c, c + QPointF(0, -d));
    path.closeSubpath();
}

QPainterPath line(const QRectF& q, std::initializer_list<std::pair<double, double>> points) {
    QPainterPath path;
    bool first = true;
    for (auto [x, y] : points) {
        if (first) path.moveTo(at(q, x, y));
        else path.lineTo(at(q, x, y));
        first = false;
    }
    return path;
}

QPainterPath roundedRect(const QRectF& q, double x0, double y0, double x1, double y1, double radius) {
    QPainterPath path;
    path.addRoundedRect(QRectF(at(q, x0, y0), at(q, x1, y1)), radius * q.width(), radius * q.width());
    return path;
}

QPainterPath ellipse(const QRectF& q, double x, double y, double rx, double ry) {
    QPainterPath path;
    path.addEllipse(at(q, x, y), rx * q.width(), ry * q.height());
    return path;
}

// The shapes the theme has no good match for, each one path filled in the symbol's colour.
QPainterPath drawnShape(Drawn d, const QRectF& r) {
    const QRectF q = squareIn(r);
    const double w = q.width();
    QPainterPath path;
    switch (d) {
        case Drawn::mic:
            path.addPath(roundedRect(q, 0.34, 0.04, 0.66, 0.6, 0.16));
            path.addPath(line(q, {{0.2, 0.44}, {0.24, 0.62}, {0.38, 0.74}, {0.5, 0.76}, {0.62, 0.74}, {0.76, 0.62}, {0.8, 0.44}}));
            path.addPath(line(q, {{0.5, 0.76}, {0.5, 0.92}}));
            path.addPath(roundedRect(q, 0.32, 0.9, 0.68, 0.96, 0.03));
            path.setFillRule(Qt::WindingFill);
            break;
        case Drawn::sparkles:
            addSparkle(path, q, 0.42, 0.58, 0.38);
            addSparkle(path, q, 0.8, 0.2, 0.17);
            break;
        case Drawn::bed:
            path.addPath(roundedRect(q, 0.06, 0.22, 0.18, 0.86, 0.03));
            path.addPath(roundedRect(q, 0.06, 0.56, 0.94, 0.74, 0.03));
            path.addPath(roundedRect(q, 0.84, 0.56, 0.94, 0.86, 0.03));
            path.addPath(roundedRect(q, 0.22, 0.4, 0.44, 0.53, 0.05));
            path.addPath(roundedRect(q, 0.47, 0.4, 0.94, 0.53, 0.04));
            path.setFillRule(Qt::WindingFill);
            break;
        case Drawn::figureWalk:
        case Drawn::figureRun: {
            const bool run = d == Drawn::figureRun;
            path.addPath(ellipse(q, 0.56, 0.13, 0.1, 0.1));
            QPainterPath limbs = line(q, {{0.52, 0.3}, {0.46, 0.58}});
            if (run) {
                limbs.addPath(line(q, {{0.46, 0.58}, {0.24, 0.7}, {0.14, 0.9}}));
                limbs.addPath(line(q, {{0.46, 0.58}, {0.66, 0.7}, {0.78, 0.92}}));
                limbs.addPath(line(q, {{0.5, 0.36}, {0.3, 0.44}, {0.2, 0.36}}));
                limbs.addPath(line(q, {{0.5, 0.36}, {0.68, 0.5}, {0.86, 0.44}}));
            } else {
                limbs.addPath(line(q, {{0.46, 0.58}, {0.34, 0.9}}));
                limbs.addPath(line(q, {{0.46, 0.58}, {0.6, 0.74}, {0.62, 0.92}}));
                limbs.addPath(line(q, {{0.5, 0.36}, {0.34, 0.52}}));
                limbs.addPath(line(q, {{0.5, 0.36}, {0.68, 0.5}}));
            }
            path = path.united(stroked(limbs, 0.11 * w));
            break;
        }
        case Drawn::tram: {
            path = roundedRect(q, 0.2, 0.14, 0.8, 0.8, 0.1);
            QPainterPath holes = roundedRect(q, 0.28, 0.24, 0.72, 0.46, 0.03);
            holes.addPath(ellipse(q, 0.34, 0.66, 0.055, 0.055));
            holes.addPath(ellipse(q, 0.66, 0.66, 0.055, 0.055));
            path = path.subtracted(holes);
            QPainterPath wires = line(q, {{0.32, 0.8}, {0.22, 0.95}});
            wires.addPath(line(q, {{0.68, 0.8}, {0.78, 0.95}}));
            wires.addPath(line(q, {{0.5, 0.14}, {0.5, 0.05}}));
            wires.addPath(line(q, {{0.36, 0.05}, {0.64, 0.05}}));
            path = path.united(stroked(wires, 0.07 * w));
            break;
        }
        case Drawn::hand: {
            path = roundedRect(q, 0.26, 0.44, 0.78, 0.94, 0.16);
            const double tops[] = {0.16, 0.08, 0.12, 0.22};
            for (int i = 0; i < 4; ++i)
                path = path.united(roundedRect(q, 0.27 + i * 0.13, tops[i], 0.37 + i * 0.13, 0.6, 0.05));
            path = path.united(stroked(line(q, {{0.3, 0.7}, {0.14, 0.5}}), 0.11 * w));
            break;
        }
        case Drawn::umbrella: {
            path.moveTo(at(q, 0.06, 0.5));
            path.arcTo(QRectF(at(q, 0.06, 0.1), at(q, 0.94, 0.9)), 180, -180);
            path.closeSubpath();
            QPainterPath handle = line(q, {{0.5, 0.45}, {0.5, 0.8}});
            handle.arcTo(QRectF(at(q, 0.32, 0.7), at(q, 0.5, 0.9)), 0, -180);
            path = path.united(stroked(handle, 0.08 * w));
            break;
        }
        case Drawn::megaphone: {
            path = line(q, {{0.1, 0.38}, {0.62, 0.14}, {0.62, 0.86}, {0.1, 0.62}});
            path.closeSubpath();
            path = path.united(roundedRect(q, 0.6, 0.1, 0.74, 0.9, 0.05));
            path = path.united(roundedRect(q, 0.2, 0.56, 0.34, 0.88, 0.04));
            QPainterPath waves;
            waves.arcMoveTo(QRectF(at(q, 0.66, 0.3), at(q, 0.96, 0.7)), -50);
            waves.arcTo(QRectF(at(q, 0.66, 0.3), at(q, 0.96, 0.7)), -50, 100);
            path = path.united(stroked(waves, 0.07 * w));
            break;
        }
        case Drawn::ladybug: {
            path = ellipse(q, 0.5, 0.6, 0.34, 0.34).united(ellipse(q, 0.5, 0.22, 0.17, 0.13));
            QPainterPath cuts = roundedRect(q, 0.48, 0.3, 0.52, 0.96, 0.0);
            for (auto [x, y] : {std::pair{0.34, 0.52}, {0.66, 0.52}, {0.37, 0.76}, {0.63, 0.76}})
                cuts.addPath(ellipse(q, x, y, 0.06, 0.06));
            path = path.subtracted(cuts);
            QPainterPath antennae = line(q, {{0.42, 0.12}, {0.32, 0.03}});
            antennae.addPath(line(q, {{0.58, 0.12}, {0.68, 0.03}}));
            path = path.united(stroked(antennae, 0.06 * w));
            break;
        }
        case Drawn::xmarkCircle: {
            path = ellipse(q, 0.5, 0.5, 0.46, 0.46);
            QPainterPath x = line(q, {{0.34, 0.34}, {0.66, 0.66}});
            x.addPath(line(q, {{0.66, 0.34}, {0.34, 0.66}}));
            path = path.subtracted(stroked(x, 0.1 * w));
            break;
        }
        case Drawn::starOutline: {
            QPainterPath star;
            for (int i = 0; i < 10; ++i) {
                const double a = -std::numbers::pi / 2 + i * std::numbers::pi / 5, rad = i % 2 ? 0.2 : 0.44;
                const QPointF pt = at(q, 0.5 + rad * std::cos(a), 0.54 + rad * std::sin(a));
                if (i == 0) star.moveTo(pt);
                else star.lineTo(pt);
            }
            star.closeSubpath();
            path = stroked(star, 0.08 * w);
            break;
        }
        default: break;
    }
    return path;
}

}  // namespace

void paintBatteryGlyph(QPainter& p, const QRectF& rect, double level, bool charging, const QColor& color) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    drawBattery(p, rect, level, charging, color);
    p.restore();
}

namespace {

// The installed Adwaita theme's symbolic icons, by name and pixel size. Read from the data
// folders whatever the desktop's theme settings (none under a bare X server), and from the
// Debian package's own place last, so the icons are found under every session. Only the theme's
// folders are listed at first; an icon is looked for when it is first asked for, since the notch
// uses a few dozen of the theme's thousands.
class SymbolicIcons {
public:
    SymbolicIcons() {
        std::vector<std::filesystem::path> bases;
        for (const QString& dir : QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation))
            bases.emplace_back(dir.toStdString() + "/icons/Adwaita");
        bases.emplace_back("/usr/share/icons/Adwaita");
        namespace fs = std::filesystem;
        std::error_code ec;
        for (const fs::path& base : bases) {
            for (const fs::directory_entry& sizeDir : fs::directory_iterator(base, ec)) {
                const std::string dirName = sizeDir.path().filename().string();
                int size = 0;
                const auto [end, err] = std::from_chars(dirName.data(), dirName.data() + dirName.size(), size);
                if (err != std::errc() || end == dirName.data() || *end != 'x' || size <= 0) continue;
                // The icons are one folder down, by kind ("16x16/status/…").
                folders_.emplace_back(size, sizeDir.path());
                fs::directory_iterator it(sizeDir.path(), ec), done;
                for (; !ec && it != done && folders_.size() < kMostFolders; it.increment(ec))
                    if (it->is_directory(ec)) folders_.emplace_back(size, it->path());
                ec.clear();
            }
            ec.clear();
        }
    }

    // The smallest size of at least `pixels`, or the largest there is; empty when not installed.
    QString file(std::string_view name, int pixels) const {
        if (name.empty() || name.find('/') != std::string_view::npos) return {};
        auto it = files_.find(std::string(name));
        if (it == files_.end()) {
            std::map<int, QString> sizes;
            const std::string file = std::string(name) + "-symbolic.symbolic.png";
            std::error_code ec;
            for (const auto& [size, folder] : folders_)
                if (!sizes.contains(size) && std::filesystem::is_regular_file(folder / file, ec))
                    sizes.emplace(size, QString::fromStdString((folder / file).string()));  // an earlier folder wins
            it = files_.emplace(std::string(name), std::move(sizes)).first;
        }
        if (it->second.empty()) return {};
        auto size = it->second.lower_bound(pixels);
        return size == it->second.end() ? it->second.rbegin()->second : size->second;
    }

private:
    static constexpr size_t kMostFolders = 4000;
    std::vector<std::pair<int, std::filesystem::path>> folders_;  // in the order they count
    mutable std::unordered_map<std::string, std::map<int, QString>> files_;  // asked for so far
};

const SymbolicIcons& symbolicIcons() {
    static const SymbolicIcons icons;
    return icons;
}

}  // namespace

QString symbolIconFile(std::string_view symbol, int pixels) {
    if (const SymbolEntry* e = entryOf(symbol))
        for (std::string_view icon : e->icons)
            if (!icon.empty())
                if (QString file = symbolicIcons().file(icon, pixels); !file.isEmpty()) return file;
    return {};
}

SymbolSource symbolSource(std::string_view symbol, bool fromTheme) {
    const SymbolEntry* e = entryOf(symbol);
    if (!e) return SymbolSource::placeholder;
    if (fromTheme && !symbolIconFile(symbol, 32).isEmpty()) return SymbolSource::themeIcon;
    return e->drawn == Drawn::none ? SymbolSource::placeholder : SymbolSource::drawn;
}

std::vector<std::string_view> tableSymbols() {
    std::vector<std::string_view> out;
    for (const auto& e : kSymbols) out.push_back(e.symbol);
    return out;
}

void ensureIconTheme() {
    if (!QIcon::themeName().isEmpty() && QIcon::themeName() != QLatin1String("hicolor")) return;
    for (const QString& dir : QIcon::themeSearchPaths()) {
        if (QDir(dir + QLatin1String("/Adwaita")).exists()) {
            QIcon::setThemeName(QStringLiteral("Adwaita"));
            return;
        }
    }
}

bool paintDrawnSymbol(QPainter& p, const QRectF& r, std::string_view s, const QColor& c) {
    const SymbolEntry* e = entryOf(s);
    const Drawn d = e ? e->drawn : Drawn::none;
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    switch (d) {
        case Drawn::speaker: drawSpeaker(p, r, 0, false, c); break;
        case Drawn::speakerWave1: drawSpeaker(p, r, 1, false, c); break;
        case Drawn::speakerWave2: drawSpeaker(p, r, 2, false, c); break;
        case Drawn::speakerSlash: drawSpeaker(p, r, 0, true, c); break;
        case Drawn::lock: drawLock(p, r, c); break;
        case Drawn::earbuds: drawEarbud(p, r, c); break;
        case Drawn::sunLarge: drawSun(p, r, true, c); break;
        case Drawn::sunSmall: drawSun(p, r, false, c); break;
        case Drawn::keyboardLightLarge: drawKeyboardLight(p, r, true, c); break;
        case Drawn::keyboardLightSmall: drawKeyboardLight(p, r, false, c); break;
        case Drawn::battery100: drawBattery(p, r, 1.0, false, c); break;
        case Drawn::battery100Bolt: drawBattery(p, r, 1.0, true, c); break;
        case Drawn::battery25: drawBattery(p, r, 0.25, false, c); break;
        case Drawn::battery0: drawBattery(p, r, 0.0, false, c); break;
        case Drawn::bolt: {
            QPainterPath b;
            b.moveTo(at(r, 0.62, 0.05));
            b.lineTo(at(r, 0.25, 0.56));
            b.lineTo(at(r, 0.48, 0.56));
            b.lineTo(at(r, 0.38, 0.95));
            b.lineTo(at(r, 0.75, 0.44));
            b.lineTo(at(r, 0.52, 0.44));
            b.closeSubpath();
            p.fillPath(b, c);
            break;
        }
        case Drawn::none: {
            p.setPen(Qt::NoPen);
            p.setBrush(c);
            const double dot = std::min(r.width(), r.height()) * 0.5;
            p.drawEllipse(r.center(), dot / 2, dot / 2);
            break;
        }
        default: p.fillPath(drawnShape(d, r), c); break;
    }
    p.restore();
    return d != Drawn::none;
}

namespace {

// The icon's alpha stretched so its strongest pixel is opaque: the theme draws a few symbols
// (fog, haze) wholly faint, which would read as disabled in the notch.
QImage fullStrength(const QImage& icon) {
    QImage img = icon.convertToFormat(QImage::Format_ARGB32);
    int top = 0;
    for (int y = 0; y < img.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(img.constScanLine(y));
        for (int x = 0; x < img.width(); ++x) top = std::max(top, qAlpha(row[x]));
    }
    if (top == 0 || top >= 250) return img;
    for (int y = 0; y < img.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(img.scanLine(y));
        for (int x = 0; x < img.width(); ++x)
            row[x] = qRgba(qRed(row[x]), qGreen(row[x]), qBlue(row[x]), std::min(255, qAlpha(row[x]) * 255 / top));
    }
    return img;
}

// The symbol alone, `size` pixels, in `color`, on a clear image.
QImage renderSymbol(std::string_view symbol, QSize size, const QColor& color, bool fromTheme) {
    QImage img(size, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    const QRectF rect(QPointF(0, 0), QSizeF(size));
    const int side = std::min(size.width(), size.height());
    if (const QString file = fromTheme ? symbolIconFile(symbol, side) : QString(); !file.isEmpty()) {
        // Read as the PNG it is named: guessing the format would load every image plugin.
        QImageReader reader(file, "png");
        reader.setAutoDetectImageFormat(false);
        const QImage icon =
            fullStrength(reader.read().scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation));
        if (!icon.isNull()) {
            // Only the icon's shape is kept (its alpha), filled with the symbol's colour: the
            // theme draws for light backgrounds, the notch is black.
            QPainter ip(&img);
            ip.drawImage(QPointF((size.width() - icon.width()) / 2.0, (size.height() - icon.height()) / 2.0), icon);
            ip.setCompositionMode(QPainter::CompositionMode_SourceIn);
            ip.fillRect(img.rect(), color);
            return img;
        }
    }
    QPainter ip(&img);
    paintDrawnSymbol(ip, rect, symbol, color);
    return img;
}

}  // namespace

const QImage& symbolImage(std::string_view symbol, QSize size, const QColor& color, bool fromTheme) {
    // Symbols are drawn once per name, size and colour: a frame only copies pixels.
    static std::unordered_map<std::string, QImage> cache;
    std::string key(symbol);
    key += '|' + std::to_string(size.width()) + 'x' + std::to_string(size.height()) + '|' +
           std::to_string(color.rgba()) + (fromTheme ? "|t" : "|d");
    if (auto it = cache.find(key); it != cache.end()) return it->second;
    if (cache.size() >= 256) cache.clear();  // a bound, never reached by the notch's few symbols
    return cache.emplace(std::move(key), renderSymbol(symbol, size, color, fromTheme)).first->second;
}

void paintSymbol(QPainter& p, const QRectF& rect, std::string_view symbol, const QColor& color, bool fromTheme) {
    if (rect.width() <= 0 || rect.height() <= 0) return;
    // Device pixels per point, so the cached image is drawn one to one.
    const double scale = std::max(0.01, std::abs(p.transform().m11())) * p.device()->devicePixelRatioF();
    const QSize px(std::max(1, static_cast<int>(std::lround(rect.width() * scale))),
                   std::max(1, static_cast<int>(std::lround(rect.height() * scale))));
    p.drawImage(QRectF(rect.topLeft(), QSizeF(px.width() / scale, px.height() / scale)),
                symbolImage(symbol, px, color, fromTheme));
}

}  // namespace halvyn
