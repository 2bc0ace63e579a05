// The visualizer's bars and heights and the marquee's timing.

#include <gtest/gtest.h>

#include "nowplaying/visualizer_model.h"

namespace halvyn {
namespace {

AudioVisualizerParams params(int count, bool playing, std::optional<std::uint64_t> seed = 7) {
    AudioVisualizerParams p;
    p.isPlaying = playing;
    p.width = 40;
    p.height = 20;
    p.amplitudeWidth = 3;
    p.amplitudeSpacing = 2;
    p.amplitudeHeight = 16.9;
    p.amplitudeCount = count;
    p.seed = seed;
    return p;
}

TEST(AudioVisualizer, SameSeedSameHeightsWithinRangeAndPausedBarsRest) {
    AudioVisualizerModel a(params(5, true), 1), b(params(5, true), 2), c(params(5, true, 8), 1);
    std::vector<double> ha, hb, hc;
    for (int i = 0; i < 20; ++i) {
        a.tick(), b.tick(), c.tick();
        for (std::size_t k = 0; k < 5; ++k) {
            ha.push_back(a.bars()[k].height);
            hb.push_back(b.bars()[k].height);
            hc.push_back(c.bars()[k].height);
            EXPECT_GE(a.bars()[k].height, 2);
            EXPECT_LE(a.bars()[k].height, 16);
            EXPECT_DOUBLE_EQ(a.bars()[k].y + a.bars()[k].height / 2, 10);  // centred
        }
    }
    EXPECT_EQ(ha, hb);
    EXPECT_NE(ha, hc);
    // Without a seed the time seeds it.
    EXPECT_EQ(AudioVisualizerModel(params(1, true, std::nullopt), 1700000000).seed(), 1700000000u);

    auto p = params(5, false);
    a.update(p);
    const auto before = a.tick();
    EXPECT_EQ(before, std::vector<double>(ha.end() - 5, ha.end()));
    for (auto& bar : a.bars()) EXPECT_EQ(bar.height, 2);
}

TEST(AudioVisualizer, BarPositionsAndEmptyOrDegenerateParameters) {
    AudioVisualizerModel m(params(3, true), 0);
    // W/2 − (n − 1)(s + w)/2 + i(s + w) − s/2 = 20 − 5 + 5i − 1
    EXPECT_DOUBLE_EQ(m.bars()[0].x, 14);
    EXPECT_DOUBLE_EQ(m.bars()[2].x, 24);
    EXPECT_DOUBLE_EQ(m.bars()[1].y, 9);

    AudioVisualizerModel none(params(0, true), 0);
    EXPECT_TRUE(none.tick().empty());
    EXPECT_TRUE(none.bars().empty());
    auto flat = params(2, true);
    flat.amplitudeHeight = 0.5;  // lower than the resting height: the bars stay at 2
    AudioVisualizerModel low(flat, 0);
    low.tick();
    EXPECT_EQ(low.bars()[0].height, 2);
}

TEST(AudioVisualizer, GradientStopsAndColourChanges) {
    auto p = params(1, true);
    AudioVisualizerModel m(p, 0);
    EXPECT_EQ(m.gradientStops().first, (TrackColor{0.5, 0.5, 0.5, 0.65}));
    EXPECT_TRUE(m.takeColorChange());
    EXPECT_FALSE(m.takeColorChange());
    const TrackColor red{1, 0, 0, 1}, blue{0, 0, 1, 1};
    p.colors = {red, blue};
    m.update(p);
    EXPECT_EQ(m.gradientStops(), std::make_pair(blue, red));
    EXPECT_TRUE(m.takeColorChange());
    p.disableGradient = true;
    m.update(p);
    EXPECT_EQ(m.gradientStops(), std::make_pair(red, red));
    p.colors = {red};
    p.disableGradient = false;
    m.update(p);
    EXPECT_EQ(m.gradientStops(), std::make_pair(red, red));
    EXPECT_TRUE(m.takeColorChange());  // (blue, red) → (red, red) happened in between
}

TEST(Marquee, ScrollsOnlyWhenWiderAndCyclesByTheLongerOfMoveAndTotal) {
    EXPECT_FALSE(MarqueeModel(120, 120, false, 8).scrolls());
    EXPECT_TRUE(MarqueeModel(121, 120, false, 8).scrolls());
    EXPECT_EQ(MarqueeModel(100, 120, false, 8).copyPositions(5).first, 4.5);
    EXPECT_EQ(MarqueeModel(100, 120, true, 8).copyPositions(5).first, 10);
    EXPECT_FALSE(MarqueeModel(100, 120, true, 8).copyPositions(5).second);

    MarqueeModel m(300, 120, false, 12);
    EXPECT_DOUBLE_EQ(m.moveDuration(), 10);
    EXPECT_DOUBLE_EQ(m.cycleDuration(), 13.25);
    EXPECT_DOUBLE_EQ(MarqueeModel(300, 120, false, 8).cycleDuration(), 11.25);
    EXPECT_DOUBLE_EQ(MarqueeModel::contentWidth(100, true, 12, 4), 116);

    EXPECT_EQ(m.copyPositions(1.0).first, 4.5);  // resting
    EXPECT_EQ(*m.copyPositions(1.0).second, 4.5 + 324);
    auto mid = m.copyPositions(1.25 + 5);  // half way: moved (300 + 24) / 2
    EXPECT_DOUBLE_EQ(mid.first, 4.5 - 162);
    auto end = m.copyPositions(11.25);  // the following copy took the leading one's place
    EXPECT_DOUBLE_EQ(*end.second, 4.5);
    EXPECT_EQ(m.copyPositions(13.25 + 0.5).first, 4.5);  // next cycle rests again
}

}  // namespace
}  // namespace halvyn
