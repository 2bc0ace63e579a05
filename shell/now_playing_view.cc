#include "shell/now_playing_view.h"

#include <QFont>
#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <chrono>
#include <cmath>

#include "app/context.h"
#include "notch/notch.h"
#include "nowplaying/music_manager.h"
#include "settings/defaults.h"
#include "settings/keys.h"
#include "shell/outline_painter.h"

namespace halvyn {

namespace {

using L = Notch::LiveActivity;

constexpr double kTick = 0.3;  // seconds between the bars' jumps
// Steps of a point in which the moving parts' positions are compared: finer than any
// antialiased edge shows, so only a frame that would paint the same pixels is left out.
constexpr double kKeySteps = 64;

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

// Simple filled glyphs, so the controls never depend on an icon theme.
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
    } else if (n == "shuffle" || n == "repeat" || n == "like" || n == "link") {
        // A ring for repeat, crossed lines for shuffle, a star for like, two links for a link.
        const QColor color = p.brush().color();
        p.save();
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(color, std::max(1.5, w * 0.12)));
        if (n == "repeat") p.drawEllipse(r.adjusted(w * 0.1, h * 0.2, -w * 0.1, -h * 0.2));
        if (n == "shuffle") {
            p.drawLine(QPointF(x, y + h * 0.2), QPointF(x + w, y + h * 0.8));
            p.drawLine(QPointF(x, y + h * 0.8), QPointF(x + w, y + h * 0.2));
        }
        if (n == "link") {
            p.drawRoundedRect(QRectF(x, y + h * 0.3, w * 0.6, h * 0.4), h * 0.2, h * 0.2);
            p.drawRoundedRect(QRectF(x + w * 0.4, y + h * 0.3, w * 0.6, h * 0.4), h * 0.2, h * 0.2);
        }
        p.restore();
        if (n == "like") {
            for (int i = 0; i < 5; ++i) {
                const double a = -M_PI / 2 + i * 4 * M_PI / 5;
                const QPointF pt(r.center().x() + std::cos(a) * w / 2, r.center().y() + std::sin(a) * h / 2);
                i == 0 ? path.moveTo(pt) : path.lineTo(pt);
            }
            path.closeSubpath();
        }
    }
    p.drawPath(path);
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
    subscriptions_.push_back(music_.seekerPosition.observe([redraw](const double&, const Animation*) { redraw(); }));
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
    if (marquee_ && showsExpanded()) {
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

void NowPlayingView::paint(QPainter& p, const DrawnOutline& m, double windowWidth) {
    const double t = now_;
    shown_ = Shown::nothing;
    animated_ = QRectF();
    marquee_.reset();
    paintedKey_ = drawnKey_;
    const QRectF body = notchBodyRect(windowWidth, m.width, m.height);
    if (showsExpanded()) {
        shown_ = Shown::expanded;
        p.save();
        p.setClipPath(notchPath(windowWidth, m.width, m.height, m.topRadius, m.bottomRadius), Qt::IntersectClip);
        paintExpanded(p, body, t);
        p.restore();
        return;
    }
    for (auto& c : controls_) c = QRectF();
    if (!showsActivity()) return;
    const Notch& n = ctx_.notch();
    const double base = std::max(0.0, n.notchWidth.get() + ctx_.defaults().get(keys::notchAdjustedWidth));
    const double wing = std::max(0.0, (body.width() - base) / 2);
    const double h = std::min(body.height(), 38.0);
    if (wing < h * 0.6 || h < 8) return;
    shown_ = Shown::liveActivity;
    p.save();
    p.setClipPath(notchPath(windowWidth, m.width, m.height, m.topRadius, m.bottomRadius), Qt::IntersectClip);
    const double side = h * 0.62;
    const double pad = std::max(6.0, m.topRadius + 2);
    paintArtwork(p, QRectF(body.left() + pad, body.top() + (h - side) / 2, side, side));
    paintBars(p, QRectF(body.right() - pad - side * 1.2, body.top() + (h - side) / 2, side * 1.2, side), t);
    p.restore();
}

bool NowPlayingView::paintCard(QPainter& p, const QRectF& card, double t) {
    if (music_.currentTrack.get().isEmpty()) return false;
    // The open view starts below the camera housing's row; the card has none.
    constexpr double kHousingRow = 38;
    paintExpanded(p, QRectF(card.left(), card.top() - kHousingRow, card.width(), card.height() + kHousingRow), t);
    return true;
}

void NowPlayingView::paintExpanded(QPainter& p, const QRectF& body, double t) {
    const Track& track = music_.currentTrack.get();
    const double top = body.top() + 38;  // below the camera housing's row
    const double left = body.left() + 30, right = body.right() - 30;
    if (right - left < 120 || body.bottom() - top < 90) return;
    const QRectF art(left, top, 56, 56);
    paintArtwork(p, art);

    // Title (a marquee when it does not fit) and artist.
    QFont font = p.font();
    font.setPixelSize(14);
    font.setWeight(QFont::DemiBold);
    const QRectF textBox(art.right() + 12, top + 4, right - art.right() - 12 - 30, 20);
    const QString title = QString::fromStdString(track.title);
    const double textWidth = QFontMetricsF(font).horizontalAdvance(title);
    MarqueeModel marquee(textWidth, textBox.width(), false, 8);
    const double elapsed = music_.isPlaying.get() ? t - marqueeStart_ : 0;
    const auto [x0, x1] = marquee.copyPositions(elapsed);
    if (textWidth > textBox.width()) {
        animated_ = animated_.united(textBox);
        marquee_.emplace(textWidth, textBox.width());
    }
    p.save();
    p.setClipRect(textBox);
    p.setFont(font);
    p.setPen(Qt::white);
    p.drawText(QRectF(textBox.left() + x0, textBox.top(), textWidth + 1, textBox.height()), Qt::AlignVCenter | Qt::AlignLeft, title);
    if (x1) p.drawText(QRectF(textBox.left() + *x1, textBox.top(), textWidth + 1, textBox.height()), Qt::AlignVCenter | Qt::AlignLeft, title);
    p.restore();
    font.setWeight(QFont::Normal);
    font.setPixelSize(12);
    p.setFont(font);
    p.setPen(QColor(255, 255, 255, 150));
    p.drawText(QRectF(textBox.left(), textBox.bottom() + 2, textBox.width(), 18), Qt::AlignVCenter | Qt::AlignLeft,
               QFontMetricsF(font).elidedText(QString::fromStdString(track.artist), Qt::ElideRight, textBox.width()));
    paintBars(p, QRectF(right - 24, top + 8, 24, 18), t);

    // Progress: elapsed, a slider, remaining.
    const double duration = music_.trackDuration.get();
    const double position = std::clamp(music_.seekerPosition.get(), 0.0, std::max(0.0, duration));
    const double rowY = art.bottom() + 14;
    font.setPixelSize(10);
    p.setFont(font);
    const QRectF slider(left + 36, rowY - 3, right - left - 72, 6);
    controls_[4] = slider.adjusted(0, -6, 0, 6);
    p.drawText(QRectF(left, rowY - 7, 32, 14), Qt::AlignVCenter | Qt::AlignLeft, QString::fromStdString(timeText(position)));
    const QString remaining = music_.isLive.get() ? QStringLiteral("LIVE")
                                                  : QStringLiteral("-") + QString::fromStdString(timeText(duration - position));
    p.drawText(QRectF(right - 32, rowY - 7, 32, 14), Qt::AlignVCenter | Qt::AlignRight, remaining);
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
    const ControlType choice = ctx_.defaults().get(keys::controlChoice);
    const bool on = choice == ControlType::shuffle ? music_.isShuffled.get()
                    : choice == ControlType::repeating ? music_.isRepeating.get()
                    : choice == ControlType::like ? music_.isLoved.get()
                                                  : false;
    p.setBrush(on ? QColor(255, 255, 255) : QColor(255, 255, 255, 110));
    p.setPen(on ? QColor(255, 255, 255) : QColor(255, 255, 255, 110));
    const char* glyph = choice == ControlType::shuffle ? "shuffle" : choice == ControlType::repeating ? "repeat"
                        : choice == ControlType::like ? "like" : "link";
    paintGlyph(p, controls_[0], glyph);
}

std::optional<QRectF> NowPlayingView::controlRect(int index) const {
    if (index < 0 || index > 4 || controls_[index].isNull()) return std::nullopt;
    return controls_[index];
}

void NowPlayingView::seekTo(const QPointF& pos) {
    const QRectF s = controls_[4];
    const double f = std::clamp((pos.x() - s.left()) / std::max(1.0, s.width()), 0.0, 1.0);
    music_.seekerPosition.set(f * music_.trackDuration.get());
}

bool NowPlayingView::pointerDown(const QPointF& pos) {
    if (shown_ != Shown::expanded) return false;
    auto hit = [&](int i) { return !controls_[i].isNull() && controls_[i].adjusted(-6, -6, 6, 6).contains(pos); };
    if (hit(4) && music_.trackDuration.get() > 0 && !music_.isLive.get()) {
        dragging_ = true;
        music_.isDraggingSlider.set(true);
        seekTo(pos);
        return true;
    }
    if (hit(1)) {
        music_.previous();
        music_.previousTrigger.set(!music_.previousTrigger.get());
    } else if (hit(2)) {
        music_.playPause();
    } else if (hit(3)) {
        music_.next();
        music_.nextTrigger.set(!music_.nextTrigger.get());
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
    music_.isDraggingSlider.set(false);
    music_.seek();
    return true;
}

}  // namespace halvyn
