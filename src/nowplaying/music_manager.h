#pragma once
// The one owner of what is playing: the current track, playing state, position and controls,
// taken from the Music or Spotify application or, through the companion helper, from the
// system-wide now-playing information; and the timers that show, end and hide the now-playing
// live activity.

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
#include "nowplaying/now_playing_visibility.h"
#include "nowplaying/track.h"
#include "platform/helper_connection.h"
#include "runtime/debounce.h"
#include "runtime/lifetime.h"
#include "runtime/logger.h"
#include "runtime/properties.h"
#include "runtime/published.h"
#include "settings/options.h"

namespace halvyn {

class Context;
class PlayerScripting;
struct PlayerNotification;

class MusicManager final : public LiveActivitySource, public MediaStateSource {
public:
    // Calls and voice messages of these chat applications also register as now playing.
    static const std::set<std::string>& messageAppBundleIds();

    explicit MusicManager(Context& ctx);
    ~MusicManager() override;
    MusicManager(const MusicManager&) = delete;
    MusicManager& operator=(const MusicManager&) = delete;

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

    // Sent by the views that show the position: the first starts the one-second position timer,
    // the second stops it.
    Signal<> timerStartSignal;
    Signal<> timerStopSignal;

    // The display condition.
    bool wantsLiveActivity() const override;
    bool isMediaPlaying() const override { return isPlaying.get(); }

    void resolvePlayerApp();
    void handlePlayerInfoChanged(const PlayerNotification& notification);
    void applyNowPlayingInfo();
    void updatePlayingState(bool playing, bool trackChanged, bool playbackState);
    void resetPlayback();
    // The helper's position dictionary.
    void applyPosition(const HelperDictionary& reply);
    // Capability dictionary of the helper (missing entries are false).
    void setSupportedCommands(const std::map<std::string, bool>& commands);
    // The Music share link from the helper's information, when it has one.
    void updateMusicStoreLink();
    // Whether that player application runs and plays.
    bool isPlayerRunningAndPlaying(const char* bundleId);
    void positionUpdate();

    // Media commands.
    void playPause();
    void previous();
    void next();
    void seek();
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

    bool isIdlePending() const { return idleDebounce.isPending(); }
    bool isHideIdlePending() const { return hideIdleDebounce.isPending(); }
    const PropertySet& properties() const { return properties_; }

private:
    struct PlayerRead;
    MusicApp source() const;
    PlayerScripting* player(MusicApp app) const;
    bool liveActivityShows() const;
    bool outputRecentlyChanged() const;
    bool isFullscreenHidden() const;
    bool isExcludedSource() const;
    void endLiveActivity();
    void showLiveActivity();
    void songChangeQuickPeek();
    void scheduleIdleTimers();
    void refreshFromPlayer();
    void readMusic(PlayerScripting* app, Track current, unsigned generation);
    void readSpotify(PlayerScripting* app, Track current, unsigned generation);
    void applyPlayerRead(const PlayerRead& read);
    void fetchMusicArtwork(PlayerScripting* app, int attemptsLeft, unsigned generation);
    void processArtwork(std::string bytes, bool flip);
    void clearArtwork();
    void applicationActivated(const std::string& bundleId);
    void tickPositionTimer();
    void lookUpBrowserLink(const std::string& title, const std::string& bundleId);
    void onBackground(std::function<void()> fn);
    void onMain(std::function<void()> fn);
    void publishDebounces();

    Context& ctx_;
    Logger log_;
    Lifetime lifetime_;
    std::vector<Subscription> cancellables;
    Debounce idleDebounce;
    Debounce hideIdleDebounce;
    Debounce pauseDebounce;
    Debounce seekDebounce;
    Debounce positionTimer_;
    bool timerRunning_ = false;
    bool pointerInside_ = false;
    // Raised on every new player read; a read that finishes after a newer one started is dropped.
    unsigned readGeneration_ = 0;
    unsigned artworkGeneration_ = 0;
    std::function<std::optional<std::string>()> region_;
    Published<bool> idlePending_{false};
    Published<bool> hideIdlePending_{false};
    PropertySet properties_;
    // What the notch input and the volume display see of this source.
    struct Seams;
    std::unique_ptr<Seams> seams_;
};

Value toValue(const HelperDictionary& d);

}  // namespace halvyn
