#pragma once
// One source of what is playing, as the now-playing manager uses it: reading the current item and
// its position, and the media commands, each answered the source's own way. The helper source
// follows the system-wide information through the companion helper; the scripted-player source
// asks the Music or Spotify application itself.

#include "settings/options.h"

namespace halvyn {

class NowPlayingSource {
public:
    virtual ~NowPlayingSource() = default;

    // Reads the item that plays now into the model.
    virtual void refresh() = 0;
    // Reads the playing position into the model.
    virtual void readPosition() = 0;

    virtual void playPause() = 0;
    virtual void previous() = 0;
    virtual void next() = 0;
    virtual void seek(double position) = 0;
    virtual void toggleLike() = 0;
    virtual void toggleShuffle() = 0;
    virtual void toggleRepeat() = 0;
    // Reads the player's own shuffle or repeat state for the extra button showing it.
    virtual void syncControlState(ControlType choice) = 0;
};

}  // namespace halvyn
