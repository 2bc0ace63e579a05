#pragma once
// What is playing, as the views, the notch and the trace see it: the track, the playing state,
// the position and the controls the source offers. The now-playing manager and its sources write
// it; everyone else reads.

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>

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
    Owned<Track, NowPlayingModel> currentTrack;
    Owned<bool, NowPlayingModel> isHidden{true};
    Owned<bool, NowPlayingModel> isPlaying{false};
    Owned<HelperDictionary, NowPlayingModel> nowPlaying;
    Owned<bool, NowPlayingModel> isFlipped{false};
    Owned<bool, NowPlayingModel> isLoved{false};
    Owned<bool, NowPlayingModel> isShuffled{false};
    Owned<bool, NowPlayingModel> isRepeating{false};
    Owned<bool, NowPlayingModel> isLive{false};
    Owned<bool, NowPlayingModel> isPodcast{false};
    Owned<bool, NowPlayingModel> isSourceAppActive{false};
    Owned<double, NowPlayingModel> trackDuration{0};
    Owned<double, NowPlayingModel> seekerPosition{0};
    Owned<float, NowPlayingModel> volume{1.0f};
    Owned<std::optional<double>, NowPlayingModel> playbackSpeed;
    Owned<bool, NowPlayingModel> isDraggingSlider{false};
    Owned<bool, NowPlayingModel> isSeeking{false};
    Owned<std::optional<std::string>, NowPlayingModel> appBundleId;
    Owned<bool, NowPlayingModel> hasShuffle{false};
    Owned<bool, NowPlayingModel> hasPreviousSkip{true};
    Owned<bool, NowPlayingModel> hasNextSkip{true};
    Owned<bool, NowPlayingModel> hasPlaybackSpeed{false};
    Owned<bool, NowPlayingModel> hasRewind{false};
    Owned<bool, NowPlayingModel> hasFastForward{false};
    Owned<bool, NowPlayingModel> hasRecentlyPaused{false};
    Owned<bool, NowPlayingModel> previousTrigger{false};
    Owned<bool, NowPlayingModel> nextTrigger{false};

    // The helper's capability dictionary (missing entries are false).
    void setSupportedCommands(const std::map<std::string, bool>& commands);

protected:
    NowPlayingModel() = default;
    ~NowPlayingModel() = default;
    NowPlayingModel(const NowPlayingModel&) = delete;
    NowPlayingModel& operator=(const NowPlayingModel&) = delete;

    // The now-playing manager and its parts (its sources and timers) set the model; everyone else
    // reads it.
    template <class T, class... A>
    static void put(Owned<T, NowPlayingModel>& p, A&&... a) {
        p.set(std::forward<A>(a)...);
    }
    friend class HelperSource;
    friend class PlayerSource;
    friend class NowPlayingTimers;

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
