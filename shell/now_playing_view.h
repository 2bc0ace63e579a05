#pragma once
// The now-playing drawing: the live activity in the notch's wings (artwork on the left, the
// visualizer on the right) and, when the notch is open, the expanded view (artwork, marquee title,
// artist, a progress slider that seeks, previous / play-pause / next and the extra button of
// "controlChoice"). Everything the controls do goes through the now-playing source's commands.
// Nothing moves, and nothing asks for frames, while nothing plays.

#include <QImage>
#include <QPointF>
#include <QRectF>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "nowplaying/visualizer_model.h"
#include "runtime/published.h"

class QPainter;

namespace halvyn {

class Context;
class MusicManager;
struct DrawnOutline;

class NowPlayingView {
public:
    NowPlayingView(Context& ctx, std::function<void()> needsDisplay);
    // Where a change needs only part of the view drawn again (the progress row as the position
    // moves), it asks for that rectangle here rather than for a whole frame.
    void setNeedsDisplayIn(std::function<void(const QRectF&)> needs) { needsDisplayIn_ = std::move(needs); }
    ~NowPlayingView();
    NowPlayingView(const NowPlayingView&) = delete;
    NowPlayingView& operator=(const NowPlayingView&) = delete;

    // Advances the visualizer and the marquee to `t` (seconds on the context's clock); true while
    // they move, which is only while media plays and the view shows.
    bool step(double t);
    bool moving() const;
    // Whether the bars or the scrolling title, as of the last step, would be drawn other than
    // the last paint drew them: a frame that would change nothing is not painted.
    bool changedSincePaint() const { return drawnKey_ != paintedKey_; }
    // Seconds between the frames of the bars and the marquee: they move at their own rate.
    static constexpr double kFrameInterval = 1.0 / 24;
    // Paints, as of the last step, what the notch's state calls for (nothing unless the activity
    // or the open notch shows); the activity's bars end before `rightLimit`.
    void paint(QPainter& p, const DrawnOutline& m, double windowWidth, double rightLimit);

    // The song-change peek's band below the compact notch: a note (unless "hideSymbol"), then the
    // title (a marquee when long) over the artist; false (nothing drawn) without a title.
    bool paintPeek(QPainter& p, const QRectF& band);

    // The lock-screen panel's media card: the open view's artwork, titles, progress and controls
    // laid into `card` as of `t`; false (nothing drawn) without a track.
    bool paintCard(QPainter& p, const QRectF& card, double t);

    // Whether the open view sends the source's position-timer signals as it opens and closes (the
    // desktop program's view does; in halvyn-sim the scenario's `view.positionTimer` does).
    void setDrivesPositionTimer(bool drives);

    // Pointer on the expanded controls, in window coordinates; true when the view took it.
    bool pointerDown(const QPointF& pos);
    bool pointerMoved(const QPointF& pos);
    bool pointerUp(const QPointF& pos);

    // What the last paint showed, for tests.
    enum class Shown { nothing, liveActivity, expanded };
    Shown shown() const { return shown_; }
    const AudioVisualizerModel& visualizer() const { return *visualizer_; }
    // Where the last paint drew what moves by itself (the bars and a scrolling title): the only
    // part of the window a frame of the visualizer or the marquee needs to repaint.
    QRectF animatedRect() const { return animated_; }
    // The title column (of the open view or the peek) and the open view's visualizer as last
    // painted (empty when not shown).
    QRectF titleRect() const { return title_; }
    // The symbol before the peek's title as last painted; empty while "hideSymbol" leaves it out.
    QRectF peekSymbolRect() const { return peekSymbol_; }
    QRectF visualizerRect() const { return bars_; }
    std::optional<QRectF> controlRect(int index) const;  // 0 extra, 1 previous, 2 play/pause, 3 next, 4 slider
    // The open view's elapsed time as last painted (empty when not shown).
    QRectF elapsedRect() const { return progress_.elapsed; }

private:
    bool showsActivity() const;
    bool showsExpanded() const;
    void syncVisualizer();
    const QImage* artwork();
    void paintArtwork(QPainter& p, const QRectF& r);
    // How far the bars have moved from their last heights toward the current ones at `t`, 0 to 1.
    double barEase(double t) const;
    void paintBars(QPainter& p, const QRectF& r, double t);
    // `topRow`: the height of the row above the view (a camera housing's), left empty.
    void paintExpanded(QPainter& p, const QRectF& body, double t, double topRow);
    void seekTo(const QPointF& pos);
    // The progress row as the position and duration now read, for a slider `sliderWidth` wide.
    struct ProgressKey {
        std::string elapsed, remaining;
        long fill = 0;
        friend bool operator==(const ProgressKey&, const ProgressKey&) = default;
    };
    ProgressKey progressKey(double sliderWidth) const;
    void positionChanged();

    Context& ctx_;
    MusicManager& music_;
    std::function<void()> needsDisplay_;
    std::function<void(const QRectF&)> needsDisplayIn_;
    std::unique_ptr<AudioVisualizerModel> visualizer_;
    std::vector<double> fromHeights_;
    double lastTick_ = -1;
    double now_ = 0;
    double marqueeStart_ = 0;
    std::string visualizerTitle_;
    std::shared_ptr<const ArtworkImage> artSource_;
    QImage art_;
    Shown shown_ = Shown::nothing;
    QRectF animated_;
    // The scrolling title's width and box as last painted; nothing while it does not scroll.
    std::optional<std::pair<double, double>> marquee_;
    // The moving parts' positions: as of the last step, and as last painted.
    std::vector<long> drawnKey_, paintedKey_;
    QRectF title_, bars_, peekSymbol_;
    QRectF controls_[5];
    // The progress row as last painted: what it showed, and where.
    struct {
        ProgressKey key;
        QRectF elapsed, slider, remaining;
    } progress_;
    bool dragging_ = false;
    bool positionShown_ = false;
    bool drivesTimer_ = false;
    std::vector<Subscription> subscriptions_;
};

}  // namespace halvyn
