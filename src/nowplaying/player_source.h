#pragma once
// The Music or Spotify application as a source of what is playing, asked through its scripting
// interface: every question blocks, so it is asked in the background and the answer applied on
// the main queue, a read that finishes after a newer one started being dropped. Artwork comes
// from the player's image data (Music) or its artwork link (Spotify).

#include <optional>
#include <string>

#include "nowplaying/now_playing_source.h"
#include "nowplaying/track.h"

namespace halvyn {

class MusicManager;
class PlayerScripting;

class ScriptedPlayerSource final : public NowPlayingSource {
public:
    explicit ScriptedPlayerSource(MusicManager& music) : music_(music) {}

    // Whether that player application runs and plays (blocks: asked in the background).
    static bool isRunningAndPlaying(PlayerScripting* app);

    // NowPlayingSource
    void refresh() override;
    void readPosition() override;
    void playPause() override;
    void previous() override;
    void next() override;
    void seek(double position) override;
    void toggleLike() override;
    void toggleShuffle() override;
    void toggleRepeat() override;
    void syncControlState(ControlType choice) override;

private:
    struct Read;
    void readMusic(PlayerScripting* app, Track current, unsigned generation);
    void readSpotify(PlayerScripting* app, Track current, unsigned generation);
    void apply(const Read& read);
    void fetchMusicArtwork(PlayerScripting* app, int attemptsLeft, unsigned generation);

    MusicManager& music_;
    // Raised on every new read; a read that finishes after a newer one started is dropped.
    unsigned readGeneration_ = 0;
};

}  // namespace halvyn
