#include "nowplaying/now_playing_timers.h"

#include <algorithm>
#include <cmath>

#include "notch/notch.h"
#include "nowplaying/music_manager.h"
#include "platform/services.h"
#include "settings/defaults.h"
#include "settings/keys.h"

namespace halvyn {

namespace {
double finiteSetting(double v, double fallback) { return std::isfinite(v) ? v : fallback; }
}  // namespace

NowPlayingTimers::NowPlayingTimers(MusicManager& music)
    : music_(music), idle_(music.ctx_.main(), "idleDebounce"), hideIdle_(music.ctx_.main(), "hideIdleDebounce") {}

void NowPlayingTimers::addProperties(PropertySet& set) {
    set.add("idleDebounce", idlePending_);
    set.add("hideIdleDebounce", hideIdlePending_);
}

void NowPlayingTimers::publish() {
    idlePending_.set(idle_.isPending());
    hideIdlePending_.set(hideIdle_.isPending());
}

void NowPlayingTimers::schedule() {
    const Defaults& d = music_.defaults_;
    const double idle = std::max(0.0, finiteSetting(d.get(keys::idleDuration), 3.0));
    idle_.schedule(idle, [this] {
        publish();
        if (music_.liveActivityShows() && !music_.isPlaying.get() && !music_.outputRecentlyChanged())
            music_.endLiveActivity();
    });
    const double hideMinutes = finiteSetting(d.get(keys::hideIdleDuration), 10.0);
    if (hideMinutes <= 0) {
        NowPlayingModel::put(music_.isHidden, true);
    } else {
        hideIdle_.schedule(hideMinutes * 60.0, [this] {
            publish();
            NowPlayingModel::put(music_.isHidden, true);
        });
    }
    publish();
}

void NowPlayingTimers::cancel() {
    idle_.cancel();
    hideIdle_.cancel();
    publish();
}

void NowPlayingTimers::cancelIdle() {
    idle_.cancel();
    publish();
}

void NowPlayingTimers::songChangeQuickPeek() {
    const double peek = finiteSetting(music_.defaults_.get(keys::peekDuration), 2.0);
    if (!music_.currentTrack.get().title.empty())
        music_.notch_.setQuickPeek(true, Notch::QuickPeek::isPlaying, true, 0.4, -0.3, peek);
}

void NowPlayingTimers::setPointerOverNotch(bool inside) {
    if (pointerInside_ == inside) return;
    pointerInside_ = inside;
    if (inside) {
        cancel();
    } else if (!music_.isPlaying.get() && music_.liveActivityShows()) {
        // Paused while the pointer was over the notch: the idle timers start once it leaves.
        schedule();
    }
}

}  // namespace halvyn
