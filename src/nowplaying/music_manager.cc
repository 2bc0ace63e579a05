#include "nowplaying/music_manager.h"

#include <cmath>

#include "app/context.h"
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
#include "platform/system_info.h"
#include "settings/defaults.h"
#include "settings/keys.h"
#include "sources/connectivity_manager.h"

namespace halvyn {

using L = Notch::LiveActivity;

namespace {

constexpr int kArtworkBox = 168;
constexpr int kArtworkRetries = 5;
constexpr double kArtworkRetryDelay = 0.2;

std::optional<std::string> textOf(const HelperDictionary& d, const char* key) {
    auto it = d.find(key);
    if (it == d.end()) return std::nullopt;
    if (auto* s = std::get_if<std::string>(&it->second)) return *s;
    return std::nullopt;
}

// A double entry; NaN counts as absent (it compares unequal to everything and means nothing).
std::optional<double> numberOf(const HelperDictionary& d, const char* key) {
    auto it = d.find(key);
    if (it == d.end()) return std::nullopt;
    if (auto* n = std::get_if<double>(&it->second); n && !std::isnan(*n)) return *n;
    return std::nullopt;
}

void withSpring(const Animation& anim, const std::function<void()>& change) {
    AnimationScope scope(&anim);
    change();
}

// Reads one member only when the application answers it.
std::optional<Value> read(PlayerScripting* app, std::string_view member) {
    if (!app->respondsTo(member)) return std::nullopt;
    return app->get(member);
}
std::optional<std::string> readText(PlayerScripting* app, std::string_view member) {
    auto v = read(app, member);
    if (v && v->isString()) return v->asString();
    return std::nullopt;
}
std::optional<bool> readFlag(PlayerScripting* app, std::string_view member) {
    auto v = read(app, member);
    if (v && v->isBool()) return v->asBool();
    return std::nullopt;
}
std::optional<double> readNumber(PlayerScripting* app, std::string_view member) {
    auto v = read(app, member);
    if (v && v->isNumber() && std::isfinite(v->asNumber())) return v->asNumber();
    return std::nullopt;
}
// A four-character code of the enumeration; any other code counts as no value.
std::optional<std::string> readCode(PlayerScripting* app, std::string_view member,
                                    std::initializer_list<const char*> cases) {
    auto code = readText(app, member);
    if (!code) return std::nullopt;
    for (const char* c : cases)
        if (*code == c) return code;
    return std::nullopt;
}

// Music's repeat is on only for the whole list ("kAll"); nullopt when the player does not answer.
std::optional<bool> readRepeatsAll(PlayerScripting* app) {
    auto code = readCode(app, "songRepeat", {"kRpO", "kRp1", "kAll"});
    if (!code) return std::nullopt;
    return *code == "kAll";
}

double finiteSetting(double v, double fallback) { return std::isfinite(v) ? v : fallback; }

}  // namespace

struct MusicManager::PlayerRead {
    MusicApp app = MusicApp::music;
    unsigned generation = 0;
    std::optional<std::string> title, artist, album;
    std::optional<double> duration;
    std::optional<bool> favorited, shuffled, repeating, shuffleEnabled, playing;
    std::optional<std::string> spotifyUrl, artworkUrl;

    // Another item than `t` (a member the player did not answer counts as unchanged).
    bool differsFrom(const Track& t) const {
        return title.value_or(t.title) != t.title || artist.value_or(t.artist) != t.artist ||
               album.value_or(t.album) != t.album;
    }
};

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

MusicManager::MusicManager(Context& ctx)
    : ctx_(ctx),
      log_(ctx.logger("MusicManager")),
      idleDebounce(ctx.main(), "idleDebounce"),
      hideIdleDebounce(ctx.main(), "hideIdleDebounce"),
      pauseDebounce(ctx.main(), "pauseDebounce"),
      seekDebounce(ctx.main(), "seekDebounce"),
      positionTimer_(ctx.main(), "positionTimer"),
      seams_(std::make_unique<Seams>(*this)) {
    // The store link's region is the user's region, read when a link is made.
    region_ = [&ctx]() -> std::optional<std::string> {
        if (auto* locale = ctx.platform().locale()) return locale->region();
        return std::nullopt;
    };
    properties_.add("currentTrack", currentTrack);
    properties_.add("isHidden", isHidden);
    properties_.add("isPlaying", isPlaying);
    properties_.add("nowPlaying", nowPlaying);
    properties_.add("isFlipped", isFlipped);
    properties_.add("isLoved", isLoved);
    properties_.add("isShuffled", isShuffled);
    properties_.add("isRepeating", isRepeating);
    properties_.add("isLive", isLive);
    properties_.add("isPodcast", isPodcast);
    properties_.add("isSourceAppActive", isSourceAppActive);
    properties_.add("trackDuration", trackDuration);
    properties_.add("seekerPosition", seekerPosition);
    properties_.add("volume", volume);
    properties_.add("playbackSpeed", playbackSpeed);
    properties_.add("isDraggingSlider", isDraggingSlider);
    properties_.add("isSeeking", isSeeking);
    properties_.add("appBundleId", appBundleId);
    properties_.add("hasShuffle", hasShuffle);
    properties_.add("hasPreviousSkip", hasPreviousSkip);
    properties_.add("hasNextSkip", hasNextSkip);
    properties_.add("hasPlaybackSpeed", hasPlaybackSpeed);
    properties_.add("hasRewind", hasRewind);
    properties_.add("hasFastForward", hasFastForward);
    properties_.add("hasRecentlyPaused", hasRecentlyPaused);
    properties_.add("previousTrigger", previousTrigger);
    properties_.add("nextTrigger", nextTrigger);
    properties_.add("idleDebounce", idlePending_);
    properties_.add("hideIdleDebounce", hideIdlePending_);

    auto& registry = ctx.notchSources();
    cancellables.push_back(registry.addLiveActivitySource(L::isPlaying, *this));
    cancellables.push_back(registry.setMediaState(*this));
    ctx.setNowPlayingControls(seams_.get());
    ctx.setNowPlayingVisibility(seams_.get());

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
    if (ctx_.nowPlayingControls() == seams_.get()) ctx_.setNowPlayingControls(nullptr);
    if (ctx_.nowPlayingVisibility() == seams_.get()) ctx_.setNowPlayingVisibility(nullptr);
}

// MARK: - Helpers

void MusicManager::onBackground(std::function<void()> fn) { ctx_.background().post(lifetime_.guard(std::move(fn))); }
void MusicManager::onMain(std::function<void()> fn) { ctx_.main().post(lifetime_.guard(std::move(fn))); }

MusicApp MusicManager::source() const { return ctx_.defaults().get(keys::musicApp); }

PlayerScripting* MusicManager::player(MusicApp app) const {
    auto* players = ctx_.platform().players();
    if (!players || app == MusicApp::system) return nullptr;
    return players->application(app == MusicApp::music ? PlayerApplications::kMusic : PlayerApplications::kSpotify);
}

bool MusicManager::isPlayerRunningAndPlaying(const char* bundleId) {
    auto* players = ctx_.platform().players();
    PlayerScripting* app = players ? players->application(bundleId) : nullptr;
    if (!app || !app->isRunning()) return false;
    auto state = readText(app, "playerState");
    return state && *state == "kPSP";
}

bool MusicManager::liveActivityShows() const {
    const Notch& notch = ctx_.notch();
    return notch.hasLiveActivity.get() && notch.liveActivity.get() == L::isPlaying;
}

bool MusicManager::outputRecentlyChanged() const { return ctx_.connectivity().hasRecentlyChangedOutputDevice.get(); }

bool MusicManager::isFullscreenHidden() const {
    return ctx_.defaults().get(keys::hideWhileInFullscreen) && ctx_.screenManager().isFullscreen.get();
}

bool MusicManager::isExcludedSource() const {
    return ctx_.defaults().get(keys::excludeInaptSources) && appBundleId.get() &&
           messageAppBundleIds().count(*appBundleId.get());
}

void MusicManager::endLiveActivity() { ctx_.notch().setLiveActivity(false, L::none, false, {}, 0.35); }
void MusicManager::showLiveActivity() { ctx_.notch().setLiveActivity(true, L::isPlaying, false, {}, 0.35); }

void MusicManager::reevaluateExclusion() {
    if (!isExcludedSource() || !isPlaying.get()) return;
    if (liveActivityShows()) endLiveActivity();
    isPlaying.set(false, Animation::spring(0.6, 0.4));
}

void MusicManager::publishDebounces() {
    idlePending_.set(idleDebounce.isPending());
    hideIdlePending_.set(hideIdleDebounce.isPending());
}

bool MusicManager::wantsLiveActivity() const {
    const Defaults& d = ctx_.defaults();
    if (!d.get(keys::enableNowPlaying) || !isPlaying.get()) return false;
    if (d.get(keys::hideWhileSourceIsActive) && isSourceAppActive.get()) return false;
    auto& lock = ctx_.lock();
    if (lock.isLocked.get() || lock.hasScreensaver.get()) return false;
    return !isFullscreenHidden();
}

// MARK: - Choosing the source

void MusicManager::resolvePlayerApp() {
    // Asking the players blocks: it happens in the background, the choice on the main queue.
    onBackground([this] {
        const bool automatic = ctx_.defaults().get(keys::automaticMusicApp);
        const bool musicPlaying = automatic && isPlayerRunningAndPlaying(PlayerApplications::kMusic);
        const bool spotifyPlaying = automatic && !musicPlaying && isPlayerRunningAndPlaying(PlayerApplications::kSpotify);
        onMain([this, automatic, musicPlaying, spotifyPlaying] {
            Defaults& d = ctx_.defaults();
            if (automatic) {
                const MusicApp chosen = musicPlaying ? MusicApp::music : spotifyPlaying ? MusicApp::spotify : MusicApp::system;
                if (d.get(keys::musicApp) != chosen) d.set(keys::musicApp, chosen);
            }
            XPCManager& xpc = ctx_.xpc();
            if (source() == MusicApp::system) {
                xpc.getIsPlaying();
                xpc.getNowPlayingBundle();
            } else {
                onMain([this] { refreshFromPlayer(); });
            }
            xpc.refreshNowPlayingInfo();
        });
    });
}

void MusicManager::handlePlayerInfoChanged(const PlayerNotification& n) {
    if (ctx_.defaults().get(keys::isFirstLaunch)) return;
    const bool stopped = n.playerState && *n.playerState == "Stopped";
    onBackground([this, n, stopped] {
        const bool musicPlaying = isPlayerRunningAndPlaying(PlayerApplications::kMusic);
        const bool spotifyPlaying = isPlayerRunningAndPlaying(PlayerApplications::kSpotify);
        PlayerScripting* music = player(MusicApp::music);
        PlayerScripting* spotify = player(MusicApp::spotify);
        const bool musicRunning = music && music->isRunning();
        const bool spotifyRunning = spotify && spotify->isRunning();
        onMain([=, this] {
            Defaults& d = ctx_.defaults();
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
                refreshFromPlayer();
            } else {
                if (isPlaying.get() && liveActivityShows()) endLiveActivity();
                resetPlayback();
            }
        });
    });
}

// MARK: - Reading the players

void MusicManager::refreshFromPlayer() {
    positionUpdate();
    withSpring(Animation::spring(0.2, 0), [this] {
        isLive.set(false);
        isPodcast.set(false);
    });
    const MusicApp app = source();
    PlayerScripting* handle = player(app);
    const unsigned generation = ++readGeneration_;
    const Track current = currentTrack.get();
    onBackground([this, app, handle, generation, current] {
        if (handle && handle->isRunning()) {
            if (app == MusicApp::music)
                readMusic(handle, current, generation);
            else
                readSpotify(handle, current, generation);
            return;
        }
        onMain([this] {
            if (isPlaying.get() && liveActivityShows()) endLiveActivity();
            resetPlayback();
        });
    });
    if (app == MusicApp::music && handle) ctx_.xpc().checkSupportedCommands();
}

void MusicManager::readMusic(PlayerScripting* app, Track current, unsigned generation) {
    if (!app->respondsTo("currentTrack")) return;
    PlayerRead r;
    r.app = MusicApp::music;
    r.generation = generation;
    r.title = readText(app, "currentTrack.name");
    // The player is still fetching the item: keep what is shown.
    if (r.title && (*r.title == "Loading…" || *r.title == "Connecting…")) return;
    r.shuffled = readFlag(app, "shuffleEnabled");
    r.repeating = readRepeatsAll(app);
    if (auto state = readCode(app, "playerState", {"kPSS", "kPSP", "kPSp", "kPSF", "kPSR"})) r.playing = *state == "kPSP";
    r.artist = readText(app, "currentTrack.artist");
    r.album = readText(app, "currentTrack.album");
    if (auto d = readNumber(app, "currentTrack.duration"); d && *d >= 0) r.duration = d;
    r.favorited = readFlag(app, "currentTrack.favorited");
    const std::string album = r.album.value_or("");
    if (album.empty() || album != current.album) {
        onMain([this, app] {
            const unsigned artwork = ++artworkGeneration_;
            onBackground([this, app, artwork] { fetchMusicArtwork(app, kArtworkRetries, artwork); });
        });
    }
    onMain([this, r] { applyPlayerRead(r); });
}

void MusicManager::readSpotify(PlayerScripting* app, Track current, unsigned generation) {
    if (!app->respondsTo("currentTrack")) return;
    PlayerRead r;
    r.app = MusicApp::spotify;
    r.generation = generation;
    r.shuffled = readFlag(app, "shuffling");
    r.repeating = readFlag(app, "repeating");
    r.shuffleEnabled = readFlag(app, "shufflingEnabled");
    if (auto state = readCode(app, "playerState", {"kPSS", "kPSP", "kPSp"})) r.playing = *state == "kPSP";
    r.title = readText(app, "currentTrack.name");
    r.artist = readText(app, "currentTrack.artist");
    r.album = readText(app, "currentTrack.album");
    // Whole seconds of a duration in milliseconds.
    if (auto ms = readNumber(app, "currentTrack.duration"); ms && *ms >= 0) r.duration = std::floor(*ms / 1000.0);
    r.spotifyUrl = readText(app, "currentTrack.spotifyUrl");
    if (r.differsFrom(current)) r.artworkUrl = readText(app, "currentTrack.artworkUrl");
    onMain([this, r] { applyPlayerRead(r); });
}

void MusicManager::applyPlayerRead(const PlayerRead& r) {
    // A later read (or a source change) supersedes this one.
    if (r.generation != readGeneration_ || r.app != source()) return;
    const bool changed = r.differsFrom(currentTrack.get());
    const bool playing = r.playing.value_or(isPlaying.get());
    if (!changed && r.app == MusicApp::music) {
        // Same item: the play state and the options may still have changed (a pause, say).
        if (r.favorited) isLoved.set(*r.favorited);
        if (r.shuffled) isShuffled.set(*r.shuffled);
        if (r.repeating) isRepeating.set(*r.repeating);
        updatePlayingState(playing, false, false);
        return;
    }
    if (r.duration) trackDuration.set(*r.duration);
    withSpring(Animation::spring(0.4, 0), [&] {
        Track t = currentTrack.get();
        if (r.title) t.title = *r.title;
        if (r.artist) t.artist = *r.artist;
        if (r.album) t.album = *r.album;
        if (r.app == MusicApp::spotify && r.spotifyUrl) t.url = spotifyTrackLink(*r.spotifyUrl);
        currentTrack.set(std::move(t));
    });
    if (r.app == MusicApp::music) {
        if (r.favorited) isLoved.set(*r.favorited);
        if (r.shuffled) isShuffled.set(*r.shuffled);
        if (r.repeating) isRepeating.set(*r.repeating);
        hasRewind.set(false);
        hasFastForward.set(false);
        withSpring(Animation::spring(0.2, 0), [this] {
            hasPreviousSkip.set(true);
            hasNextSkip.set(true);
            hasShuffle.set(true);
        });
    } else {
        if (r.shuffled) isShuffled.set(*r.shuffled);
        if (r.repeating) isRepeating.set(*r.repeating);
        const bool longForm = trackDuration.get() > 1800;
        withSpring(Animation::spring(0.2, 0), [&] {
            isPodcast.set(longForm);
            hasRewind.set(longForm);
            hasFastForward.set(longForm);
        });
        withSpring(Animation::spring(0.2, 0), [&] {
            hasPreviousSkip.set(true);
            hasNextSkip.set(true);
            if (r.shuffleEnabled) hasShuffle.set(*r.shuffleEnabled);
        });
        if (r.artworkUrl && !r.artworkUrl->empty()) {
            if (Http* http = ctx_.platform().http()) {
                HttpRequest req;
                req.url = *r.artworkUrl;
                req.timeout = seconds(15.0);
                req.maxBodyBytes = std::size_t{8} << 20;
                const unsigned artwork = ++artworkGeneration_;
                const Lifetime::Token weak = lifetime_.token();
                http->send(req, [this, weak, artwork](HttpResponse resp) {
                    if (!weak || artwork != artworkGeneration_) return;
                    if (!resp.ok()) {
                        log_.error("Error fetching artwork: %{public}s", resp.error.empty() ? std::to_string(resp.status) : resp.error);
                        return;
                    }
                    if (!currentTrack.get().albumArtData || *currentTrack.get().albumArtData != resp.body)
                        processArtwork(std::move(resp.body), true);
                });
            }
        }
    }
    // Only a new item is a song change: a pause and resume of the same one does not peek.
    updatePlayingState(playing, changed, false);
}

void MusicManager::fetchMusicArtwork(PlayerScripting* app, int attemptsLeft, unsigned generation) {
    std::optional<std::string> bytes;
    if (app->isRunning() && app->respondsTo("currentTrack.artworks.0.data"))
        bytes = app->imageData("currentTrack.artworks.0.data");
    std::optional<ArtworkImage> image;
    if (bytes)
        if (auto* decoder = ctx_.platform().artworkDecoder()) image = decoder->decode(*bytes, kArtworkBox);
    if (image) {
        auto shared = std::make_shared<const ArtworkImage>(std::move(*image));
        onMain([this, generation, shared, bytes = *bytes] {
            if (generation != artworkGeneration_) return;
            if (currentTrack.get().albumArtData == bytes) return;
            isFlipped.set(!isFlipped.get());
            withSpring(Animation::spring(0.4, 0), [&] {
                Track t = currentTrack.get();
                t.albumArt = shared;
                t.albumArtData = bytes;
                currentTrack.set(std::move(t));
            });
            onBackground([this, shared, generation] {
                auto colors = dominantColors(*shared, 3, 10);
                onMain([this, colors, generation] {
                    if (generation != artworkGeneration_) return;
                    Track t = currentTrack.get();
                    t.colors = colors;
                    currentTrack.set(std::move(t));
                });
            });
        });
        return;
    }
    if (attemptsLeft > 0) {
        // The player has no image yet (a streamed item still loading): ask again shortly.
        ctx_.main().postAfter(seconds(kArtworkRetryDelay), lifetime_.guard([this, app, attemptsLeft, generation] {
                                  if (generation != artworkGeneration_) return;
                                  onBackground([this, app, attemptsLeft, generation] { fetchMusicArtwork(app, attemptsLeft - 1, generation); });
                              }));
        return;
    }
    onMain([this, generation] {
        if (generation == artworkGeneration_) clearArtwork();
    });
}

void MusicManager::clearArtwork() {
    const Track& cur = currentTrack.get();
    if (!cur.albumArt && !cur.albumArtData && cur.colors == Track::placeholderColors()) return;
    if (cur.albumArt) isFlipped.set(!isFlipped.get());
    withSpring(Animation::spring(0.4, 0), [&] {
        Track t = currentTrack.get();
        t.albumArt.reset();
        t.albumArtData.reset();
        t.colors = Track::placeholderColors();
        currentTrack.set(std::move(t));
    });
}

void MusicManager::processArtwork(std::string bytes, bool flip) {
    if (flip) isFlipped.set(!isFlipped.get());
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
            currentTrack.set(std::move(t));
        });
    });
}

// MARK: - The system source

void MusicManager::applyNowPlayingInfo() {
    if (isExcludedSource()) return;
    const HelperDictionary& info = nowPlaying.get();
    const std::string title = textOf(info, "kMRMediaRemoteNowPlayingInfoTitle").value_or("");
    const std::string artist = textOf(info, "kMRMediaRemoteNowPlayingInfoArtist").value_or("");
    const std::string album = textOf(info, "kMRMediaRemoteNowPlayingInfoAlbum").value_or("");
    const auto artworkId = textOf(info, "kMRMediaRemoteNowPlayingInfoArtworkIdentifier");
    const auto defaultRate = numberOf(info, "kMRMediaRemoteNowPlayingInfoDefaultPlaybackRate");
    const auto rate = numberOf(info, "kMRMediaRemoteNowPlayingInfoPlaybackRate");

    // A negative duration is no duration: left as it was.
    if (auto duration = numberOf(info, "kMRMediaRemoteNowPlayingInfoDuration"); duration && *duration >= 0) {
        if (std::isinf(*duration) || *duration == 0 || *duration > 999999999) {
            withSpring(Animation::spring(0.2, 0), [this] { isLive.set(true); });
            trackDuration.set(0);
        } else {
            withSpring(Animation::spring(0.2, 0), [this] { isLive.set(false); });
            trackDuration.set(*duration);
        }
    }

    auto art = info.find("kMRMediaRemoteNowPlayingInfoArtworkData");
    const Bytes* artBytes = art == info.end() ? nullptr : std::get_if<Bytes>(&art->second);
    if (artBytes && artworkId && currentTrack.get().albumArtData != artBytes->data) processArtwork(artBytes->data, true);

    if (album.empty() && !artworkId) {
        const Track& cur = currentTrack.get();
        if (cur.albumArt) isFlipped.set(!isFlipped.get());
        ++artworkGeneration_;  // an artwork still being decoded no longer belongs here
        withSpring(Animation::spring(0.4, 0), [&] {
            Track t = currentTrack.get();
            t.albumArtData.reset();
            t.colors = Track::placeholderColors();
            t.albumArt.reset();
            currentTrack.set(std::move(t));
        });
    }

    const Track& cur = currentTrack.get();
    if ((title.empty() && artist.empty()) || (title == cur.title && artist == cur.artist && album == cur.album)) return;

    // A new item's link is its own: the previous item's link is not carried over to it.
    auto storeLink = musicStoreLink(info, region_ ? region_() : std::nullopt);
    withSpring(Animation::spring(0.4, 0), [&] {
        Track t = currentTrack.get();
        t.title = title;
        t.artist = artist;
        t.album = album;
        t.url = storeLink.value_or("");
        currentTrack.set(std::move(t));
    });
    const std::string bundle = appBundleId.get().value_or("");
    if (!title.empty() && (bundle == "com.apple.Safari" || bundle == "com.google.Chrome")) lookUpBrowserLink(title, bundle);

    if (defaultRate && playbackSpeed.get() != defaultRate) playbackSpeed.set(*defaultRate);

    if (rate && *rate != 0) {
        updatePlayingState(true, true, false);
    } else if (bundle == "com.apple.Music" && wantsLiveActivity() && !outputRecentlyChanged() && liveActivityShows() &&
               ctx_.defaults().get(keys::whenSongChanges)) {
        onMain([this] { songChangeQuickPeek(); });
    }
    withSpring(Animation::spring(0.2, 0), [this] { hasShuffle.set(true); });
    const bool podcast = textOf(info, "kMRMediaRemoteNowPlayingInfoMediaType") == std::optional<std::string>("MRMediaRemoteMediaTypePodcast");
    withSpring(Animation::spring(0.2, 0), [&] { isPodcast.set(podcast); });
}

void MusicManager::lookUpBrowserLink(const std::string& title, const std::string& bundleId) {
    const Browser browser = bundleId == "com.apple.Safari" ? Browser::safari : Browser::chrome;
    const std::string script = browserScript(browser, TabScript::lookup, title);
    onBackground([this, script, title] {
        std::string link;
        if (auto* runner = ctx_.platform().appleScript()) {
            AppleScriptResult result = runner->run(script);
            if (!result.ok)
                log_.error("Error: %{public}@", result.error);
            else if (!result.text.empty())
                link = videoShareLink(result.text);
        }
        onMain([this, link, title] {
            // The answer belongs to the title it was asked for.
            if (currentTrack.get().title != title) return;
            Track t = currentTrack.get();
            t.url = link;
            currentTrack.set(std::move(t));
        });
    });
}

void MusicManager::updateMusicStoreLink() {
    std::optional<std::string> region = region_ ? region_() : std::nullopt;
    auto link = musicStoreLink(nowPlaying.get(), region);
    if (!link) return;
    Track t = currentTrack.get();
    t.url = *link;
    currentTrack.set(std::move(t));
}

void MusicManager::setSupportedCommands(const std::map<std::string, bool>& commands) {
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

void MusicManager::applyPosition(const HelperDictionary& reply) {
    auto rate = numberOf(reply, "playbackRate");
    if (!rate || !std::isfinite(*rate)) return;
    if ((isPlaying.get() && *rate == 0) || (!isPlaying.get() && *rate == 1)) return;
    if (*rate != 0) {
        double r = *rate;
        SystemInfo* info = ctx_.platform().systemInfo();
        if (info && info->version().major >= 26) r = std::trunc(r * 10) / 10;
        if (playbackSpeed.get() != r) playbackSpeed.set(r);
    }
    auto duration = numberOf(reply, "duration");
    if (duration && std::isfinite(*duration) && *duration > 0)
        trackDuration.set(*duration);
    else
        trackDuration.set(0);
    if (auto elapsed = numberOf(reply, "elapsedTime"); elapsed && std::isfinite(*elapsed) && *elapsed >= 0) {
        if (isSeeking.get() && std::fabs(seekerPosition.get() - *elapsed) >= 2.0) return;
        seekerPosition.set(*elapsed);
    }
}

// MARK: - Playing state and timers

void MusicManager::updatePlayingState(bool playing, bool trackChanged, bool playbackState) {
    if (isExcludedSource()) return;
    withSpring(Animation::spring(0.6, 0.4), [&] { isPlaying.set(playing); });
    idleDebounce.cancel();
    hideIdleDebounce.cancel();
    pauseDebounce.cancel();
    publishDebounces();

    const Defaults& d = ctx_.defaults();
    if (playing) {
        isHidden.set(false);
        if (!wantsLiveActivity() || outputRecentlyChanged()) return;
        if (trackChanged && liveActivityShows() && d.get(keys::whenSongChanges)) onMain([this] { songChangeQuickPeek(); });
        // A notification on its way or up (a volume change just before this track change) would be
        // dropped by a start now; the notch brings the activity back when it closes.
        if (!liveActivityShows() && !ctx_.notch().isNotifying()) showLiveActivity();
        hasRecentlyPaused.set(false);
        return;
    }
    bool endNow = playbackState;
    if (!playbackState) {
        if ((d.get(keys::hideWhileSourceIsActive) && isSourceAppActive.get()) || isFullscreenHidden())
            endNow = true;
        else if (!ctx_.notch().isMouseInside.get() && !pointerInside_)
            scheduleIdleTimers();
    }
    if (endNow && liveActivityShows() && !outputRecentlyChanged()) endLiveActivity();
    hasRecentlyPaused.set(true);
    pauseDebounce.schedule(0.2, [this] { hasRecentlyPaused.set(false); });
}

void MusicManager::scheduleIdleTimers() {
    const Defaults& d = ctx_.defaults();
    const double idle = std::max(0.0, finiteSetting(d.get(keys::idleDuration), 3.0));
    idleDebounce.schedule(idle, [this] {
        publishDebounces();
        if (liveActivityShows() && !isPlaying.get() && !outputRecentlyChanged()) endLiveActivity();
    });
    const double hideMinutes = finiteSetting(d.get(keys::hideIdleDuration), 10.0);
    if (hideMinutes <= 0) {
        isHidden.set(true);
    } else {
        hideIdleDebounce.schedule(hideMinutes * 60.0, [this] {
            publishDebounces();
            isHidden.set(true);
        });
    }
    publishDebounces();
}

void MusicManager::songChangeQuickPeek() {
    const double peek = finiteSetting(ctx_.defaults().get(keys::peekDuration), 2.0);
    if (!currentTrack.get().title.empty())
        ctx_.notch().setQuickPeek(true, Notch::QuickPeek::isPlaying, true, 0.4, -0.3, peek);
}

void MusicManager::setPointerOverNotch(bool inside) {
    if (pointerInside_ == inside) return;
    pointerInside_ = inside;
    if (inside) {
        idleDebounce.cancel();
        hideIdleDebounce.cancel();
        publishDebounces();
    } else if (!isPlaying.get() && liveActivityShows()) {
        // Paused while the pointer was over the notch: the idle timers start once it leaves.
        scheduleIdleTimers();
    }
}

void MusicManager::cancelIdleTimer() {
    idleDebounce.cancel();
    publishDebounces();
}

void MusicManager::applicationActivated(const std::string& frontmost) {
    const Defaults& d = ctx_.defaults();
    if (!d.get(keys::hideWhileSourceIsActive) || ctx_.notch().hasNotification.get()) return;
    std::string bundle;
    switch (source()) {
        case MusicApp::system:
            if (!appBundleId.get()) return;
            bundle = *appBundleId.get();
            break;
        case MusicApp::music: bundle = PlayerApplications::kMusic; break;
        case MusicApp::spotify: bundle = PlayerApplications::kSpotify; break;
    }
    isSourceAppActive.set(frontmost == bundle);
    if (!d.get(keys::enableNowPlaying)) return;
    if (isSourceAppActive.get() && liveActivityShows())
        endLiveActivity();
    else if (!isSourceAppActive.get() && isPlaying.get() && !ctx_.notch().hasLiveActivity.get() &&
             !ctx_.notch().isNotifying())
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
    const MusicApp app = source();
    if (app == MusicApp::system) {
        const Lifetime::Token weak = lifetime_.token();
        ctx_.xpc().getSeekerPosition([this, weak](const HelperDictionary& reply) {
            if (weak) applyPosition(reply);
        });
        return;
    }
    PlayerScripting* handle = player(app);
    if (!handle) return;
    onBackground([this, handle] {
        if (!handle->isRunning()) return;
        auto position = readNumber(handle, "playerPosition");
        if (!position || *position < 0) return;
        onMain([this, p = *position] {
            if (!isDraggingSlider.get()) seekerPosition.set(p);
        });
    });
}

void MusicManager::resetPlayback() {
    ++artworkGeneration_;
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

// MARK: - Commands

void MusicManager::playPause() {
    const MusicApp app = source();
    if (app == MusicApp::system) return ctx_.xpc().playPause();
    PlayerScripting* handle = player(app);
    if (!handle) return;
    onBackground([handle] {
        if (handle->isRunning() && handle->respondsTo("playpause")) handle->command("playpause");
    });
}

void MusicManager::previous() {
    const MusicApp app = source();
    if (app == MusicApp::system) {
        ctx_.xpc().previousTrack();
    } else if (PlayerScripting* handle = player(app)) {
        const bool rewind = app == MusicApp::spotify && hasRewind.get();
        // A rewind near the start goes to the start, not before it.
        const double target = std::max(0.0, seekerPosition.get() - 15);
        onBackground([handle, app, rewind, target] {
            if (!handle->isRunning()) return;
            if (rewind) {
                if (handle->respondsTo("playerPosition")) handle->set("playerPosition", Value(target));
            } else {
                const char* command = app == MusicApp::music ? "backTrack" : "previousTrack";
                if (handle->respondsTo(command)) handle->command(command);
            }
        });
    }
    onMain([this] { positionUpdate(); });
}

void MusicManager::next() {
    const MusicApp app = source();
    if (app == MusicApp::system) {
        ctx_.xpc().nextTrack();
    } else if (PlayerScripting* handle = player(app)) {
        const bool forward = app == MusicApp::spotify && hasFastForward.get();
        const double target = seekerPosition.get() + 30;
        onBackground([handle, forward, target] {
            if (!handle->isRunning()) return;
            if (forward) {
                if (handle->respondsTo("playerPosition")) handle->set("playerPosition", Value(target));
            } else if (handle->respondsTo("nextTrack")) {
                handle->command("nextTrack");
            }
        });
    }
    onMain([this] { positionUpdate(); });
}

void MusicManager::seek() {
    seekDebounce.cancel();
    isSeeking.set(true);
    const double position = seekerPosition.get();
    const MusicApp app = source();
    if (app == MusicApp::system) {
        ctx_.xpc().setPlayerPosition(position);
    } else if (PlayerScripting* handle = player(app)) {
        if (handle->isRunning() && handle->respondsTo("playerPosition")) handle->set("playerPosition", Value(position));
    }
    seekDebounce.schedule(2.0, [this] { isSeeking.set(false); });
}

void MusicManager::toggleLike() {
    if (source() != MusicApp::music) return;
    PlayerScripting* handle = player(MusicApp::music);
    if (!handle) return;
    onBackground([this, handle] {
        if (!handle->isRunning()) return;
        auto favorited = readFlag(handle, "currentTrack.favorited");
        if (!favorited) return;
        handle->set("currentTrack.favorited", Value(!*favorited));
        onMain([this, loved = !*favorited] { isLoved.set(loved); });
    });
}

namespace {
Animation toggleSpring(bool turningOn) { return Animation::spring(0.3, turningOn ? 0.2 : 0.25); }
}  // namespace

void MusicManager::toggleShuffle() {
    const MusicApp app = source();
    PlayerScripting* handle = player(app);
    if (!handle) return;
    const char* member = app == MusicApp::music ? "shuffleEnabled" : "shuffling";
    onBackground([this, handle, member] {
        if (!handle->isRunning()) return;
        auto on = readFlag(handle, member);
        if (!on) return;
        handle->set(member, Value(!*on));
        onMain([this, turnOn = !*on] { withSpring(toggleSpring(turnOn), [&] { isShuffled.set(turnOn); }); });
    });
}

void MusicManager::toggleRepeat() {
    const MusicApp app = source();
    PlayerScripting* handle = player(app);
    if (!handle) return;
    onBackground([this, handle, app] {
        if (!handle->isRunning()) return;
        bool wasOn = false;
        if (app == MusicApp::music) {
            if (!handle->respondsTo("songRepeat")) return;
            wasOn = readRepeatsAll(handle).value_or(false);
            handle->set("songRepeat", Value(wasOn ? "kRpO" : "kAll"));
        } else {
            auto on = readFlag(handle, "repeating");
            if (!on) return;
            wasOn = *on;
            handle->set("repeating", Value(!wasOn));
        }
        onMain([this, turnOn = !wasOn] { withSpring(toggleSpring(turnOn), [&] { isRepeating.set(turnOn); }); });
    });
}

void MusicManager::syncControlState(ControlType choice) {
    if (choice != ControlType::shuffle && choice != ControlType::repeating) return;
    const MusicApp app = source();
    PlayerScripting* handle = player(app);
    if (!handle || currentTrack.get().isEmpty()) return;
    onBackground([this, handle, app, choice] {
        if (!handle->isRunning()) return;
        if (choice == ControlType::shuffle) {
            auto on = readFlag(handle, app == MusicApp::music ? "shuffleEnabled" : "shuffling");
            if (on) onMain([this, v = *on] { isShuffled.set(v); });
        } else {
            std::optional<bool> on;
            on = app == MusicApp::music ? readRepeatsAll(handle) : readFlag(handle, "repeating");
            if (on) onMain([this, v = *on] { isRepeating.set(v); });
        }
    });
}

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
