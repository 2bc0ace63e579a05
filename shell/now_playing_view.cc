#include "shell/now_playing_view.h"

#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>

#include <algorithm>
#include <chrono>
#include <cmath>

#include "app/context.h"
#include "notch/notch.h"
#include "nowplaying/music_manager.h"
#include "settings/defaults.h"
#include "settings/keys.h"
#include "shell/outline_painter.h"
#include "shell/symbols.h"

namespace halvyn {

namespace {

using L = Notch::LiveActivity;

constexpr double kTick = 0.3;  // seconds between the bars' jumps
// Steps of a point in which the moving parts' positions are compared: finer than any
// antialiased edge shows, so only a frame that would paint the same pixels is left out.
constexpr double kKeySteps = 64;
constexpr double kViewHeight = 112;  // the open view: artwork, progress row and controls

QColor qcolor(const TrackColor& c) { return QColor::fromRgbF(float(c.r), float(c.g), float(c.b), float(c.a)); }

AudioVisualizerParams barParams(const MusicManager& m) {
    AudioVisualizerParams p;
    p.isPlaying = m.isPlaying.get();
    p.colors = m.currentTrack.get().colors;
    p.width = 26;
    p.height = 16;
    p.amplitudeWidth = 3;
    p.amplitudeSpacing = 2.5;
    p.amplitudeHeight = 14;
    p.amplitudeCount = 4;
    p.duration = kTick;
    return p;
}

void triangle(QPainterPath& path, QPointF a, QPointF b, QPointF c) {
    path.moveTo(a);
    path.lineTo(b);
    path.lineTo(c);
    path.closeSubpath();
}

// Simple filled glyphs for the transport controls, so they never depend on an icon theme.
void paintGlyph(QPainter& p, const QRectF& r, const char* name) {
    QPainterPath path;
    const double w = r.width(), h = r.height(), x = r.left(), y = r.top();
    const std::string n(name);
    if (n == "play") {
        triangle(path, {x + w * 0.2, y}, {x + w * 0.2, y + h}, {x + w * 0.95, y + h / 2});
    } else if (n == "pause") {
        path.addRect(QRectF(x + w * 0.15, y, w * 0.25, h));
        path.addRect(QRectF(x + w * 0.6, y, w * 0.25, h));
    } else if (n == "next" || n == "previous") {
        const bool fwd = n == "next";
        auto tri = [&](double x0, double x1) { triangle(path, {x0, y}, {x0, y + h}, {x1, y + h / 2}); };
        if (fwd) {
            tri(x, x + w / 2);
            tri(x + w / 2, x + w);
        } else {
            tri(x + w / 2, x);
            tri(x + w, x + w / 2);
        }
    }
    p.drawPath(path);
}

// A text that scrolls when it is wider than its column: clipped to the column, its ends faded out
// so that no letter is cut hard at the edge. Returns the text's width when it scrolls.
std::optional<double> paintMarquee(QPainter& p, const QRectF& box, const QFont& font, const QString& text,
                                   const QColor& color, double elapsed) {
    const double textWidth = QFontMetricsF(font).horizontalAdvance(text);
    if (box.width() <= 0 || box.height() <= 0) return std::nullopt;
    if (textWidth <= box.width()) {
        p.save();
        p.setFont(font);
        p.setPen(color);
        p.drawText(box, Qt::AlignVCenter | Qt::AlignLeft, text);
        p.restore();
        return std::nullopt;
    }
    const MarqueeModel marquee(textWidth, box.width(), false, 8);
    const auto [x0, x1] = marquee.copyPositions(elapsed);
    // Drawn into a layer of the column's size whose ends are then faded, at the painter's scale.
    const double scale = std::max(1.0, p.deviceTransform().m11());
    QImage layer(QSize(static_cast<int>(std::ceil(box.width() * scale)), static_cast<int>(std::ceil(box.height() * scale))),
                 QImage::Format_ARGB32_Premultiplied);
    layer.fill(Qt::transparent);
    {
        QPainter lp(&layer);
        lp.setRenderHints(p.renderHints());
        lp.scale(scale, scale);
        lp.setFont(font);
        lp.setPen(color);
        // At rest the text starts where a text that fits would, at the column's left edge.
        const double h = box.height(), shift = -MarqueeModel::kStartPadding;
        lp.drawText(QRectF(x0 + shift, 0, textWidth + 1, h), Qt::AlignVCenter | Qt::AlignLeft, text);
        if (x1) lp.drawText(QRectF(*x1 + shift, 0, textWidth + 1, h), Qt::AlignVCenter | Qt::AlignLeft, text);
        const double fade = std::min(12.0, box.width() / 4) / box.width();
        QLinearGradient mask(0, 0, box.width(), 0);
        // The leading edge stays sharp while the text rests at its start.
        const bool atStart = x0 >= MarqueeModel::kStartPadding - 0.01;
        mask.setColorAt(0, atStart ? Qt::black : Qt::transparent);
        mask.setColorAt(fade, Qt::black);
        mask.setColorAt(1 - fade, Qt::black);
        mask.setColorAt(1, Qt::transparent);
        lp.setCompositionMode(QPainter::CompositionMode_DestinationIn);
        lp.fillRect(QRectF(0, 0, box.width(), h), mask);
    }
    p.drawImage(box, layer);
    return textWidth;
}

std::string timeText(double s) {
    if (!std::isfinite(s) || s < 0) s = 0;
    const long total = static_cast<long>(s);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%ld:%02ld", total / 60, total % 60);
    return buf;
}

}  // namespace

NowPlayingView::NowPlayingView(Context& ctx, std::function<void()> needsDisplay)
    : ctx_(ctx), music_(ctx.music()), needsDisplay_(std::move(needsDisplay)) {
    const auto now = std::chrono::duration_cast<std::chrono::seconds>(ctx.clock().now().time_since_epoch()).count();
    visualizer_ = std::make_unique<AudioVisualizerModel>(barParams(music_), static_cast<std::uint64_t>(std::max<long long>(0, now)));
    auto redraw = [this] {
        syncVisualizer();
        if (needsDisplay_) needsDisplay_();
    };
    subscriptions_.push_back(music_.isPlaying.observe([redraw](const bool&, const Animation*) { redraw(); }));
    subscriptions_.push_back(music_.currentTrack.observe([this, redraw](const Track& t, const Animation*) {
        if (t.title != visualizerTitle_) {
            visualizerTitle_ = t.title;
            marqueeStart_ = toSeconds(ctx_.clock().uptime());
        }
        redraw();
    }));
    Notch& n = ctx.notch();
    subscriptions_.push_back(n.hasLiveActivity.observe([redraw](const bool&, const Animation*) { redraw(); }));
    subscriptions_.push_back(n.isExpanded.observe([this, redraw](const bool& expanded, const Animation*) {
        // The open view shows the position: the source follows it only while the view is open.
        if (drivesTimer_ && expanded != positionShown_) {
            positionShown_ = expanded;
            expanded ? music_.timerStartSignal.emit() : music_.timerStopSignal.emit();
        }
        redraw();
    }));
    subscriptions_.push_back(ctx.defaults().observe(keys::hideSymbol, [this](const bool&, const bool&) {
        if (needsDisplay_) needsDisplay_();
    }));
    subscriptions_.push_back(music_.seekerPosition.observe([this](const double&, const Animation*) { positionChanged(); }));
}

NowPlayingView::~NowPlayingView() {
    if (positionShown_) music_.timerStopSignal.emit();
}

void NowPlayingView::setDrivesPositionTimer(bool drives) {
    drivesTimer_ = drives;
    if (!drives && positionShown_) {
        positionShown_ = false;
        music_.timerStopSignal.emit();
    } else if (drives && ctx_.notch().isExpanded.get() && !positionShown_) {
        positionShown_ = true;
        music_.timerStartSignal.emit();
    }
}

NowPlayingView::ProgressKey NowPlayingView::progressKey(double sliderWidth) const {
    const double duration = music_.trackDuration.get();
    const double position = std::clamp(music_.seekerPosition.get(), 0.0, std::max(0.0, duration));
    ProgressKey k;
    k.elapsed = timeText(position);
    k.remaining = music_.isLive.get() ? "LIVE" : "-" + timeText(duration - position);
    k.fill = duration > 0 ? std::lround(sliderWidth * position / duration * kKeySteps) : 0;
    return k;
}

void NowPlayingView::positionChanged() {
    // Only the open view shows the position, and a new position changes only its progress row:
    // each part is drawn again when it would look different, the times once a second at most.
    if (shown_ != Shown::expanded) return;
    if (!needsDisplayIn_) {
        if (needsDisplay_) needsDisplay_();
        return;
    }
    const ProgressKey now = progressKey(progress_.slider.width());
    if (now.elapsed != progress_.key.elapsed) needsDisplayIn_(progress_.elapsed);
    if (now.fill != progress_.key.fill) needsDisplayIn_(progress_.slider);
    if (now.remaining != progress_.key.remaining) needsDisplayIn_(progress_.remaining);
}

void NowPlayingView::syncVisualizer() { visualizer_->update(barParams(music_)); }

bool NowPlayingView::showsActivity() const {
    const Notch& n = ctx_.notch();
    return n.hasLiveActivity.get() && n.liveActivity.get() == L::isPlaying && !n.hasNotification.get() &&
           !n.isExpanded.get();
}

bool NowPlayingView::showsExpanded() const {
    const Notch& n = ctx_.notch();
    return n.isExpanded.get() && !n.hasNotification.get() && !music_.currentTrack.get().isEmpty() &&
           ctx_.defaults().get(keys::enableNowPlaying);
}

bool NowPlayingView::moving() const {
    // After a pause the bars still settle: one more tick brings them down, and they ease there
    // for the tick's length rather than freeze part way.
    const auto& bars = visualizer_->bars();
    bool settling = !fromHeights_.empty() && std::any_of(bars.begin(), bars.end(), [](auto& b) {
        return b.height != AudioVisualizerModel::kRestHeight;
    });
    if (lastTick_ >= 0 && now_ >= lastTick_ && now_ - lastTick_ < kTick)
        for (std::size_t i = 0; i < bars.size() && i < fromHeights_.size(); ++i) settling |= fromHeights_[i] != bars[i].height;
    return (showsActivity() || showsExpanded()) && (music_.isPlaying.get() || settling);
}

bool NowPlayingView::step(double t) {
    now_ = t;
    if (!moving()) {
        drawnKey_ = paintedKey_;
        return false;
    }
    if (lastTick_ < 0 || t - lastTick_ >= kTick || t < lastTick_) {
        fromHeights_ = visualizer_->tick();
        lastTick_ = t;
    }
    drawnKey_.clear();
    const double ease = barEase(t);
    const auto& bars = visualizer_->bars();
    for (std::size_t i = 0; i < bars.size(); ++i) {
        const double from = i < fromHeights_.size() ? fromHeights_[i] : bars[i].height;
        drawnKey_.push_back(std::lround((from + (bars[i].height - from) * ease) * kKeySteps));
    }
    if (marquee_) {
        const MarqueeModel m(marquee_->first, marquee_->second, false, 8);
        const auto [x0, x1] = m.copyPositions(music_.isPlaying.get() ? t - marqueeStart_ : 0);
        drawnKey_.push_back(std::lround(x0 * kKeySteps));
    }
    return true;
}

double NowPlayingView::barEase(double t) const {
    const double k = lastTick_ < 0 ? 1 : std::clamp((t - lastTick_) / kTick, 0.0, 1.0);
    return 1 - (1 - k) * (1 - k);
}

const QImage* NowPlayingView::artwork() {
    const auto& art = music_.currentTrack.get().albumArt;
    if (art != artSource_) {
        artSource_ = art;
        art_ = QImage();
        if (art && art->width > 0 && art->height > 0 &&
            art->pixels.size() == static_cast<std::size_t>(art->width) * static_cast<std::size_t>(art->height)) {
            art_ = QImage(reinterpret_cast<const uchar*>(art->pixels.data()), art->width, art->height,
                          art->width * 4, QImage::Format_ARGB32)
                       .copy();
        }
    }
    return art_.isNull() ? nullptr : &art_;
}

void NowPlayingView::paintArtwork(QPainter& p, const QRectF& r) {
    QPainterPath clip;
    clip.addRoundedRect(r, r.width() * 0.22, r.width() * 0.22);
    p.save();
    p.setClipPath(clip, Qt::IntersectClip);
    if (const QImage* img = artwork()) {
        p.setRenderHint(QPainter::SmoothPixmapTransform);
        // Fill the square; a wide or tall image is centred and cropped.
        const double s = std::max(r.width() / img->width(), r.height() / img->height());
        const QSizeF size(img->width() * s, img->height() * s);
        p.drawImage(QRectF(r.center().x() - size.width() / 2, r.center().y() - size.height() / 2, size.width(), size.height()), *img);
    } else {
        p.fillRect(r, QColor(70, 70, 74));
        p.setBrush(QColor(150, 150, 155));
        p.setPen(Qt::NoPen);
        const QRectF note(r.center().x() - r.width() * 0.2, r.center().y() - r.height() * 0.25, r.width() * 0.4, r.height() * 0.5);
        p.drawEllipse(QRectF(note.left(), note.bottom() - note.height() * 0.35, note.width() * 0.55, note.height() * 0.35));
        p.drawRect(QRectF(note.left() + note.width() * 0.45, note.top(), note.width() * 0.1, note.height() * 0.85));
    }
    p.restore();
}

void NowPlayingView::paintBars(QPainter& p, const QRectF& r, double t) {
    const auto [top, bottom] = visualizer_->gradientStops();
    QLinearGradient g(0, r.top(), 0, r.bottom());
    g.setColorAt(0, qcolor(top));
    g.setColorAt(1, qcolor(bottom));
    const double ease = barEase(t);
    const double sx = r.width() / visualizer_->params().width, sy = r.height() / visualizer_->params().height;
    animated_ = animated_.united(r);
    p.save();
    p.setPen(Qt::NoPen);
    p.setBrush(g);
    const auto& bars = visualizer_->bars();
    for (std::size_t i = 0; i < bars.size(); ++i) {
        const double from = i < fromHeights_.size() ? fromHeights_[i] : bars[i].height;
        const double h = (from + (bars[i].height - from) * ease) * sy;
        const QRectF bar(r.left() + bars[i].x * sx, r.center().y() - h / 2, bars[i].width * sx, h);
        p.drawRoundedRect(bar, 1.0, 1.0);
    }
    p.restore();
}

void NowPlayingView::paint(QPainter& p, const DrawnOutline& m, double windowWidth, double rightLimit) {
    const double t = now_;
    shown_ = Shown::nothing;
    animated_ = QRectF();
    marquee_.reset();
    paintedKey_ = drawnKey_;
    title_ = bars_ = peekSymbol_ = QRectF();
    progress_ = {};
    const QRectF body = notchBodyRect(windowWidth, m.width, m.height);
    if (showsExpanded()) {
        shown_ = Shown::expanded;
        p.save();
        p.setClipPath(notchPath(windowWidth, m.width, m.height, m.topRadius, m.bottomRadius), Qt::IntersectClip);
        // Below a camera housing's row; a drawn notch has none, so the view starts near the top.
        // A drawn notch has none: the view sits in the middle of the open notch.
        const Notch& n = ctx_.notch();
        paintExpanded(p, body, t, n.hasNotch() ? n.notchHeight.get() : std::max(8.0, (body.height() - kViewHeight) / 2));
        p.restore();
        return;
    }
    for (auto& c : controls_) c = QRectF();
    if (!showsActivity()) return;
    const Notch& n = ctx_.notch();
    const double base = std::max(0.0, n.notchWidth.get() + ctx_.defaults().get(keys::notchAdjustedWidth));
    const double wing = std::max(0.0, (body.width() - base) / 2);
    // The compact row; a peek's band below it has its own content.
    const double compact = n.notchHeight.get() + ctx_.defaults().get(keys::notchAdjustedHeight);
    const double h = std::min(body.height(), compact > 0 ? compact : 38.0);
    if (wing < h * 0.6 || h < 8) return;
    shown_ = Shown::liveActivity;
    p.save();
    p.setClipPath(notchPath(windowWidth, m.width, m.height, m.topRadius, m.bottomRadius), Qt::IntersectClip);
    const double side = h * 0.62;
    const double pad = std::max(6.0, m.topRadius + 2);
    paintArtwork(p, QRectF(body.left() + pad, body.top() + (h - side) / 2, side, side));
    const double barsRight = std::min(body.right() - pad, rightLimit);
    paintBars(p, QRectF(barsRight - side * 1.2, body.top() + (h - side) / 2, side * 1.2, side), t);
    p.restore();
}

bool NowPlayingView::paintPeek(QPainter& p, const QRectF& band) {
    const Track& track = music_.currentTrack.get();
    if (track.title.empty() || band.width() < 40 || band.height() < 16) return false;
    QFont font = p.font();
    font.setPixelSize(13);
    font.setWeight(QFont::DemiBold);
    const double line = band.height() / 2;
    // A note leads the title unless "hideSymbol" leaves it out; the artist lines up with the title.
    QRectF text = band;
    if (!ctx_.defaults().get(keys::hideSymbol)) {
        const double side = std::max(0.0, line - 2);
        peekSymbol_ = QRectF(band.left(), band.top() + 1 + (line - side) / 2, side, side);
        paintSymbol(p, peekSymbol_, "music.note", Qt::white);
        text.setLeft(peekSymbol_.right() + 6);
    }
    const QRectF titleBox(text.left(), band.top() + 1, text.width(), line);
    title_ = titleBox;
    const double elapsed = music_.isPlaying.get() ? now_ - marqueeStart_ : 0;
    if (const auto scrolling = paintMarquee(p, titleBox, font, QString::fromStdString(track.title), Qt::white, elapsed)) {
        animated_ = animated_.united(titleBox);
        marquee_.emplace(*scrolling, titleBox.width());
    }
    font.setWeight(QFont::Normal);
    font.setPixelSize(11);
    p.save();
    p.setFont(font);
    p.setPen(QColor(255, 255, 255, 165));
    const QRectF artistBox(text.left(), titleBox.bottom(), text.width(), line - 2);
    p.drawText(artistBox, Qt::AlignVCenter | Qt::AlignLeft,
               QFontMetricsF(font).elidedText(QString::fromStdString(track.artist), Qt::ElideRight, artistBox.width()));
    p.restore();
    return true;
}

bool NowPlayingView::paintCard(QPainter& p, const QRectF& card, double t) {
    if (music_.currentTrack.get().isEmpty()) return false;
    paintExpanded(p, card, t, 0);
    return true;
}

void NowPlayingView::paintExpanded(QPainter& p, const QRectF& body, double t, double topRow) {
    const Track& track = music_.currentTrack.get();
    const double top = body.top() + topRow;
    const double left = body.left() + 30, right = body.right() - 30;
    if (right - left < 120 || body.bottom() - top < 90) return;
    const QRectF art(left, top, 56, 56);
    paintArtwork(p, art);

    // Title (a marquee when it does not fit) and artist, in the column left of the visualizer.
    QFont font = p.font();
    font.setPixelSize(14);
    font.setWeight(QFont::DemiBold);
    const QRectF bars(right - 24, top + 8, 24, 18);
    const QRectF textBox(art.right() + 12, top + 4, bars.left() - 10 - art.right() - 12, 20);
    const double elapsed = music_.isPlaying.get() ? t - marqueeStart_ : 0;
    if (const auto scrolling = paintMarquee(p, textBox, font, QString::fromStdString(track.title), Qt::white, elapsed)) {
        animated_ = animated_.united(textBox);
        marquee_.emplace(*scrolling, textBox.width());
    }
    title_ = textBox;
    bars_ = bars;
    font.setWeight(QFont::Normal);
    font.setPixelSize(12);
    p.setFont(font);
    p.setPen(QColor(255, 255, 255, 150));
    p.drawText(QRectF(textBox.left(), textBox.bottom() + 2, textBox.width(), 18), Qt::AlignVCenter | Qt::AlignLeft,
               QFontMetricsF(font).elidedText(QString::fromStdString(track.artist), Qt::ElideRight, textBox.width()));
    paintBars(p, bars, t);

    // Progress: elapsed, a slider, remaining.
    const double duration = music_.trackDuration.get();
    const double position = std::clamp(music_.seekerPosition.get(), 0.0, std::max(0.0, duration));
    const double rowY = art.bottom() + 14;
    font.setPixelSize(10);
    p.setFont(font);
    const QRectF slider(left + 36, rowY - 3, right - left - 72, 6);
    controls_[4] = slider.adjusted(0, -6, 0, 6);
    progress_.key = progressKey(slider.width());
    progress_.elapsed = QRectF(left, rowY - 7, 32, 14);
    progress_.remaining = QRectF(right - 32, rowY - 7, 32, 14);
    progress_.slider = slider;
    p.drawText(progress_.elapsed, Qt::AlignVCenter | Qt::AlignLeft, QString::fromStdString(progress_.key.elapsed));
    p.drawText(progress_.remaining, Qt::AlignVCenter | Qt::AlignRight, QString::fromStdString(progress_.key.remaining));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 60));
    p.drawRoundedRect(slider, 3, 3);
    if (duration > 0) {
        p.setBrush(qcolor(track.colors.empty() ? TrackColor{1, 1, 1, 1} : track.colors.front()).lighter(130));
        p.drawRoundedRect(QRectF(slider.left(), slider.top(), slider.width() * position / duration, slider.height()), 3, 3);
    }

    // Controls: the extra button, previous, play/pause, next.
    const double cy = rowY + 26, s = 18;
    const double cx = (left + right) / 2;
    controls_[1] = QRectF(cx - 70 - s / 2, cy - s / 2, s, s);
    controls_[2] = QRectF(cx - s / 2, cy - s / 2, s, s);
    controls_[3] = QRectF(cx + 70 - s / 2, cy - s / 2, s, s);
    controls_[0] = QRectF(left, cy - 7, 14, 14);
    p.setBrush(Qt::white);
    paintGlyph(p, controls_[1].adjusted(0, 3, 0, -3), "previous");
    paintGlyph(p, controls_[2], music_.isPlaying.get() ? "pause" : "play");
    paintGlyph(p, controls_[3].adjusted(0, 3, 0, -3), "next");
    // The extra button: its own symbol, lit in the accent colour while its state is on. A player
    // that cannot shuffle gets no shuffle button.
    const Defaults& d = ctx_.defaults();
    const ControlType choice = d.get(keys::controlChoice);
    if (choice == ControlType::shuffle && !music_.hasShuffle.get()) {
        controls_[0] = QRectF();
        return;
    }
    const bool on = choice == ControlType::shuffle ? music_.isShuffled.get()
                    : choice == ControlType::repeating ? music_.isRepeating.get()
                    : choice == ControlType::like ? music_.isLoved.get()
                                                  : false;
    const ControlButton button = controlButton(choice, d.get(keys::automaticMusicApp), d.get(keys::musicApp));
    const QColor accent = qGuiApp ? QGuiApplication::palette().color(QPalette::Highlight) : QColor(0x0A, 0x84, 0xFF);
    paintSymbol(p, controls_[0], button.symbol, on ? accent.lighter(130) : QColor(255, 255, 255, 150));
    if (on && choice != ControlType::copyLink) {
        // A dot under the symbol says "on" without relying on the colour alone.
        p.setPen(Qt::NoPen);
        p.setBrush(accent.lighter(130));
        p.drawEllipse(QPointF(controls_[0].center().x(), controls_[0].bottom() + 4), 1.6, 1.6);
    }
}

std::optional<QRectF> NowPlayingView::controlRect(int index) const {
    if (index < 0 || index > 4 || controls_[index].isNull()) return std::nullopt;
    return controls_[index];
}

void NowPlayingView::seekTo(const QPointF& pos) {
    const QRectF s = controls_[4];
    const double f = std::clamp((pos.x() - s.left()) / std::max(1.0, s.width()), 0.0, 1.0);
    music_.moveSeeker(f * music_.trackDuration.get());
}

bool NowPlayingView::pointerDown(const QPointF& pos) {
    if (shown_ != Shown::expanded) return false;
    auto hit = [&](int i) { return !controls_[i].isNull() && controls_[i].adjusted(-6, -6, 6, 6).contains(pos); };
    if (hit(4) && music_.trackDuration.get() > 0 && !music_.isLive.get()) {
        dragging_ = true;
        music_.dragSeeker(true);
        seekTo(pos);
        return true;
    }
    if (hit(1)) {
        music_.previous();
        music_.flipPreviousTrigger();
    } else if (hit(2)) {
        music_.playPause();
    } else if (hit(3)) {
        music_.next();
        music_.flipNextTrigger();
    } else if (hit(0)) {
        switch (ctx_.defaults().get(keys::controlChoice)) {
            case ControlType::like: music_.toggleLike(); break;
            case ControlType::shuffle: music_.toggleShuffle(); break;
            case ControlType::repeating: music_.toggleRepeat(); break;
            case ControlType::copyLink: music_.copyLink(); break;
        }
    } else {
        return false;
    }
    if (needsDisplay_) needsDisplay_();
    return true;
}

bool NowPlayingView::pointerMoved(const QPointF& pos) {
    if (!dragging_) return false;
    seekTo(pos);
    return true;
}

bool NowPlayingView::pointerUp(const QPointF& pos) {
    if (!dragging_) return false;
    seekTo(pos);
    dragging_ = false;
    music_.dragSeeker(false);
    music_.seek();
    return true;
}

}  // namespace halvyn
