// The now-playing drawing: what shows when, its controls going through the source's commands,
// and nothing moving while nothing plays.

#include <QImage>
#include <QPainter>

#include "nowplaying/music_manager.h"
#include "sources/privacy_manager.h"
#include "shell/notch_scene.h"
#include "shell/notch_window.h"
#include "shell/now_playing_view.h"
#include "runtime/owned_access.h"
#include "pixels.h"
#include "shell_fixture.h"

namespace halvyn::test {
namespace {

class NowPlayingViewTest : public ShellTest {
protected:
    NowPlayingViewTest() {
        defaults().set(keys::isFirstLaunch, false);
        scene = std::make_unique<NotchScene>(*ctx, nullptr);
        scene->nowPlaying().setDrivesPositionTimer(true);
        notch().enable();
        at(0.1);
    }
    void paint(double t) { scene->render(t); }
    std::vector<std::string> requests() const {
        std::vector<std::string> out;
        for (auto& e : sim->effects().ofKind("helper")) out.push_back(e.fields[0].second.asString() + e.fields[1].second.toJson());
        return out;
    }
    std::unique_ptr<NotchScene> scene;
};

TEST_F(NowPlayingViewTest, TheActivityAnimatesOnlyWhilePlaying) {
    paint(0.2);
    EXPECT_EQ(scene->nowPlaying().shown(), NowPlayingView::Shown::nothing);
    EXPECT_FALSE(scene->nowPlaying().moving());

    plays(true);
    at(1.0);
    paint(1.0);
    EXPECT_EQ(scene->nowPlaying().shown(), NowPlayingView::Shown::liveActivity);
    EXPECT_TRUE(scene->moving());
    std::vector<double> heights;
    for (double t = 1.0; t < 3.0; t += 0.1) {
        scene->step(t);
        for (auto& b : scene->nowPlaying().visualizer().bars()) heights.push_back(b.height);
    }
    EXPECT_GT(*std::max_element(heights.begin(), heights.end()), 2);

    plays(false);  // paused (the activity stays for the idle time): the bars settle, then all is still
    for (double t = 3.0; t < 4.0; t += 0.1) scene->step(t);
    EXPECT_FALSE(scene->nowPlaying().moving());
    for (auto& b : scene->nowPlaying().visualizer().bars()) EXPECT_EQ(b.height, 2);
    EXPECT_EQ(scene->nowPlaying().shown(), NowPlayingView::Shown::liveActivity);
    at(7.0);  // the idle timer ended the activity
    paint(7.0);
    EXPECT_EQ(scene->nowPlaying().shown(), NowPlayingView::Shown::nothing);
    EXPECT_FALSE(scene->moving());
}

TEST_F(NowPlayingViewTest, OnlyTheBarsArePaintedAgainWhileNothingElseMoves) {
    plays(true);
    at(3.0);
    paint(3.0);  // the outline has settled around the activity
    ASSERT_EQ(scene->nowPlaying().shown(), NowPlayingView::Shown::liveActivity);
    EXPECT_TRUE(scene->partialFrame()->isEmpty()) << "the bars as painted: nothing to paint again";
    scene->step(3.1);
    const auto part = scene->partialFrame();
    ASSERT_TRUE(part.has_value());
    EXPECT_TRUE(part->contains(scene->nowPlaying().animatedRect()));
    EXPECT_LT(part->width() * part->height(), NotchScene::kWidth * NotchScene::kHeight / 20);

    // A notification widens the outline: the whole window is painted again until it settles.
    notch().setNotification(true, Notch::Notification::didChangeVolume, 0.3, 1.5);
    at(3.05);
    paint(3.05);
    EXPECT_FALSE(scene->partialFrame().has_value());

    plays(false);  // paused and settled: no frames at all
    for (double t = 9.0; t < 10.0; t += 0.1) scene->step(t);
    paint(10.0);
    EXPECT_FALSE(scene->partialFrame().has_value());
}

TEST_F(NowPlayingViewTest, ExpandedControlsSendTheCommands) {
    plays(true);
    notch().setExpanded(true, false);
    at(2.0);
    paint(2.0);
    ASSERT_EQ(scene->nowPlaying().shown(), NowPlayingView::Shown::expanded);
    const auto before = requests().size();
    auto centre = [&](int i) { return scene->nowPlaying().controlRect(i)->center(); };
    EXPECT_TRUE(scene->nowPlaying().pointerDown(centre(2)));
    EXPECT_TRUE(scene->nowPlaying().pointerDown(centre(3)));
    EXPECT_TRUE(ctx->music().nextTrigger.get());
    const QRectF slider = *scene->nowPlaying().controlRect(4);
    EXPECT_TRUE(scene->nowPlaying().pointerDown(QPointF(slider.left(), slider.center().y())));
    EXPECT_TRUE(ctx->music().isDraggingSlider.get());
    EXPECT_TRUE(scene->nowPlaying().pointerMoved(QPointF(slider.left() + slider.width() / 4, slider.center().y())));
    EXPECT_TRUE(scene->nowPlaying().pointerUp(QPointF(slider.left() + slider.width() / 2, slider.center().y())));
    EXPECT_FALSE(ctx->music().isDraggingSlider.get());
    EXPECT_TRUE(ctx->music().isSeeking.get());
    auto sent = requests();
    sent.erase(sent.begin(), sent.begin() + static_cast<long>(before));
    std::erase_if(sent, [](const std::string& r) { return r.rfind("getSeekerPosition", 0) == 0; });
    EXPECT_EQ(sent, (std::vector<std::string>{"playPause[]", "nextTrack[]", "setPlayerPosition[100]"}));
    // Outside the controls the press is the notch's.
    EXPECT_FALSE(scene->nowPlaying().pointerDown(QPointF(1, 1)));
    // The open view follows the position once a second; closed, it asks no more.
    auto positions = [&] {
        const auto all = requests();
        return std::count_if(all.begin(), all.end(), [](auto& r) { return r.rfind("getSeekerPosition", 0) == 0; });
    };
    time->runCurrent();
    const auto open = positions();
    at(4.0);  // opened at 0.1 s: ticks at 2.1 and 3.1
    EXPECT_EQ(positions(), open + 2);
    notch().setExpanded(false, false);
    const auto closed = positions();
    at(9.0);
    EXPECT_EQ(positions(), closed);
}

TEST_F(NowPlayingViewTest, TheSongPeekShowsTitleAndArtistInItsBand) {
    plays(true);
    at(1.0);
    const QRectF band(0, notch().notchHeight.get() + 2, NotchScene::kWidth, 28);
    EXPECT_EQ(lightPixels(scene->render(1.0), band), 0);
    plays(true, "A Much Longer Title That Has To Scroll Along");
    at(1.6);
    ASSERT_TRUE(notch().isQuickPeeking.get());
    const QImage peek = scene->render(1.6);
    EXPECT_GT(lightPixels(peek, band.adjusted(0, 0, 0, -14)), 100) << "the title";
    EXPECT_GT(lightPixels(peek, band.adjusted(0, 14, 0, 0)), 25) << "the artist";
    EXPECT_TRUE(scene->nowPlaying().animatedRect().intersects(band)) << "the long title scrolls";
}

TEST_F(NowPlayingViewTest, TheActivitysBarsKeepAGapBeforeTheInUseDots) {
    plays(true);
    at(2.0);
    setAsOwner(ctx->privacy().isIndicatorVisible, true);
    setAsOwner(ctx->privacy().microphoneApplications, std::vector<std::string>{"Firefox"});
    scene->render(2.0);
    ASSERT_EQ(scene->nowPlaying().shown(), NowPlayingView::Shown::liveActivity);
    ASSERT_FALSE(scene->privacyDots().isEmpty());
    EXPECT_LE(scene->nowPlaying().animatedRect().right(), scene->privacyDots().left() - 4);
}

// "hideSymbol" takes the note before the peek's title away, and the title takes its place.
TEST_F(NowPlayingViewTest, ThePeeksSymbolFollowsHideSymbol) {
    plays(true);
    at(1.0);
    plays(true, "Another Song");
    at(1.6);
    ASSERT_TRUE(notch().isQuickPeeking.get());
    QImage peek = scene->render(1.6);
    const QRectF symbol = scene->nowPlaying().peekSymbolRect();
    ASSERT_FALSE(symbol.isEmpty());
    EXPECT_GT(lightPixels(peek, symbol), 8);
    EXPECT_GE(scene->nowPlaying().titleRect().left(), symbol.right() + 4);
    defaults().set(keys::hideSymbol, true);
    peek = scene->render(1.7);
    EXPECT_TRUE(scene->nowPlaying().peekSymbolRect().isEmpty());
    EXPECT_DOUBLE_EQ(scene->nowPlaying().titleRect().left(), symbol.left());
}

// The position moves four times a second here (a player that reports often) while the bars move
// at their own rate: the elapsed time is drawn again only when its text changes, and once paused
// nothing is drawn at all.
TEST_F(NowPlayingViewTest, TheElapsedTimeIsDrawnAgainOnlyWhenItsTextChanges) {
    scene->nowPlaying().setDrivesPositionTimer(false);
    NotchWindow window(*ctx, nullptr);
    QImage img(static_cast<int>(NotchScene::kWidth), static_cast<int>(NotchScene::kHeight), QImage::Format_ARGB32_Premultiplied);
    QPainter p(&img);
    plays(true);
    setAsOwner(ctx->music().seekerPosition, 10.0);
    notch().setExpanded(true, false);
    at(2.0);
    window.paintFrame(p);
    const QRect elapsed = window.scene().nowPlaying().elapsedRect().toAlignedRect();
    ASSERT_FALSE(elapsed.isEmpty());
    int repaints = 0, barFrames = 0;
    for (int k = 1; k <= 3 * 24; ++k) {
        at(2.0 + k / 24.0);
        if (k % 6 == 0) setAsOwner(ctx->music().seekerPosition, 10.0 + k / 24.0);
        window.paintFrame(p);
        repaints += window.lastDamage().intersects(elapsed);
        barFrames += !window.lastDamage().isEmpty();
    }
    EXPECT_EQ(repaints, 3) << "0:10 became 0:11, 0:12 and 0:13";
    EXPECT_GT(barFrames, 24) << "the bars went on moving";
    // Paused, and the bars and the idle timer settled: the position read again is the same.
    plays(false);
    for (int k = 0; k < 7 * 24; ++k) {
        at(5.0 + k / 24.0);
        window.paintFrame(p);
    }
    for (int k = 1; k <= 48; ++k) {
        at(12.0 + k / 24.0);
        setAsOwner(ctx->music().seekerPosition, 13.0);
        EXPECT_FALSE(window.advance()) << k;
        EXPECT_TRUE(window.lastDamage().isEmpty()) << k;
    }
}

TEST_F(NowPlayingViewTest, AScrollingTitleFadesAtBothEndsOfItsColumn) {
    plays(true, "A Much Longer Title That Has To Scroll Along Its Column");
    notch().setExpanded(true, false);
    at(2.0);
    for (double t = 4.0; t < 9.0; t += 0.37) {
        const QImage img = scene->render(t);
        const QRectF title = scene->nowPlaying().titleRect();
        ASSERT_FALSE(title.isEmpty());
        // The columns at the edges hold no more than a trace of a letter; inside, the letters are whole.
        EXPECT_LT(lightPixels(img, QRectF(title.right() - 2, title.top(), 2, title.height())), 2) << t;
        EXPECT_GT(lightPixels(img, title.adjusted(20, 0, -20, 0)), 80) << t;
        for (const QRectF& bar : {scene->nowPlaying().visualizerRect()}) EXPECT_FALSE(title.intersects(bar));
    }
}

}  // namespace
}  // namespace halvyn::test
