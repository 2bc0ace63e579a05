#pragma once
// The one owner of what is playing (the now-playing model it extends): it chooses the source —
// the Music or Spotify application, or the system-wide information through the companion helper —
// passes the media commands to it, shows and ends the now-playing live activity, and owns the
// timers that end and hide it and the artwork both sources decode.

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "notch/input_seams.h"
#include "notch/notch.h"
#include "notch/notch_sources.h"
#include "nowplaying/helper_source.h"
#include "nowplaying/now_playing_model.h"
#include "nowplaying/now_playing_timers.h"
#include "nowplaying/now_playing_visibility.h"
#include "nowplaying/player_source.h"
#include "nowplaying/track.h"
#include "platform/helper_connection.h"
#include "runtime/debounce.h"
#include "runtime/lifetime.h"
#include "runtime/logger.h"
#include "runtime/properties.h"
#include "runtime/published.h"
#include "settings/options.h"

namespace halvyn {

class Services;
class Defaults;
class Notch;
class NotchSources;
class ScreenManager;
class ConnectivityManager;
class LockManager;
class XPCManager;
class PlayerScripting;
struct PlayerNotification;

class MusicManager final : public NowPlayingModel, public LiveActivitySource, public MediaStateSource {
public:
    // Calls and voice messages of these chat applications also register as now playing.
    static const std::set<std::string>& messageAppBundleIds();

    MusicManager(Services& ctx, Defaults& defaults, Notch& notch, NotchSources& sources, ScreenManager& screens,
                 ConnectivityManager& connectivity, LockManager& lock, XPCManager& xpc);
    ~MusicManager() override;
    MusicManager(const MusicManager&) = delete;
    MusicManager& operator=(const MusicManager&) = delete;

    // What the notch input drives, and what the volume display asks, of this source.
    NowPlayingControls& controls();
    NowPlayingVisibility& visibility();

    // Sent by the views that show the position: the first starts the one-second position timer,
    // the second stops it.
    Signal<> timerStartSignal;
    Signal<> timerStopSignal;

    // The display condition.
    bool wantsLiveActivity() const override;
    bool isMediaPlaying() const override { return isPlaying.get(); }

    void resolvePlayerApp();
    void handlePlayerInfoChanged(const PlayerNotification& notification);
    // Reads the position from the source (none while no track shows or the slider is dragged).
    void positionUpdate();
    // What the helper connection reports to.
    HelperSource& helperSource() { return helper_; }

    // Media commands.
    void playPause();
    void previous();
    void next();
    void seek();
    // The seeker as the user drags it: the position follows the pointer until `seek` sends it.
    void dragSeeker(bool dragging);
    void moveSeeker(double position);
    // The previous and next buttons' press feedback: each press flips the trigger.
    void flipPreviousTrigger();
    void flipNextTrigger();
    void toggleLike();
    void toggleShuffle();
    void toggleRepeat();
    void openSourceApp();
    void copyLink();
    // The extra button's state: reads the player's shuffle or repeat state for those choices.
    void syncControlState(ControlType choice);
    // "excludeInaptSources" changed: an excluded source that plays stops counting as playing and
    // its live activity ends.
    void reevaluateExclusion();

    // The notch input: the pointer over the notch holds the idle and hide timers.
    void setPointerOverNotch(bool inside);
    void cancelIdleTimer();

    // Where the Music store link's region comes from (the locale's region code); none gives "us".
    void setRegionSource(std::function<std::optional<std::string>()> source) { region_ = std::move(source); }

    bool isIdlePending() const { return timers_.isIdlePending(); }
    bool isHideIdlePending() const { return timers_.isHideIdlePending(); }
    const PropertySet& properties() const { return properties_; }

private:
    friend class HelperSource;
    friend class ScriptedPlayerSource;
    friend class NowPlayingTimers;

    MusicApp source() const;
    NowPlayingSource& current();
    PlayerScripting* player(MusicApp app) const;
    bool isPlayerRunningAndPlaying(const char* bundleId) const;
    void updatePlayingState(bool playing, bool trackChanged, bool playbackState);
    void resetPlayback();
    bool liveActivityShows() const;
    bool outputRecentlyChanged() const;
    bool isFullscreenHidden() const;
    bool isExcludedSource() const;
    void endLiveActivity();
    void showLiveActivity();
    void processArtwork(std::string bytes, bool flip);
    void clearArtwork();
    void applicationActivated(const std::string& bundleId);
    void tickPositionTimer();
    std::function<void()> weakly(std::function<void()> fn) const;
    void onBackground(std::function<void()> fn);
    void onMain(std::function<void()> fn);

    Services& ctx_;
    Defaults& defaults_;
    Notch& notch_;
    NotchSources& sources_;
    ScreenManager& screens_;
    ConnectivityManager& connectivity_;
    LockManager& lock_;
    XPCManager& xpc_;
    Logger log_;
    Lifetime lifetime_;
    std::vector<Subscription> cancellables;
    NowPlayingTimers timers_;
    HelperSource helper_;
    ScriptedPlayerSource player_;
    Debounce pauseDebounce;
    Debounce seekDebounce;
    Debounce positionTimer_;
    bool timerRunning_ = false;
    // Raised for every artwork asked for; one that arrives after a newer one was asked is dropped.
    unsigned artworkGeneration_ = 0;
    std::function<std::optional<std::string>()> region_;
    PropertySet properties_;
    // What the notch input and the volume display see of this source.
    struct Seams;
    std::unique_ptr<Seams> seams_;
};

}  // namespace halvyn
