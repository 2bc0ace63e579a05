#pragma once
// The system-wide now-playing information, as the companion helper reports it: the helper
// connection (XPCManager) hands each answer and callback here, and this source turns them into
// the now-playing model; commands go back through the helper. A browser that plays is asked for
// the link of the tab that plays.

#include <map>
#include <optional>
#include <string>

#include "nowplaying/now_playing_source.h"
#include "platform/helper_connection.h"

namespace halvyn {

class MusicManager;

class HelperSource final : public NowPlayingSource {
public:
    explicit HelperSource(MusicManager& music) : music_(music) {}

    // NowPlayingSource
    void refresh() override;
    void readPosition() override;
    void playPause() override;
    void previous() override;
    void next() override;
    void seek(double position) override;
    void toggleLike() override {}
    void toggleShuffle() override;
    void toggleRepeat() override {}
    void syncControlState(ControlType) override {}

    // What the helper answered or announced.
    void infoArrived(const HelperDictionary& info);
    // The application that plays; none: nothing plays.
    void bundleArrived(const std::optional<std::string>& bundle);
    void commandsArrived(const std::map<std::string, bool>& commands);
    void playingChanged(bool isPlaying, bool playbackState, bool sourceIsFrontmost);
    // The helper is back after its connection was lost: the source is chosen again.
    void reconnected();
    // Applies the information last received (track, duration, artwork, rate, media type).
    void applyInfo();
    // The Music share link from the information, when it has one.
    void updateStoreLink();
    // The position dictionary.
    void applyPosition(const HelperDictionary& reply);

    // Whether the system source should give way: a player application plays (a blocking
    // question, asked in the background) or playback paused a moment ago.
    bool aPlayerPlays() const;
    bool recentlyPaused() const;

private:
    void lookUpBrowserLink(const std::string& title, const std::string& bundleId);

    MusicManager& music_;
    // Whether the helper said the player can shuffle; a helper that never says is taken to.
    std::optional<bool> canShuffle_;
};

}  // namespace halvyn
