#include "nowplaying/player_source.h"

#include <cmath>
#include <initializer_list>
#include <string_view>

#include "nowplaying/dominant_colors.h"
#include "nowplaying/music_manager.h"
#include "nowplaying/share_links.h"
#include "nowplaying/xpc_manager.h"
#include "platform/artwork.h"
#include "platform/http.h"
#include "platform/platform.h"
#include "platform/player_scripting.h"
#include "platform/services.h"

namespace halvyn {

using L = Notch::LiveActivity;

namespace {

constexpr int kArtworkBox = 168;
constexpr int kArtworkRetries = 5;
constexpr double kArtworkRetryDelay = 0.2;

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

Animation toggleSpring(bool turningOn) { return Animation::spring(0.3, turningOn ? 0.2 : 0.25); }

}  // namespace

struct ScriptedPlayerSource::Read {
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

bool ScriptedPlayerSource::isRunningAndPlaying(PlayerScripting* app) {
    if (!app || !app->isRunning()) return false;
    auto state = readText(app, "playerState");
    return state && *state == "kPSP";
}

void ScriptedPlayerSource::refresh() {
    music_.positionUpdate();
    withSpring(Animation::spring(0.2, 0), [this] {
        NowPlayingModel::put(music_.isLive, false);
        NowPlayingModel::put(music_.isPodcast, false);
    });
    const MusicApp app = music_.source();
    PlayerScripting* handle = music_.player(app);
    const unsigned generation = ++readGeneration_;
    const Track current = music_.currentTrack.get();
    music_.onBackground([this, app, handle, generation, current] {
        if (handle && handle->isRunning()) {
            if (app == MusicApp::music)
                readMusic(handle, current, generation);
            else
                readSpotify(handle, current, generation);
            return;
        }
        music_.onMain([this] {
            if (music_.isPlaying.get() && music_.liveActivityShows()) music_.endLiveActivity();
            music_.resetPlayback();
        });
    });
    if (app == MusicApp::music && handle) music_.xpc_.checkSupportedCommands();
}

void ScriptedPlayerSource::readMusic(PlayerScripting* app, Track current, unsigned generation) {
    if (!app->respondsTo("currentTrack")) return;
    Read r;
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
        music_.onMain([this, app] {
            const unsigned artwork = ++music_.artworkGeneration_;
            music_.onBackground([this, app, artwork] { fetchMusicArtwork(app, kArtworkRetries, artwork); });
        });
    }
    music_.onMain([this, r] { apply(r); });
}

void ScriptedPlayerSource::readSpotify(PlayerScripting* app, Track current, unsigned generation) {
    if (!app->respondsTo("currentTrack")) return;
    Read r;
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
    music_.onMain([this, r] { apply(r); });
}

void ScriptedPlayerSource::apply(const Read& r) {
    // A later read (or a source change) supersedes this one.
    if (r.generation != readGeneration_ || r.app != music_.source()) return;
    const bool changed = r.differsFrom(music_.currentTrack.get());
    const bool playing = r.playing.value_or(music_.isPlaying.get());
    if (!changed && r.app == MusicApp::music) {
        // Same item: the play state and the options may still have changed (a pause, say).
        if (r.favorited) NowPlayingModel::put(music_.isLoved, *r.favorited);
        if (r.shuffled) NowPlayingModel::put(music_.isShuffled, *r.shuffled);
        if (r.repeating) NowPlayingModel::put(music_.isRepeating, *r.repeating);
        music_.updatePlayingState(playing, false, false);
        return;
    }
    if (r.duration) NowPlayingModel::put(music_.trackDuration, *r.duration);
    withSpring(Animation::spring(0.4, 0), [&] {
        Track t = music_.currentTrack.get();
        if (r.title) t.title = *r.title;
        if (r.artist) t.artist = *r.artist;
        if (r.album) t.album = *r.album;
        if (r.app == MusicApp::spotify && r.spotifyUrl) t.url = spotifyTrackLink(*r.spotifyUrl);
        NowPlayingModel::put(music_.currentTrack, std::move(t));
    });
    if (r.app == MusicApp::music) {
        if (r.favorited) NowPlayingModel::put(music_.isLoved, *r.favorited);
        if (r.shuffled) NowPlayingModel::put(music_.isShuffled, *r.shuffled);
        if (r.repeating) NowPlayingModel::put(music_.isRepeating, *r.repeating);
        NowPlayingModel::put(music_.hasRewind, false);
        NowPlayingModel::put(music_.hasFastForward, false);
        withSpring(Animation::spring(0.2, 0), [this] {
            NowPlayingModel::put(music_.hasPreviousSkip, true);
            NowPlayingModel::put(music_.hasNextSkip, true);
            NowPlayingModel::put(music_.hasShuffle, true);
        });
    } else {
        if (r.shuffled) NowPlayingModel::put(music_.isShuffled, *r.shuffled);
        if (r.repeating) NowPlayingModel::put(music_.isRepeating, *r.repeating);
        const bool longForm = music_.trackDuration.get() > 1800;
        withSpring(Animation::spring(0.2, 0), [&] {
            NowPlayingModel::put(music_.isPodcast, longForm);
            NowPlayingModel::put(music_.hasRewind, longForm);
            NowPlayingModel::put(music_.hasFastForward, longForm);
        });
        withSpring(Animation::spring(0.2, 0), [&] {
            NowPlayingModel::put(music_.hasPreviousSkip, true);
            NowPlayingModel::put(music_.hasNextSkip, true);
            if (r.shuffleEnabled) NowPlayingModel::put(music_.hasShuffle, *r.shuffleEnabled);
        });
        if (r.artworkUrl && !r.artworkUrl->empty()) {
            if (Http* http = music_.ctx_.platform().http()) {
                HttpRequest req;
                req.url = *r.artworkUrl;
                req.timeout = seconds(15.0);
                req.maxBodyBytes = std::size_t{8} << 20;
                const unsigned artwork = ++music_.artworkGeneration_;
                const Lifetime::Token weak = music_.lifetime_.token();
                http->send(req, [this, weak, artwork](HttpResponse resp) {
                    if (!weak || artwork != music_.artworkGeneration_) return;
                    if (!resp.ok()) {
                        music_.log_.error("Error fetching artwork: %{public}s", resp.error.empty() ? std::to_string(resp.status) : resp.error);
                        return;
                    }
                    if (!music_.currentTrack.get().albumArtData || *music_.currentTrack.get().albumArtData != resp.body)
                        music_.processArtwork(std::move(resp.body), true);
                });
            }
        }
    }
    // Only a new item is a song change: a pause and resume of the same one does not peek.
    music_.updatePlayingState(playing, changed, false);
}

void ScriptedPlayerSource::fetchMusicArtwork(PlayerScripting* app, int attemptsLeft, unsigned generation) {
    std::optional<std::string> bytes;
    if (app->isRunning() && app->respondsTo("currentTrack.artworks.0.data"))
        bytes = app->imageData("currentTrack.artworks.0.data");
    std::optional<ArtworkImage> image;
    if (bytes)
        if (auto* decoder = music_.ctx_.platform().artworkDecoder()) image = decoder->decode(*bytes, kArtworkBox);
    if (image) {
        auto shared = std::make_shared<const ArtworkImage>(std::move(*image));
        music_.onMain([this, generation, shared, bytes = *bytes] {
            if (generation != music_.artworkGeneration_) return;
            if (music_.currentTrack.get().albumArtData == bytes) return;
            NowPlayingModel::put(music_.isFlipped, !music_.isFlipped.get());
            withSpring(Animation::spring(0.4, 0), [&] {
                Track t = music_.currentTrack.get();
                t.albumArt = shared;
                t.albumArtData = bytes;
                NowPlayingModel::put(music_.currentTrack, std::move(t));
            });
            music_.onBackground([this, shared, generation] {
                auto colors = dominantColors(*shared, 3, 10);
                music_.onMain([this, colors, generation] {
                    if (generation != music_.artworkGeneration_) return;
                    Track t = music_.currentTrack.get();
                    t.colors = colors;
                    NowPlayingModel::put(music_.currentTrack, std::move(t));
                });
            });
        });
        return;
    }
    if (attemptsLeft > 0) {
        // The player has no image yet (a streamed item still loading): ask again shortly.
        music_.ctx_.main().postAfter(seconds(kArtworkRetryDelay), music_.weakly([this, app, attemptsLeft, generation] {
                                  if (generation != music_.artworkGeneration_) return;
                                  music_.onBackground([this, app, attemptsLeft, generation] { fetchMusicArtwork(app, attemptsLeft - 1, generation); });
                              }));
        return;
    }
    music_.onMain([this, generation] {
        if (generation == music_.artworkGeneration_) music_.clearArtwork();
    });
}

void ScriptedPlayerSource::toggleLike() {
    if (music_.source() != MusicApp::music) return;
    PlayerScripting* handle = music_.player(MusicApp::music);
    if (!handle) return;
    music_.onBackground([this, handle] {
        if (!handle->isRunning()) return;
        auto favorited = readFlag(handle, "currentTrack.favorited");
        if (!favorited) return;
        handle->set("currentTrack.favorited", Value(!*favorited));
        music_.onMain([this, loved = !*favorited] { NowPlayingModel::put(music_.isLoved, loved); });
    });
}

void ScriptedPlayerSource::toggleShuffle() {
    const MusicApp app = music_.source();
    PlayerScripting* handle = music_.player(app);
    if (!handle) return;
    const char* member = app == MusicApp::music ? "shuffleEnabled" : "shuffling";
    music_.onBackground([this, handle, member] {
        if (!handle->isRunning()) return;
        auto on = readFlag(handle, member);
        if (!on) return;
        handle->set(member, Value(!*on));
        music_.onMain([this, turnOn = !*on] {
            withSpring(toggleSpring(turnOn), [&] { NowPlayingModel::put(music_.isShuffled, turnOn); });
        });
    });
}

void ScriptedPlayerSource::toggleRepeat() {
    const MusicApp app = music_.source();
    PlayerScripting* handle = music_.player(app);
    if (!handle) return;
    music_.onBackground([this, handle, app] {
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
        music_.onMain([this, turnOn = !wasOn] {
            withSpring(toggleSpring(turnOn), [&] { NowPlayingModel::put(music_.isRepeating, turnOn); });
        });
    });
}

void ScriptedPlayerSource::syncControlState(ControlType choice) {
    if (choice != ControlType::shuffle && choice != ControlType::repeating) return;
    const MusicApp app = music_.source();
    PlayerScripting* handle = music_.player(app);
    if (!handle || music_.currentTrack.get().isEmpty()) return;
    music_.onBackground([this, handle, app, choice] {
        if (!handle->isRunning()) return;
        if (choice == ControlType::shuffle) {
            auto on = readFlag(handle, app == MusicApp::music ? "shuffleEnabled" : "shuffling");
            if (on) music_.onMain([this, v = *on] { NowPlayingModel::put(music_.isShuffled, v); });
        } else {
            std::optional<bool> on;
            on = app == MusicApp::music ? readRepeatsAll(handle) : readFlag(handle, "repeating");
            if (on) music_.onMain([this, v = *on] { NowPlayingModel::put(music_.isRepeating, v); });
        }
    });
}

void ScriptedPlayerSource::playPause() {
    PlayerScripting* handle = music_.player(music_.source());
    if (!handle) return;
    music_.onBackground([handle] {
        if (handle->isRunning() && handle->respondsTo("playpause")) handle->command("playpause");
    });
}

void ScriptedPlayerSource::previous() {
    const MusicApp app = music_.source();
    PlayerScripting* handle = music_.player(app);
    if (!handle) return;
    const bool rewind = app == MusicApp::spotify && music_.hasRewind.get();
    // A rewind near the start goes to the start, not before it.
    const double target = std::max(0.0, music_.seekerPosition.get() - 15);
    music_.onBackground([handle, app, rewind, target] {
        if (!handle->isRunning()) return;
        if (rewind) {
            if (handle->respondsTo("playerPosition")) handle->set("playerPosition", Value(target));
        } else {
            const char* command = app == MusicApp::music ? "backTrack" : "previousTrack";
            if (handle->respondsTo(command)) handle->command(command);
        }
    });
}

void ScriptedPlayerSource::next() {
    const MusicApp app = music_.source();
    PlayerScripting* handle = music_.player(app);
    if (!handle) return;
    const bool forward = app == MusicApp::spotify && music_.hasFastForward.get();
    const double target = music_.seekerPosition.get() + 30;
    music_.onBackground([handle, forward, target] {
        if (!handle->isRunning()) return;
        if (forward) {
            if (handle->respondsTo("playerPosition")) handle->set("playerPosition", Value(target));
        } else if (handle->respondsTo("nextTrack")) {
            handle->command("nextTrack");
        }
    });
}

void ScriptedPlayerSource::seek(double position) {
    PlayerScripting* handle = music_.player(music_.source());
    if (handle && handle->isRunning() && handle->respondsTo("playerPosition")) handle->set("playerPosition", Value(position));
}

void ScriptedPlayerSource::readPosition() {
    PlayerScripting* handle = music_.player(music_.source());
    if (!handle) return;
    music_.onBackground([this, handle] {
        if (!handle->isRunning()) return;
        auto position = readNumber(handle, "playerPosition");
        if (!position || *position < 0) return;
        music_.onMain([this, p = *position] {
            if (!music_.isDraggingSlider.get()) NowPlayingModel::put(music_.seekerPosition, p);
        });
    });
}

}  // namespace halvyn
