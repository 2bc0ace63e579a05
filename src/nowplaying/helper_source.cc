#include "nowplaying/helper_source.h"

#include <cmath>

#include "nowplaying/music_manager.h"
#include "nowplaying/share_links.h"
#include "nowplaying/xpc_manager.h"
#include "platform/apple_script.h"
#include "platform/platform.h"
#include "platform/player_scripting.h"
#include "platform/services.h"
#include "platform/system_info.h"
#include "settings/defaults.h"
#include "settings/keys.h"

namespace halvyn {

namespace {

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

}  // namespace

void HelperSource::refresh() {
    XPCManager& xpc = music_.xpc_;
    xpc.getIsPlaying();
    xpc.getNowPlayingBundle();
}

void HelperSource::readPosition() {
    const Lifetime::Token weak = music_.lifetime_.token();
    music_.xpc_.getSeekerPosition([this, weak](const HelperDictionary& reply) {
        if (weak) applyPosition(reply);
    });
}

void HelperSource::playPause() { music_.xpc_.playPause(); }
void HelperSource::previous() { music_.xpc_.previousTrack(); }
void HelperSource::next() { music_.xpc_.nextTrack(); }
void HelperSource::seek(double position) { music_.xpc_.setPlayerPosition(position); }

void HelperSource::infoArrived(const HelperDictionary& info) { NowPlayingModel::put(music_.nowPlaying, info); }

void HelperSource::bundleArrived(const std::optional<std::string>& bundle) {
    if (bundle)
        NowPlayingModel::put(music_.appBundleId, bundle);
    else
        music_.resetPlayback();
}

void HelperSource::commandsArrived(const std::map<std::string, bool>& commands) {
    if (auto it = commands.find("hasShuffle"); it != commands.end()) canShuffle_ = it->second;
    music_.setSupportedCommands(commands);
    if (canShuffle_)
        withSpring(Animation::spring(0.2, 0), [this] { NowPlayingModel::put(music_.hasShuffle, *canShuffle_); });
}

void HelperSource::toggleShuffle() {
    if (canShuffle_ == false) return;
    music_.xpc_.setShuffle(!music_.isShuffled.get());
}

void HelperSource::playingChanged(bool isPlaying, bool playbackState, bool sourceIsFrontmost) {
    NowPlayingModel::put(music_.isSourceAppActive, sourceIsFrontmost);
    music_.updatePlayingState(isPlaying, false, playbackState);
}

void HelperSource::reconnected() { music_.resolvePlayerApp(); }

bool HelperSource::aPlayerPlays() const {
    return music_.isPlayerRunningAndPlaying(PlayerApplications::kMusic) ||
           music_.isPlayerRunningAndPlaying(PlayerApplications::kSpotify);
}

bool HelperSource::recentlyPaused() const { return music_.hasRecentlyPaused.get(); }

void HelperSource::applyPosition(const HelperDictionary& reply) {
    auto rate = numberOf(reply, "playbackRate");
    if (!rate || !std::isfinite(*rate)) return;
    if ((music_.isPlaying.get() && *rate == 0) || (!music_.isPlaying.get() && *rate == 1)) return;
    if (*rate != 0) {
        double r = *rate;
        SystemInfo* info = music_.ctx_.platform().systemInfo();
        if (info && info->version().major >= 26) r = std::trunc(r * 10) / 10;
        if (music_.playbackSpeed.get() != r) NowPlayingModel::put(music_.playbackSpeed, r);
    }
    auto duration = numberOf(reply, "duration");
    if (duration && std::isfinite(*duration) && *duration > 0)
        NowPlayingModel::put(music_.trackDuration, *duration);
    else
        NowPlayingModel::put(music_.trackDuration, 0);
    if (auto elapsed = numberOf(reply, "elapsedTime"); elapsed && std::isfinite(*elapsed) && *elapsed >= 0) {
        if (music_.isSeeking.get() && std::fabs(music_.seekerPosition.get() - *elapsed) >= 2.0) return;
        NowPlayingModel::put(music_.seekerPosition, *elapsed);
    }
}

void HelperSource::applyInfo() {
    if (music_.isExcludedSource()) return;
    const HelperDictionary& info = music_.nowPlaying.get();
    const std::string title = textOf(info, "kMRMediaRemoteNowPlayingInfoTitle").value_or("");
    const std::string artist = textOf(info, "kMRMediaRemoteNowPlayingInfoArtist").value_or("");
    const std::string album = textOf(info, "kMRMediaRemoteNowPlayingInfoAlbum").value_or("");
    const auto artworkId = textOf(info, "kMRMediaRemoteNowPlayingInfoArtworkIdentifier");
    const auto defaultRate = numberOf(info, "kMRMediaRemoteNowPlayingInfoDefaultPlaybackRate");
    const auto rate = numberOf(info, "kMRMediaRemoteNowPlayingInfoPlaybackRate");

    // A negative duration is no duration: left as it was.
    if (auto duration = numberOf(info, "kMRMediaRemoteNowPlayingInfoDuration"); duration && *duration >= 0) {
        if (std::isinf(*duration) || *duration == 0 || *duration > 999999999) {
            withSpring(Animation::spring(0.2, 0), [this] { NowPlayingModel::put(music_.isLive, true); });
            NowPlayingModel::put(music_.trackDuration, 0);
        } else {
            withSpring(Animation::spring(0.2, 0), [this] { NowPlayingModel::put(music_.isLive, false); });
            NowPlayingModel::put(music_.trackDuration, *duration);
        }
    }

    auto art = info.find("kMRMediaRemoteNowPlayingInfoArtworkData");
    const Bytes* artBytes = art == info.end() ? nullptr : std::get_if<Bytes>(&art->second);
    if (artBytes && artworkId && music_.currentTrack.get().albumArtData != artBytes->data) music_.processArtwork(artBytes->data, true);

    if (album.empty() && !artworkId) {
        const Track& cur = music_.currentTrack.get();
        if (cur.albumArt) NowPlayingModel::put(music_.isFlipped, !music_.isFlipped.get());
        ++music_.artworkGeneration_;  // an artwork still being decoded no longer belongs here
        withSpring(Animation::spring(0.4, 0), [&] {
            Track t = music_.currentTrack.get();
            t.albumArtData.reset();
            t.colors = Track::placeholderColors();
            t.albumArt.reset();
            NowPlayingModel::put(music_.currentTrack, std::move(t));
        });
    }

    // Shuffle mode 1 is off; 2 (albums) and 3 (songs) are on. It changes without a new track.
    if (const auto mode = numberOf(info, "kMRMediaRemoteNowPlayingInfoShuffleMode"))
        withSpring(Animation::spring(0.2, 0), [&] { NowPlayingModel::put(music_.isShuffled, *mode >= 2); });

    const Track& cur = music_.currentTrack.get();
    if ((title.empty() && artist.empty()) || (title == cur.title && artist == cur.artist && album == cur.album)) return;

    // A new item's link is its own: the previous item's link is not carried over to it.
    auto storeLink = musicStoreLink(info, music_.region_ ? music_.region_() : std::nullopt);
    withSpring(Animation::spring(0.4, 0), [&] {
        Track t = music_.currentTrack.get();
        t.title = title;
        t.artist = artist;
        t.album = album;
        t.url = storeLink.value_or("");
        NowPlayingModel::put(music_.currentTrack, std::move(t));
    });
    const std::string bundle = music_.appBundleId.get().value_or("");
    if (!title.empty() && (bundle == "com.apple.Safari" || bundle == "com.google.Chrome")) lookUpBrowserLink(title, bundle);

    if (defaultRate && music_.playbackSpeed.get() != defaultRate)
        NowPlayingModel::put(music_.playbackSpeed, *defaultRate);

    if (rate && *rate != 0) {
        music_.updatePlayingState(true, true, false);
    } else if (bundle == "com.apple.Music" && music_.wantsLiveActivity() && !music_.outputRecentlyChanged() && music_.liveActivityShows() &&
               music_.defaults_.get(keys::whenSongChanges)) {
        music_.onMain([this] { music_.timers_.songChangeQuickPeek(); });
    }
    withSpring(Animation::spring(0.2, 0),
               [this] { NowPlayingModel::put(music_.hasShuffle, canShuffle_.value_or(true)); });
    const bool podcast = textOf(info, "kMRMediaRemoteNowPlayingInfoMediaType") == std::optional<std::string>("MRMediaRemoteMediaTypePodcast");
    withSpring(Animation::spring(0.2, 0), [&] { NowPlayingModel::put(music_.isPodcast, podcast); });
}

void HelperSource::lookUpBrowserLink(const std::string& title, const std::string& bundleId) {
    const Browser browser = bundleId == "com.apple.Safari" ? Browser::safari : Browser::chrome;
    const std::string script = browserScript(browser, TabScript::lookup, title);
    music_.onBackground([this, script, title] {
        std::string link;
        if (auto* runner = music_.ctx_.platform().appleScript()) {
            AppleScriptResult result = runner->run(script);
            if (!result.ok)
                music_.log_.error("Error: %{public}@", result.error);
            else if (!result.text.empty())
                link = videoShareLink(result.text);
        }
        music_.onMain([this, link, title] {
            // The answer belongs to the title it was asked for.
            if (music_.currentTrack.get().title != title) return;
            Track t = music_.currentTrack.get();
            t.url = link;
            NowPlayingModel::put(music_.currentTrack, std::move(t));
        });
    });
}

void HelperSource::updateStoreLink() {
    std::optional<std::string> region = music_.region_ ? music_.region_() : std::nullopt;
    auto link = musicStoreLink(music_.nowPlaying.get(), region);
    if (!link) return;
    Track t = music_.currentTrack.get();
    t.url = *link;
    NowPlayingModel::put(music_.currentTrack, std::move(t));
}

}  // namespace halvyn
