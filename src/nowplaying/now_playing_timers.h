#pragma once
// The timers of the now-playing live activity: after a pause the activity ends once the idle time
// passes and the player hides after the hide time, both held while the pointer is over the notch;
// a song change peeks for the peek time.

#include "runtime/debounce.h"
#include "runtime/properties.h"
#include "runtime/published.h"

namespace halvyn {

class MusicManager;

class NowPlayingTimers {
public:
    explicit NowPlayingTimers(MusicManager& music);

    // Both timers from the settings (a hide time of 0 or less hides at once).
    void schedule();
    void cancel();
    void cancelIdle();
    void setPointerOverNotch(bool inside);
    bool pointerInside() const { return pointerInside_; }
    void songChangeQuickPeek();

    bool isIdlePending() const { return idle_.isPending(); }
    bool isHideIdlePending() const { return hideIdle_.isPending(); }
    // Whether each timer runs, under the names the trace gives them.
    void addProperties(PropertySet& set);

private:
    void publish();

    MusicManager& music_;
    Debounce idle_;
    Debounce hideIdle_;
    bool pointerInside_ = false;
    Owned<bool, NowPlayingTimers> idlePending_{false};
    Owned<bool, NowPlayingTimers> hideIdlePending_{false};
};

}  // namespace halvyn
