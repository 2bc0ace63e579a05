#pragma once
// The audio visualizer and the marquee as plain models: where the bars stand, which heights they
// jump to (a seeded Mersenne-Twister sequence: the same seed gives the same heights), their
// gradient colours; and where the marquee's two copies of a title are at any moment. The views
// of the desktop program draw them; nothing here knows a toolkit.

#include <cstdint>
#include <optional>
#include <random>
#include <utility>
#include <vector>

#include "nowplaying/track.h"

namespace halvyn {

struct AudioVisualizerParams {
    bool isPlaying = false;
    std::vector<TrackColor> colors;
    bool disableGradient = false;
    double width = 0, height = 0;  // the view's bounds
    double amplitudeWidth = 2;
    double amplitudeHeight = 12;
    int amplitudeCount = 4;
    double amplitudeSpacing = 2;
    double duration = 0.3;  // seconds between ticks
    std::optional<std::uint64_t> seed;
};

class AudioVisualizerModel {
public:
    static constexpr double kRestHeight = 2;
    struct Bar {
        double x = 0;       // left edge
        double y = 0;       // top edge (centred vertically)
        double width = 0;
        double height = kRestHeight;
    };

    // `nowSeconds` (whole seconds since 1970) seeds the heights when the parameters give no seed.
    AudioVisualizerModel(const AudioVisualizerParams& params, std::uint64_t nowSeconds);

    // New parameters (playing state, colours, bounds, bar measures); the bars keep their heights.
    void update(const AudioVisualizerParams& params);
    // One timer tick: every bar, in order, takes its next height (2 while paused). Returns the
    // heights before the tick, which the view animates from.
    std::vector<double> tick();

    const std::vector<Bar>& bars() const { return bars_; }
    std::uint64_t seed() const { return seed_; }
    const AudioVisualizerParams& params() const { return params_; }
    // The two gradient stops: (second colour unless gradients are off or there is one, first colour).
    std::pair<TrackColor, TrackColor> gradientStops() const;
    // True once per change of the stops (the view then animates the bars' colours over 0.2 s).
    bool takeColorChange();

private:
    void layout();

    AudioVisualizerParams params_;
    std::uint64_t seed_;
    std::mt19937 random_;
    std::uniform_int_distribution<int> heights_;
    std::vector<Bar> bars_;
    std::optional<std::pair<TrackColor, TrackColor>> lastColors_;
};

// A single line of text that scrolls when wider than its box: two copies, 24 points apart, moving
// at 30 points a second after a 1.25 s rest, the cycle lasting max(w / 30, totalCycleTime) + 1.25 s.
class MarqueeModel {
public:
    static constexpr double kStartPadding = 4.5;
    static constexpr double kContentSpacing = 24;
    static constexpr double kSpeed = 30;
    static constexpr double kRest = 1.25;

    // `contentWidth` is the text's width (with the symbol and its padding, when there is one).
    MarqueeModel(double contentWidth, double boxWidth, bool isTextCentered, double totalCycleTime);
    static double contentWidth(double textWidth, bool hasSymbol, double symbolSize, double symbolPadding);

    bool scrolls() const { return width_ > box_; }
    double moveDuration() const { return width_ / kSpeed; }
    double cycleDuration() const;
    // Left edges of the leading and the following copy `t` seconds after the marquee started;
    // without scrolling the following copy is absent.
    std::pair<double, std::optional<double>> copyPositions(double t) const;
    double contentWidth() const { return width_; }

private:
    double width_;
    double box_;
    bool centered_;
    double total_;
};

}  // namespace halvyn
