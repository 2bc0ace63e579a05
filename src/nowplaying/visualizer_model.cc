#include "nowplaying/visualizer_model.h"

#include <algorithm>
#include <cmath>

namespace halvyn {

namespace {
// The tallest bar as a whole number of points, never under the resting height (an empty range
// would make the distribution undefined).
int tallest(double amplitudeHeight) {
    if (!std::isfinite(amplitudeHeight)) return 2;
    return std::clamp(static_cast<int>(amplitudeHeight), 2, 100000);
}
}  // namespace

AudioVisualizerModel::AudioVisualizerModel(const AudioVisualizerParams& params, std::uint64_t nowSeconds)
    : params_(params),
      seed_(params.seed.value_or(nowSeconds)),
      random_(static_cast<std::mt19937::result_type>(seed_)),
      heights_(2, tallest(params.amplitudeHeight)) {
    bars_.resize(static_cast<std::size_t>(std::max(0, params.amplitudeCount)));
    layout();
}

void AudioVisualizerModel::layout() {
    const double n = static_cast<double>(bars_.size());
    const double w = params_.amplitudeWidth, s = params_.amplitudeSpacing;
    for (std::size_t i = 0; i < bars_.size(); ++i) {
        Bar& b = bars_[i];
        b.width = w;
        b.x = params_.width / 2 - (n - 1) * (s + w) / 2 + static_cast<double>(i) * (s + w) - s / 2;
        b.y = params_.height / 2 - b.height / 2;
    }
}

void AudioVisualizerModel::update(const AudioVisualizerParams& params) {
    // The bars are made once: their count stays; the rest follows the new parameters.
    const std::uint64_t keepSeed = seed_;
    params_ = params;
    params_.amplitudeCount = static_cast<int>(bars_.size());
    params_.seed = keepSeed;
    if (heights_.b() != tallest(params.amplitudeHeight)) heights_ = std::uniform_int_distribution<int>(2, tallest(params.amplitudeHeight));
    layout();
}

std::vector<double> AudioVisualizerModel::tick() {
    std::vector<double> before;
    before.reserve(bars_.size());
    for (Bar& b : bars_) {
        before.push_back(b.height);
        b.height = params_.isPlaying ? heights_(random_) : kRestHeight;
        b.y = params_.height / 2 - b.height / 2;  // the centre stays
    }
    return before;
}

std::pair<TrackColor, TrackColor> AudioVisualizerModel::gradientStops() const {
    const auto& c = params_.colors;
    if (c.empty()) {
        const TrackColor grey{0.5, 0.5, 0.5, 0.65};
        return {grey, grey};
    }
    const TrackColor first = c.size() >= 2 && !params_.disableGradient ? c[1] : c[0];
    return {first, c[0]};
}

bool AudioVisualizerModel::takeColorChange() {
    const auto stops = gradientStops();
    if (lastColors_ && *lastColors_ == stops) return false;
    lastColors_ = stops;
    return true;
}

MarqueeModel::MarqueeModel(double contentWidth, double boxWidth, bool isTextCentered, double totalCycleTime)
    : width_(std::isfinite(contentWidth) ? std::max(0.0, contentWidth) : 0),
      box_(std::isfinite(boxWidth) ? std::max(0.0, boxWidth) : 0),
      centered_(isTextCentered),
      total_(std::isfinite(totalCycleTime) ? std::max(0.0, totalCycleTime) : 0) {}

double MarqueeModel::contentWidth(double textWidth, bool hasSymbol, double symbolSize, double symbolPadding) {
    return textWidth + (hasSymbol ? symbolSize + symbolPadding : 0);
}

double MarqueeModel::cycleDuration() const { return std::max(moveDuration(), total_) + kRest; }

std::pair<double, std::optional<double>> MarqueeModel::copyPositions(double t) const {
    if (!scrolls()) return {centered_ ? (box_ - width_) / 2 : kStartPadding, std::nullopt};
    const double cycle = cycleDuration();
    double local = std::isfinite(t) && t > 0 ? std::fmod(t, cycle) : 0;
    // Progress of the movement within this cycle: 0 while resting, 1 once it is done.
    const double move = moveDuration();
    const double p = move <= 0 ? 1 : std::clamp((local - kRest) / move, 0.0, 1.0);
    const double shift = p * (width_ + kContentSpacing);
    return {kStartPadding - shift, kStartPadding + width_ + kContentSpacing - shift};
}

}  // namespace halvyn
