#include "shell/symbols.h"

#include "shell/colors.h"

#include <QColor>
#include <QDir>
#include <QIcon>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRectF>

#include <cmath>
#include <string>
#include <unordered_map>
#include <numbers>

namespace halvyn {

namespace {

struct SymbolIcon {
    std::string_view symbol;
    const char* icon;
};

// The one table of symbol names to icon-theme names. The layers of the speaker symbol
// ("speaker.fill", "speaker.wave.1.fill", "speaker.wave.2.fill") have no entry: the theme's
// volume icons show every wave, dimmed or not, and the layers must line up, so they are drawn.
// The muted speaker is drawn too: the theme's muted icons mark it with a cross or a faint outline
// that filling with one colour loses, and the slash must show.
constexpr SymbolIcon kIcons[] = {
    {"sun.max.fill", "display-brightness"},
    {"sun.min.fill", "display-brightness"},
    {"battery.100", "battery-full"},
    {"battery.100.bolt", "battery-full-charging"},
    {"battery.25", "battery-caution"},
    {"battery.0", "battery-empty"},
    {"bolt.fill", "battery-good-charging"},
    {"headphones", "audio-headphones"},
    {"hifispeaker.fill", "audio-speakers"},
    {"display", "video-display"},
    {"laptopcomputer", "computer"},
    {"macbook", "computer"},
    {"earpods", "audio-headphones"},
    {"airpodsmax", "audio-headphones"},
    {"play.fill", "media-playback-start"},
    {"pause.fill", "media-playback-pause"},
    {"forward.end.fill", "media-skip-forward"},
    {"backward.end.fill", "media-skip-backward"},
    {"goforward.30", "media-seek-forward"},
    {"gobackward.15", "media-seek-backward"},
    {"shuffle", "media-playlist-shuffle"},
    {"repeat", "media-playlist-repeat"},
    {"star.fill", "starred"},
    {"star", "non-starred"},
    // Focus modes, the calendar and travel.
    {"moon.fill", "weather-clear-night"},
    {"person.fill", "avatar-default"},
    {"person.lanyardcard.fill", "x-office-address-book"},
    {"bed.double.fill", "weather-clear-night"},
    {"book.closed.fill", "accessories-dictionary"},
    {"rocket.fill", "applications-games"},
    {"calendar", "x-office-calendar"},
    {"hand.raised.fill", "security-high"},
    {"music.note", "audio-x-generic"},
    {"globe", "web-browser"},
    {"sparkles", "starred"},
    {"car.fill", "find-location"},
    {"figure.walk", "find-location"},
    {"tram.fill", "find-location"},
};

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

}  // namespace

void paintBatteryGlyph(QPainter& p, const QRectF& rect, double level, bool charging, const QColor& color) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    drawBattery(p, rect, level, charging, color);
    p.restore();
}

const char* freedesktopIconName(std::string_view symbol) {
    for (const auto& e : kIcons)
        if (e.symbol == symbol) return e.icon;
    return nullptr;
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
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    bool known = true;
    if (s == "speaker.fill") drawSpeaker(p, r, 0, false, c);
    else if (s == "speaker.wave.1.fill") drawSpeaker(p, r, 1, false, c);
    else if (s == "speaker.wave.2.fill") drawSpeaker(p, r, 2, false, c);
    else if (s == "speaker.slash.fill") drawSpeaker(p, r, 0, true, c);
    else if (s == "lock.fill") drawLock(p, r, c);
    else if (s.starts_with("airpods") && s != "airpodsmax") drawEarbud(p, r, c);
    else if (s == "sun.max.fill") drawSun(p, r, true, c);
    else if (s == "sun.min.fill") drawSun(p, r, false, c);
    else if (s == "battery.100") drawBattery(p, r, 1.0, false, c);
    else if (s == "battery.100.bolt") drawBattery(p, r, 1.0, true, c);
    else if (s == "battery.25") drawBattery(p, r, 0.25, false, c);
    else if (s == "battery.0") drawBattery(p, r, 0.0, false, c);
    else if (s == "bolt.fill") {
        QPainterPath b;
        b.moveTo(at(r, 0.62, 0.05));
        b.lineTo(at(r, 0.25, 0.56));
        b.lineTo(at(r, 0.48, 0.56));
        b.lineTo(at(r, 0.38, 0.95));
        b.lineTo(at(r, 0.75, 0.44));
        b.lineTo(at(r, 0.52, 0.44));
        b.closeSubpath();
        p.fillPath(b, c);
    }
    else {
        known = false;
        p.setPen(Qt::NoPen);
        p.setBrush(c);
        const double d = std::min(r.width(), r.height()) * 0.5;
        p.drawEllipse(r.center(), d / 2, d / 2);
    }
    p.restore();
    return known;
}

namespace {

// The symbol alone, `size` pixels, in `color`, on a clear image.
QImage renderSymbol(std::string_view symbol, QSize size, const QColor& color, bool fromTheme) {
    QImage img(size, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    const QRectF rect(QPointF(0, 0), QSizeF(size));
    if (const char* name = fromTheme ? freedesktopIconName(symbol) : nullptr) {
        const QIcon icon = QIcon::fromTheme(QLatin1String(name));
        const int side = std::min(size.width(), size.height());
        const QPixmap pm = icon.isNull() ? QPixmap() : icon.pixmap(QSize(side, side));
        if (!pm.isNull()) {
            // Theme icons are drawn for light backgrounds; the notch is black, so only their
            // shape is kept and filled with the symbol's colour.
            QPainter ip(&img);
            ip.drawPixmap(QRectF(rect.center().x() - side / 2.0, rect.center().y() - side / 2.0, side, side), pm,
                          QRectF(pm.rect()));
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
