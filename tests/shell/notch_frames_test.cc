// How often the notch window paints and what: each turn of its frame clock repaints only the part
// that changed, the springs' invisible tails end the animation, and while media plays only the
// bars' rectangle is painted, at the bars' own rate.

#include <QImage>

#include <algorithm>
#include <cstring>
#include <string>
#include <optional>
#include <vector>

#include "nowplaying/music_manager.h"
#include "shell/notch_scene.h"
#include "shell/notch_window.h"
#include "shell/now_playing_view.h"
#include "shell/shell_fixture.h"
#include "runtime/owned_access.h"

namespace halvyn {
namespace {

class NotchFrames : public test::ShellTest {
protected:
    NotchFrames() {
        defaults().set(keys::isFirstLaunch, false);
        notch().enable();
        at(1);
        window.emplace(*ctx, &levels);
        window->show();
        turn();
    }
    // One turn of the frame clock at the current virtual time; the window's whole picture after it.
    std::optional<int> turn() {
        const auto next = window->advance();
        image = window->scene().render(window->scene().now());
        return next;
    }
    // Runs the frame clock as the window asks until it stops (or `limit` seconds pass), checking
    // that every turn repaints every pixel that changed. Returns the turns that painted.
    int runFrames(double limit, int* unchangedPaints = nullptr, double* largestDamage = nullptr) {
        auto str = [](const QRect& r) {
            return "(" + std::to_string(r.x()) + ", " + std::to_string(r.y()) + ", " + std::to_string(r.width()) + "×" +
                   std::to_string(r.height()) + ")";
        };
        int painted = 0;
        double t = now();
        const double end = t + limit;
        std::optional<int> next = 0;
        while (next && t < end) {
            at(t += *next / 1000.0);
            const QImage before = image;
            next = turn();
            const QRegion damage = window->lastDamage();
            int changed = 0;
            QRect missed;
            for (int y = 0; y < image.height(); ++y) {
                if (std::memcmp(image.constScanLine(y), before.constScanLine(y), static_cast<std::size_t>(image.bytesPerLine())) == 0)
                    continue;
                for (int x = 0; x < image.width(); ++x)
                    if (image.pixel(x, y) != before.pixel(x, y)) {
                        ++changed;
                        if (!damage.contains(QPoint(x, y))) missed |= QRect(x, y, 1, 1);
                    }
            }
            EXPECT_TRUE(missed.isEmpty()) << "changed pixels outside the damage at " << t << " s, within " << str(missed)
                                          << "; damage " << str(damage.boundingRect());
            if (damage.isEmpty()) continue;
            ++painted;
            const QRect r = damage.boundingRect();
            if (largestDamage) *largestDamage = std::max(*largestDamage, double(r.width()) * r.height());
            if (unchangedPaints && changed == 0) ++*unchangedPaints;
        }
        EXPECT_FALSE(next.has_value()) << "still animating after " << limit << " s";
        return painted;
    }

    test::FixedLevels levels;
    std::optional<NotchWindow> window;
    QImage image;
};

TEST_F(NotchFrames, AVolumeDisplayRepaintsOnlyAroundTheOutlineAndComesToRest) {
    runFrames(3);
    EXPECT_FALSE(turn().has_value());
    EXPECT_TRUE(window->lastDamage().isEmpty()) << "a still notch paints nothing";

    notch().setNotification(true, Notch::Notification::didChangeVolume, 0.35, 1.0);
    int unchanged = 0;
    double largest = 0;
    const int painted = runFrames(4, &unchanged, &largest);
    // Open, hold, close: two springs at 60 a second, each ending once its tail would move less
    // than half a pixel (43 frames; a hundredth of a point would take 59).
    EXPECT_GT(painted, 20);
    EXPECT_LT(painted, 50);
    EXPECT_LE(unchanged, 2) << "frames that would paint the same pixels again";
    // Each turn's damage stays around the outline: a small part of the window.
    EXPECT_GT(largest, 0);
    EXPECT_LT(largest, NotchScene::kWidth * NotchScene::kHeight / 6);
}

TEST_F(NotchFrames, TheLiftedShadowIsInsideTheDamage) {
    setAsOwner(notch().isElevated, true, Animation::spring(0.35, 0.45));
    EXPECT_GT(runFrames(3), 10);
    setAsOwner(notch().isElevated, false, Animation::spring(0.35, 0.05));
    EXPECT_GT(runFrames(3), 10);
}

TEST_F(NotchFrames, PlayingMediaPaintsOnlyTheBarsAtTheirOwnRate) {
    plays(true);
    ASSERT_TRUE(ctx->music().isPlaying.get());
    // The activity opens; then only the bars move.
    at(now() + 3);
    turn();
    for (int i = 0; i < 3; ++i) {
        at(now() + 1.0 / 24);
        turn();
    }
    ASSERT_EQ(window->scene().nowPlaying().shown(), NowPlayingView::Shown::liveActivity);
    const QRectF bars = window->scene().nowPlaying().animatedRect();
    ASSERT_FALSE(bars.isEmpty());

    int turns = 0, painted = 0;
    const double start = now();
    double t = start;
    while (t < start + 2) {
        const auto next = turn();
        ASSERT_TRUE(next.has_value()) << "the bars move while media plays";
        // No frame between the bars' own: 24 a second, not the outline's 60.
        EXPECT_GE(*next, 41);
        ++turns;
        if (!window->lastDamage().isEmpty()) {
            ++painted;
            EXPECT_TRUE(bars.adjusted(-1, -1, 1, 1).toAlignedRect().contains(window->lastDamage().boundingRect())) << t;
        }
        t += *next / 1000.0;
        at(t);
    }
    EXPECT_LE(turns, 50);
    EXPECT_GT(painted, 10);

    // Faded out (a fullscreen window, say), the notch shows no bars: the clock stops while the
    // media still plays, and starts again when the notch comes back.
    setAsOwner(notch().isVisible, false, Animation::spring(0.35, 0));
    runFrames(2);
    at(now() + 1);
    EXPECT_FALSE(turn().has_value());
    EXPECT_TRUE(window->lastDamage().isEmpty());
    setAsOwner(notch().isVisible, true, Animation::spring(0.35, 0));
    at(now() + 1);
    EXPECT_TRUE(turn().has_value());

    // Paused: the bars settle and the clock stops.
    plays(false);
    runFrames(2);
}

}  // namespace
}  // namespace halvyn
