#include "nowplaying/music_manager.h"

#include <cmath>

#include "lockscreen/lock_manager.h"
#include "notch/screen_manager.h"
#include "nowplaying/dominant_colors.h"
#include "nowplaying/share_links.h"
#include "nowplaying/xpc_manager.h"
#include "platform/app_launcher.h"
#include "platform/apple_script.h"
#include "platform/artwork.h"
#include "platform/http.h"
#include "platform/locale.h"
#include "platform/pasteboard.h"
#include "platform/platform.h"
#include "platform/player_scripting.h"
#include "platform/processes.h"
#include "platform/services.h"
#include "platform/system_info.h"
#include "settings/defaults.h"
#include "settings/keys.h"
#include "sources/connectivity_manager.h"

namespace halvyn {

using L = Notch::LiveActivity;

namespace {

constexpr int kArtworkBox = 168;

}  // namespace

struct MusicManager::Seams final : NowPlayingControls, NowPlayingVisibility {
    explicit Seams(MusicManager& m) : m(m) {}
    bool hasPreviousSkip() const override { return m.hasPreviousSkip.get(); }
    bool hasNextSkip() const override { return m.hasNextSkip.get(); }
    void previous() override { m.previous(); }
    void next() override { m.next(); }
    void setPointerOverNotch(bool inside) override { m.setPointerOverNotch(inside); }
    void cancelIdleTimer() override { m.cancelIdleTimer(); }
    bool isHidden() const override { return m.isHidden.get(); }
    MusicManager& m;
};

const std::set<std::string>& MusicManager::messageAppBundleIds() {
    static const std::set<std::string> ids{
        "ru.keepcoder.Telegram", "org.whispersystems.signal-desktop", "com.hnc.Discord", "net.whatsapp.WhatsApp",
        "com.tinyspeck.slackmacgap", "com.microsoft.teams2", "us.zoom.xos", "com.tencent.xinWeChat",
        "com.facebook.archon", "com.facebook.archon.developerID", "com.viber.osx"};
    return ids;
}

MusicManager::MusicManager(Services& ctx, Defaults& defaults, Notch& notch, NotchSources& sources,
                           ScreenManager& screens, ConnectivityManager& connectivity, LockManager& lock,
                           XPCManager& xpc)
    : ctx_(ctx), defaults_(defaults), notch_(notch), sources_(sources), screens_(screens), connectivity_(connectivity),
      lock_(lock), xpc_(xpc),
      log_(ctx.logger("MusicManager")),
      timers_(*this),
      helper_(*this),
      player_(*this),
      pauseDebounce(ctx.main(), "pauseDebounce"),
      seekDebounce(ctx.main(), "seekDebounce"),
      positionTimer_(ctx.main(), "positionTimer"),
      seams_(std::make_unique<Seams>(*this)) {
    // The store link's region is the user's region, read when a link is made.
    region_ = [&ctx]() -> std::optional<std::string> {
        if (auto* locale = ctx.platform().locale()) return locale->region();
        return std::nullopt;
    };
    addProperties(properties_);
    timers_.addProperties(properties_);

    auto& registry = sources_;
    cancellables.push_back(registry.addLiveActivitySource(L::isPlaying, *this));
    cancellables.push_back(registry.setMediaState(*this));

    const Lifetime::Token weak = lifetime_.token();
    if (auto* players = ctx.platform().players())
        cancellables.push_back(players->observeNotifications([this, weak](const PlayerNotification& n) {
            if (weak) handlePlayerInfoChanged(n);
        }));
    if (auto* processes = ctx.platform().processes())
        cancellables.push_back(processes->observeActivation([this, weak](const RunningApplication& app) {
            if (weak) applicationActivated(app.bundleIdentifier.value_or(""));
        }));
    cancellables.push_back(timerStartSignal.connect([this] {
        timerRunning_ = true;
        tickPositionTimer();
    }));
    cancellables.push_back(timerStopSignal.connect([this] {
        timerRunning_ = false;
        positionTimer_.cancel();
    }));

    resolvePlayerApp();
}

MusicManager::~MusicManager() {
    lifetime_.end();
}

NowPlayingControls& MusicManager::controls() { return *seams_; }
NowPlayingVisibility& MusicManager::visibility() { return *seams_; }

// MARK: - Helpers

std::function<void()> MusicManager::weakly(std::function<void()> fn) const {
    return lifetime_.guard(std::move(fn));
}
void MusicManager::onBackground(std::function<void()> fn) { ctx_.background().post(weakly(std::move(fn))); }
void MusicManager::onMain(std::function<void()> fn) { ctx_.main().post(weakly(std::move(fn))); }

MusicApp MusicManager::source() const { return defaults_.get(keys::musicApp); }

PlayerScripting* MusicManager::player(MusicApp app) const {
    auto* players = ctx_.platform().players();
    if (!players || app == MusicApp::system) return nullptr;
    return players->application(app == MusicApp::music ? PlayerApplications::kMusic : PlayerApplications::kSpotify);
}

bool MusicManager::isPlayerRunningAndPlaying(const char* bundleId) const {
    auto* players = ctx_.platform().players();
    return ScriptedPlayerSource::isRunningAndPlaying(players ? players->application(bundleId) : nullptr);
}

bool MusicManager::liveActivityShows() const {
    const Notch& notch = notch_;
    return notch.hasLiveActivity.get() && notch.liveActivity.get() == L::isPlaying;
}

bool MusicManager::outputRecentlyChanged() const { return connectivity_.hasRecentlyChangedOutputDevice.get(); }

bool MusicManager::isFullscreenHidden() const {
    return defaults_.get(keys::hideWhileInFullscreen) && screens_.isFullscreen.get();
}

bool MusicManager::isExcludedSource() const {
    return defaults_.get(keys::excludeInaptSources) && appBundleId.get() &&
           messageAppBundleIds().count(*appBundleId.get());
}

void MusicManager::endLiveActivity() { notch_.setLiveActivity(false, L::none, false, {}, 0.35); }
void MusicManager::showLiveActivity() { notch_.setLiveActivity(true, L::isPlaying, false, {}, 0.35); }

void MusicManager::reevaluateExclusion() {
    if (!isExcludedSource() || !isPlaying.get()) return;
    if (liveActivityShows()) endLiveActivity();
    put(isPlaying, false, Animation::spring(0.6, 0.4));
}

bool MusicManager::wantsLiveActivity() const {
    const Defaults& d = defaults_;
    if (!d.get(keys::enableNowPlaying) || !isPlaying.get()) return false;
    if (d.get(keys::hideWhileSourceIsActive) && isSourceAppActive.get()) return false;
    auto& lock = lock_;
    if (lock.isLocked.get() || lock.hasScreensaver.get()) return false;
    return !isFullscreenHidden();
}

// MARK: - Choosing the source

void MusicManager::resolvePlayerApp() {
    // Asking the players blocks: it happens in the background, the choice on the main queue.
    onBackground([this] {
        const bool automatic = defaults_.get(keys::automaticMusicApp);
        const bool musicPlaying = automatic && isPlayerRunningAndPlaying(PlayerApplications::kMusic);
        const bool spotifyPlaying = automatic && !musicPlaying && isPlayerRunningAndPlaying(PlayerApplications::kSpotify);
        onMain([this, automatic, musicPlaying, spotifyPlaying] {
            Defaults& d = defaults_;
            if (automatic) {
                const MusicApp chosen = musicPlaying ? MusicApp::music : spotifyPlaying ? MusicApp::spotify : MusicApp::system;
                if (d.get(keys::musicApp) != chosen) d.set(keys::musicApp, chosen);
            }
            if (source() == MusicApp::system)
                helper_.refresh();
            else
                onMain([this] { player_.refresh(); });
            xpc_.refreshNowPlayingInfo();
        });
    });
}

void MusicManager::handlePlayerInfoChanged(const PlayerNotification& n) {
    if (defaults_.get(keys::isFirstLaunch)) return;
    const bool stopped = n.playerState && *n.playerState == "Stopped";
    onBackground([this, n, stopped] {
        const bool musicPlaying = isPlayerRunningAndPlaying(PlayerApplications::kMusic);
        const bool spotifyPlaying = isPlayerRunningAndPlaying(PlayerApplications::kSpotify);
        PlayerScripting* music = player(MusicApp::music);
        PlayerScripting* spotify = player(MusicApp::spotify);
        const bool musicRunning = music && music->isRunning();
        const bool spotifyRunning = spotify && spotify->isRunning();
        onMain([=, this] {
            Defaults& d = defaults_;
            if (d.get(keys::automaticMusicApp) && !stopped && n.object) {
                const std::string& object = *n.object;
                if (object.find(PlayerApplications::kMusic) != std::string::npos &&
                    !(!musicPlaying && spotifyRunning && spotifyPlaying)) {
                    if (d.get(keys::musicApp) != MusicApp::music) d.set(keys::musicApp, MusicApp::music);
                } else if (object.find(PlayerApplications::kSpotify) != std::string::npos &&
                           !(!spotifyPlaying && musicRunning && musicPlaying)) {
                    if (d.get(keys::musicApp) != MusicApp::spotify) d.set(keys::musicApp, MusicApp::spotify);
                }
            }
            const MusicApp app = source();
            if (app == MusicApp::system) return;
            const char* bundle = app == MusicApp::music ? PlayerApplications::kMusic : PlayerApplications::kSpotify;
            if (n.name.find(bundle) == std::string::npos) return;
            const bool running = app == MusicApp::music ? musicRunning : spotifyRunning;
            if (!stopped && running) {
                player_.refresh();
            } else {
                if (isPlaying.get() && liveActivityShows()) endLiveActivity();
                resetPlayback();
            }
        });
    });
}

// MARK: - Artwork

void MusicManager::clearArtwork() {
    const Track& cur = currentTrack.get();
    if (!cur.albumArt && !cur.albumArtData && cur.colors == Track::placeholderColors()) return;
    if (cur.albumArt) put(isFlipped, !isFlipped.get());
    withSpring(Animation::spring(0.4, 0), [&] {
        Track t = currentTrack.get();
        t.albumArt.reset();
        t.albumArtData.reset();
        t.colors = Track::placeholderColors();
        put(currentTrack, std::move(t));
    });
}

void MusicManager::processArtwork(std::string bytes, bool flip) {
    if (flip) put(isFlipped, !isFlipped.get());
    const unsigned generation = ++artworkGeneration_;
    onBackground([this, bytes = std::move(bytes), generation] {
        std::optional<ArtworkImage> image;
        if (auto* decoder = ctx_.platform().artworkDecoder()) image = decoder->decode(bytes, kArtworkBox);
        std::vector<TrackColor> colors = Track::placeholderColors();
        std::shared_ptr<const ArtworkImage> shared;
        if (image) {
            shared = std::make_shared<const ArtworkImage>(std::move(*image));
            colors = dominantColors(*shared, 3, 10);
        }
        onMain([this, bytes, shared, colors, generation] {
            if (generation != artworkGeneration_) return;
            if (!shared) log_.error("Artwork is not an image (%{public}d bytes)", static_cast<int>(bytes.size()));
            // The bytes are kept even when they are not an image, so the same bytes are not
            // decoded again on every change.
            Track t = currentTrack.get();
            t.albumArt = shared;
            t.albumArtData = bytes;
            t.colors = colors;
            put(currentTrack, std::move(t));
        });
    });
}

// MARK: - Playing state and timers

void MusicManager::updatePlayingState(bool playing, bool trackChanged, bool playbackState) {
    if (isExcludedSource()) return;
    withSpring(Animation::spring(0.6, 0.4), [&] { put(isPlaying, playing); });
    timers_.cancel();
    pauseDebounce.cancel();

    const Defaults& d = defaults_;
    if (playing) {
        put(isHidden, false);
        if (!wantsLiveActivity() || outputRecentlyChanged()) return;
        if (trackChanged && liveActivityShows() && d.get(keys::whenSongChanges)) onMain([this] { timers_.songChangeQuickPeek(); });
        // A notification on its way or up (a volume change just before this track change) would be
        // dropped by a start now; the notch brings the activity back when it closes.
        if (!liveActivityShows() && !notch_.isNotifying()) showLiveActivity();
        put(hasRecentlyPaused, false);
        return;
    }
    bool endNow = playbackState;
    if (!playbackState) {
        if ((d.get(keys::hideWhileSourceIsActive) && isSourceAppActive.get()) || isFullscreenHidden())
            endNow = true;
        else if (!notch_.isMouseInside.get() && !timers_.pointerInside())
            timers_.schedule();
    }
    if (endNow && liveActivityShows() && !outputRecentlyChanged()) endLiveActivity();
    put(hasRecentlyPaused, true);
    pauseDebounce.schedule(0.2, [this] { put(hasRecentlyPaused, false); });
}

void MusicManager::setPointerOverNotch(bool inside) { timers_.setPointerOverNotch(inside); }

void MusicManager::cancelIdleTimer() { timers_.cancelIdle(); }

void MusicManager::applicationActivated(const std::string& frontmost) {
    const Defaults& d = defaults_;
    if (!d.get(keys::hideWhileSourceIsActive) || notch_.hasNotification.get()) return;
    std::string bundle;
    switch (source()) {
        case MusicApp::system:
            if (!appBundleId.get()) return;
            bundle = *appBundleId.get();
            break;
        case MusicApp::music: bundle = PlayerApplications::kMusic; break;
        case MusicApp::spotify: bundle = PlayerApplications::kSpotify; break;
    }
    put(isSourceAppActive, frontmost == bundle);
    if (!d.get(keys::enableNowPlaying)) return;
    if (isSourceAppActive.get() && liveActivityShows())
        endLiveActivity();
    else if (!isSourceAppActive.get() && isPlaying.get() && !notch_.hasLiveActivity.get() &&
             !notch_.isNotifying())
        showLiveActivity();
}

void MusicManager::tickPositionTimer() {
    positionUpdate();
    positionTimer_.schedule(1.0, [this] {
        if (timerRunning_) tickPositionTimer();
    });
}

void MusicManager::positionUpdate() {
    if (currentTrack.get().isEmpty() || isDraggingSlider.get()) return;
    current().readPosition();
}

void MusicManager::resetPlayback() {
    ++artworkGeneration_;
    clearPlayback();
}

// MARK: - Commands

NowPlayingSource& MusicManager::current() {
    if (source() == MusicApp::system) return helper_;
    return player_;
}

void MusicManager::playPause() { current().playPause(); }
void MusicManager::toggleLike() { current().toggleLike(); }
void MusicManager::toggleShuffle() { current().toggleShuffle(); }
void MusicManager::toggleRepeat() { current().toggleRepeat(); }
void MusicManager::syncControlState(ControlType choice) { current().syncControlState(choice); }

void MusicManager::previous() {
    current().previous();
    onMain([this] { positionUpdate(); });
}

void MusicManager::next() {
    current().next();
    onMain([this] { positionUpdate(); });
}

void MusicManager::seek() {
    seekDebounce.cancel();
    put(isSeeking, true);
    current().seek(seekerPosition.get());
    seekDebounce.schedule(2.0, [this] { put(isSeeking, false); });
}

void MusicManager::dragSeeker(bool dragging) { put(isDraggingSlider, dragging); }
void MusicManager::moveSeeker(double position) { put(seekerPosition, position); }
void MusicManager::flipPreviousTrigger() { put(previousTrigger, !previousTrigger.get()); }
void MusicManager::flipNextTrigger() { put(nextTrigger, !nextTrigger.get()); }

void MusicManager::openSourceApp() {
    std::string bundle;
    switch (source()) {
        case MusicApp::music: bundle = PlayerApplications::kMusic; break;
        case MusicApp::spotify: bundle = PlayerApplications::kSpotify; break;
        case MusicApp::system:
            if (!appBundleId.get()) return;
            bundle = *appBundleId.get();
    }
    AppLauncher* launcher = ctx_.platform().appLauncher();
    if (!launcher) return;
    auto url = launcher->urlForApplication(bundle);
    if (!url) return;
    const std::string title = currentTrack.get().title;
    if (!title.empty() && (bundle == "com.apple.Safari" || bundle == "com.google.Chrome")) {
        const std::string script =
            browserScript(bundle == "com.apple.Safari" ? Browser::safari : Browser::chrome, TabScript::focus, title);
        onBackground([this, script] {
            if (auto* runner = ctx_.platform().appleScript()) {
                AppleScriptResult result = runner->run(script);
                if (!result.ok) log_.error("Error: %{public}@", result.error);
            }
        });
    }
    launcher->openApplication(*url, bundle, true);
}

void MusicManager::copyLink() {
    Pasteboard* pasteboard = ctx_.platform().pasteboard();
    if (!pasteboard) return;
    pasteboard->clearContents();
    pasteboard->setString(currentTrack.get().url);
}

}  // namespace halvyn
