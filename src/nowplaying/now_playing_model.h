#pragma once
// What is playing, as the views, the notch and the trace see it: the track, the playing state,
// the position and the controls the source offers. The now-playing manager and its sources write
// it; everyone else reads.

#include <functional>
#include <map>
#include <optional>
#include <string>

#include "nowplaying/track.h"
#include "platform/helper_connection.h"
#include "runtime/animation.h"
#include "runtime/properties.h"
#include "runtime/published.h"

namespace halvyn {

// The helper's dictionary as a value (bytes as hexadecimal text), for the trace.
Value toValue(const HelperDictionary& d);

class NowPlayingModel {
public:
    Published<Track> currentTrack;
    Published<bool> isHidden{true};
    Published<bool> isPlaying{false};
    Published<HelperDictionary> nowPlaying;
    Published<bool> isFlipped{false};
    Published<bool> isLoved{false};
    Published<bool> isShuffled{false};
    Published<bool> isRepeating{false};
    Published<bool> isLive{false};
    Published<bool> isPodcast{false};
    Published<bool> isSourceAppActive{false};
    Published<double> trackDuration{0};
    Published<double> seekerPosition{0};
    Published<float> volume{1.0f};
    Published<std::optional<double>> playbackSpeed;
    Published<bool> isDraggingSlider{false};
    Published<bool> isSeeking{false};
    Published<std::optional<std::string>> appBundleId;
    Published<bool> hasShuffle{false};
    Published<bool> hasPreviousSkip{true};
    Published<bool> hasNextSkip{true};
    Published<bool> hasPlaybackSpeed{false};
    Published<bool> hasRewind{false};
    Published<bool> hasFastForward{false};
    Published<bool> hasRecentlyPaused{false};
    Published<bool> previousTrigger{false};
    Published<bool> nextTrigger{false};

    // The helper's capability dictionary (missing entries are false).
    void setSupportedCommands(const std::map<std::string, bool>& commands);

protected:
    NowPlayingModel() = default;
    ~NowPlayingModel() = default;
    NowPlayingModel(const NowPlayingModel&) = delete;
    NowPlayingModel& operator=(const NowPlayingModel&) = delete;

    // Nothing plays: the track, its state and the controls as at the start.
    void clearPlayback();
    // Every property under its own name, in the order the trace lists them.
    void addProperties(PropertySet& set);
};

// Applies `change` with `anim` as the current animation.
inline void withSpring(const Animation& anim, const std::function<void()>& change) {
    AnimationScope scope(&anim);
    change();
}

}  // namespace halvyn
