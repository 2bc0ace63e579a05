#include "nowplaying/now_playing_model.h"

namespace halvyn {

void NowPlayingModel::setSupportedCommands(const std::map<std::string, bool>& commands) {
    auto flag = [&](const char* key) {
        auto it = commands.find(key);
        return it != commands.end() && it->second;
    };
    withSpring(Animation::critical(0.2), [&] {
        hasPreviousSkip.set(flag("hasPreviousSkip"));
        hasNextSkip.set(flag("hasNextSkip"));
        hasPlaybackSpeed.set(flag("hasPlaybackRate"));
    });
}

void NowPlayingModel::clearPlayback() {
    withSpring(Animation::spring(0.4, 0), [this] { currentTrack.set(Track{}); });
    isPlaying.set(false);
    isLoved.set(false);
    isShuffled.set(false);
    isRepeating.set(false);
    isLive.set(false);
    isPodcast.set(false);
    trackDuration.set(0);
    seekerPosition.set(0);
    hasPreviousSkip.set(true);
    hasNextSkip.set(true);
    hasRewind.set(false);
    hasFastForward.set(false);
    hasShuffle.set(false);
}

void NowPlayingModel::addProperties(PropertySet& set) {
    set.add("currentTrack", currentTrack);
    set.add("isHidden", isHidden);
    set.add("isPlaying", isPlaying);
    set.add("nowPlaying", nowPlaying);
    set.add("isFlipped", isFlipped);
    set.add("isLoved", isLoved);
    set.add("isShuffled", isShuffled);
    set.add("isRepeating", isRepeating);
    set.add("isLive", isLive);
    set.add("isPodcast", isPodcast);
    set.add("isSourceAppActive", isSourceAppActive);
    set.add("trackDuration", trackDuration);
    set.add("seekerPosition", seekerPosition);
    set.add("volume", volume);
    set.add("playbackSpeed", playbackSpeed);
    set.add("isDraggingSlider", isDraggingSlider);
    set.add("isSeeking", isSeeking);
    set.add("appBundleId", appBundleId);
    set.add("hasShuffle", hasShuffle);
    set.add("hasPreviousSkip", hasPreviousSkip);
    set.add("hasNextSkip", hasNextSkip);
    set.add("hasPlaybackSpeed", hasPlaybackSpeed);
    set.add("hasRewind", hasRewind);
    set.add("hasFastForward", hasFastForward);
    set.add("hasRecentlyPaused", hasRecentlyPaused);
    set.add("previousTrigger", previousTrigger);
    set.add("nextTrigger", nextTrigger);
}

Value toValue(const HelperDictionary& d) {
    Value::Object out;
    for (auto& [key, v] : d) {
        Value value;
        if (auto* b = std::get_if<bool>(&v)) value = Value(*b);
        else if (auto* n = std::get_if<double>(&v)) value = Value(*n);
        else if (auto* s = std::get_if<std::string>(&v)) value = Value(*s);
        else if (auto* bytes = std::get_if<Bytes>(&v)) value = Value(hexText(bytes->data));
        out.emplace_back(key, std::move(value));
    }
    return Value(std::move(out));
}

}  // namespace halvyn
