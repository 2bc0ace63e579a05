// The now-playing source: the live activity's timers, the helper's information and position,
// the two player applications, and bad input from all of them.

#include <cmath>
#include <limits>

#include "lockscreen/lock_manager.h"
#include "notch/notch_input.h"
#include "notch/screen_manager.h"
#include "now_playing_fixture.h"
#include "runtime/owned_access.h"

namespace halvyn::nowplaying_testing {
namespace {

using L = Notch::LiveActivity;

// MARK: - Playing state and idle timers

TEST_F(NowPlayingTest, HideIdleDurationOfZeroHidesAtOnceAndPlaybackStateEndsAtOnce) {
    set(keys::hideIdleDuration, 0.0);
    MusicManager& m = music();
    helperPlays("Song");
    helperStops();
    EXPECT_TRUE(m.isHidden.get());
    EXPECT_TRUE(playingShows());  // the idle timer still runs

    sim->simHelper().callback("applicationIsPlayingDidChange", true, false, "Music");
    settle();
    EXPECT_FALSE(m.isHidden.get());
    helperStops(/*playbackState=*/true);
    EXPECT_FALSE(playingShows());
    EXPECT_FALSE(m.isIdlePending());
}

TEST_F(NowPlayingTest, PointerInsideHoldsTheTimersUntilItLeaves) {
    MusicManager& m = music();
    helperPlays("Song");
    ctx->notchInput().pointerEntered();
    helperStops();
    EXPECT_FALSE(m.isIdlePending());
    advance(10);
    EXPECT_TRUE(playingShows());
    ctx->notchInput().pointerExited();
    EXPECT_TRUE(m.isIdlePending());
    advance(3.1);
    EXPECT_FALSE(playingShows());
}

TEST_F(NowPlayingTest, ChatApplicationsAreIgnoredWhileExcluded) {
    MusicManager& m = music();
    helperSwitchesTo("us.zoom.xos");
    ASSERT_EQ(m.appBundleId.get(), std::optional<std::string>("us.zoom.xos"));
    helperPlays("Call");
    EXPECT_FALSE(m.isPlaying.get());
    EXPECT_EQ(m.currentTrack.get().title, "");

    set(keys::excludeInaptSources, false);
    helperPlays("Call");
    EXPECT_TRUE(m.isPlaying.get());
    EXPECT_EQ(m.currentTrack.get().title, "Call");
}

// The source application's turn is in SourceAppComingForwardEndsTheActivityAndLeavingBringsItBack.
TEST_F(NowPlayingTest, DisplayConditionFollowsLockFullscreenAndSourceApp) {
    MusicManager& m = music();
    helperPlays("Song");
    EXPECT_TRUE(m.wantsLiveActivity());
    set(keys::hideWhileInFullscreen, true);
    setAsOwner(ctx->screenManager().isFullscreen, true);
    EXPECT_FALSE(m.wantsLiveActivity());
    setAsOwner(ctx->screenManager().isFullscreen, false);
    setAsOwner(ctx->lock().hasScreensaver, true);
    EXPECT_FALSE(m.wantsLiveActivity());
    setAsOwner(ctx->lock().hasScreensaver, false);
    set(keys::enableNowPlaying, false);
    EXPECT_FALSE(m.wantsLiveActivity());
}

// MARK: - The helper's dictionaries, including bad ones

TEST_F(NowPlayingTest, DurationsMarkLiveItemsAndBadNumbersChangeNothing) {
    MusicManager& m = music();
    const double inf = std::numeric_limits<double>::infinity();
    for (double live : {0.0, inf, 1e9 + 1}) {
        helperPlays("Song", {{"kMRMediaRemoteNowPlayingInfoDuration", 240.0}});
        ASSERT_FALSE(m.isLive.get());
        ASSERT_EQ(m.trackDuration.get(), 240);
        helperPlays("Song", {{"kMRMediaRemoteNowPlayingInfoDuration", live}});
        EXPECT_TRUE(m.isLive.get()) << live;
        EXPECT_EQ(m.trackDuration.get(), 0) << live;
    }
    helperPlays("Song", {{"kMRMediaRemoteNowPlayingInfoDuration", 240.0}});
    for (double bad : {std::nan(""), -5.0}) {
        helperPlays("Song", {{"kMRMediaRemoteNowPlayingInfoDuration", bad}});
        EXPECT_EQ(m.trackDuration.get(), 240);
        EXPECT_FALSE(m.isLive.get());
    }
}

TEST_F(NowPlayingTest, MistypedEntriesCountAsAbsent) {
    MusicManager& m = music();
    auto& h = sim->simHelper();
    h.isPlaying = true;
    h.info = {{"kMRMediaRemoteNowPlayingInfoTitle", 42.0},
              {"kMRMediaRemoteNowPlayingInfoArtist", true},
              {"kMRMediaRemoteNowPlayingInfoDuration", std::string("300")},
              {"kMRMediaRemoteNowPlayingInfoPlaybackRate", std::string("1")},
              {"kMRMediaRemoteNowPlayingInfoArtworkData", std::string("not bytes")}};
    h.callback("nowPlayingDidChange", false, false, "");
    settle();
    EXPECT_TRUE(m.currentTrack.get().isEmpty());
    EXPECT_EQ(m.trackDuration.get(), 0);
    EXPECT_FALSE(m.isPlaying.get());
    // A reply of the wrong shape altogether answers nothing.
    h.isPlayingReplyOverride = HelperReply(std::string("yes"));
    h.callback("nowPlayingDidChange", false, false, "");
    settle();
    EXPECT_FALSE(m.isPlaying.get());
}

TEST_F(NowPlayingTest, ArtworkThatIsNotAnImageKeepsThePlaceholderAndAHugeTitleIsKept) {
    MusicManager& m = music();
    const std::string huge(64 * 1024, 'x');
    helperPlays(huge, {{"kMRMediaRemoteNowPlayingInfoArtworkIdentifier", std::string("a1")},
                       {"kMRMediaRemoteNowPlayingInfoArtworkData", Bytes{"GIF-ish but not an image"}}});
    EXPECT_EQ(m.currentTrack.get().title.size(), huge.size());
    EXPECT_FALSE(m.currentTrack.get().albumArt);
    EXPECT_EQ(m.currentTrack.get().colors, Track::placeholderColors());
    EXPECT_TRUE(logs.contains("Artwork is not an image (24 bytes)"));
}

TEST_F(NowPlayingTest, PositionRepliesFollowRateSeekingAndVersionRules) {
    MusicManager& m = music();
    helperPlays("Song");
    auto& h = sim->simHelper();
    auto reply = [&](HelperDictionary d) {
        h.position = std::move(d);
        m.positionUpdate();
        settle();
    };
    reply({{"playbackRate", 1.25}, {"duration", 200.0}, {"elapsedTime", 10.0}});
    EXPECT_EQ(m.seekerPosition.get(), 10);
    EXPECT_EQ(m.playbackSpeed.get(), std::optional<double>(1.25));
    reply({{"playbackRate", 0.0}, {"elapsedTime", 50.0}});  // contradicts "playing"
    EXPECT_EQ(m.seekerPosition.get(), 10);
    reply({{"duration", 100.0}, {"elapsedTime", 50.0}});  // no rate: dropped whole
    EXPECT_EQ(m.trackDuration.get(), 200);
    reply({{"playbackRate", std::nan("")}, {"elapsedTime", 50.0}});
    EXPECT_EQ(m.seekerPosition.get(), 10);

    m.moveSeeker(100);
    m.seek();
    reply({{"playbackRate", 1.0}, {"duration", 200.0}, {"elapsedTime", 98.1}});
    EXPECT_EQ(m.seekerPosition.get(), 98.1);
    reply({{"playbackRate", 1.0}, {"duration", 200.0}, {"elapsedTime", 99.0}});
    EXPECT_EQ(m.seekerPosition.get(), 99.0);
    reply({{"playbackRate", 1.0}, {"duration", -3.0}, {"elapsedTime", 101.0}});  // 2.0 away while seeking
    EXPECT_EQ(m.seekerPosition.get(), 99.0);
    EXPECT_EQ(m.trackDuration.get(), 0);
    reply({{"playbackRate", 1.0}, {"elapsedTime", -4.0}});
    EXPECT_EQ(m.seekerPosition.get(), 99.0);
    advance(2.0);  // the seek is over: any position is taken
    reply({{"playbackRate", 1.0}, {"elapsedTime", 150.0}});
    EXPECT_EQ(m.seekerPosition.get(), 150.0);

    sim->simSystemInfo().setVersion("26.0");
    reply({{"playbackRate", 1.29}, {"elapsedTime", 100.0}});
    EXPECT_EQ(m.playbackSpeed.get(), std::optional<double>(1.2));
}

// MARK: - The player applications

class PlayerTest : public NowPlayingTest {
protected:
    void SetUp() override { set(keys::automaticMusicApp, false); }
    SimPlayer& spotify() { return sim->simPlayers().spotify; }
    SimPlayer& musicApp() { return sim->simPlayers().music; }
    // Music tells of a change of state; the program reads it.
    void musicSays(const char* state = "Playing") {
        sim->simPlayers().notify("music", state);
        settle();
    }
    void spotifyPlays(double durationMs, const char* url = "spotify:track:abc") {
        spotify().state = Value(Value::Object{
            {"running", true}, {"state", "playing"}, {"position", 40.0}, {"shuffling", false},
            {"repeating", false}, {"shufflingEnabled", true},
            {"track", Value(Value::Object{{"name", "Ep"}, {"artist", "Host"}, {"album", "Show"},
                                          {"durationMs", durationMs}, {"spotifyUrl", url}})}});
        sim->simPlayers().notify("spotify", "Playing");
        settle();
    }
};

// The podcast's rewind and skip by seconds are played in nowplaying_spotify_podcast.
TEST_F(PlayerTest, SpotifyLongItemsArePodcastsWithRewindAndSkipBySeconds) {
    set(keys::musicApp, MusicApp::spotify);
    MusicManager& m = music();
    spotifyPlays(1800 * 1000.0 + 999);  // whole seconds: 1800
    EXPECT_EQ(m.trackDuration.get(), 1800);
    EXPECT_FALSE(m.isPodcast.get());
    EXPECT_EQ(m.currentTrack.get().url, "https://open.spotify.com/track/abc");
    m.moveSeeker(40);
    m.previous();
    settle();
    EXPECT_EQ(scripts().back(), "previousTrack []");
    spotifyPlays(1801 * 1000.0, "abc");  // no colon: the whole text is the identifier
    EXPECT_TRUE(m.isPodcast.get());
    EXPECT_EQ(m.currentTrack.get().url, "https://open.spotify.com/track/abc");

    spotifyPlays(1000, "spotify:track:");
    EXPECT_EQ(m.currentTrack.get().url, "");
    spotifyPlays(-5, "spotify:track:x y");  // a negative length and a broken identifier
    EXPECT_EQ(m.currentTrack.get().url, "");
    EXPECT_EQ(m.trackDuration.get(), 1);
}

// A "Loading…" item skipped is played in nowplaying_music_artwork_retry.
TEST_F(PlayerTest, MusicSkipsLoadingNamesAndUnknownCodesAndSurvivesQuitting) {
    set(keys::musicApp, MusicApp::music);
    MusicManager& m = music();
    Value track(Value::Object{{"name", "Real"}, {"artist", "A"}, {"album", "B"}, {"duration", 200.0}});
    musicApp().state =
        Value(Value::Object{{"running", true}, {"state", "playing"}, {"shuffle", true}, {"repeat", "all"}, {"track", track}});
    musicApp().rawStateCode = "kXYZ";  // not a player state: no value, isPlaying kept
    musicSays();
    EXPECT_EQ(m.currentTrack.get().title, "Real");
    EXPECT_TRUE(m.isShuffled.get());
    EXPECT_TRUE(m.isRepeating.get());
    EXPECT_FALSE(m.isPlaying.get());

    musicApp().rawStateCode.reset();
    track.set("name", Value("Next"));
    musicApp().state.set("track", track);
    musicApp().quitAfterReads = 2;  // quits in the middle of the read
    sim->simPlayers().notify("music", "Playing");
    advance(2);
    EXPECT_EQ(m.currentTrack.get().title, "Real");
    EXPECT_FALSE(musicApp().isRunning());
    musicSays();
    EXPECT_TRUE(m.currentTrack.get().isEmpty());  // gone on the next notification: reset
}

TEST_F(PlayerTest, MusicPauseOfTheSameItemStillStopsPlaying) {
    set(keys::musicApp, MusicApp::music);
    MusicManager& m = music();
    musicApp().state = Value(Value::Object{
        {"running", true}, {"state", "playing"},
        {"track", Value(Value::Object{{"name", "T"}, {"artist", "A"}, {"album", "B"}, {"duration", 200.0}})}});
    musicSays();
    ASSERT_TRUE(m.isPlaying.get());
    musicApp().state.set("state", Value("paused"));
    musicSays("Paused");
    EXPECT_FALSE(m.isPlaying.get());
    EXPECT_TRUE(m.isIdlePending());
}

// Artwork that arrives within the retries is played in nowplaying_music_artwork_retry.
TEST_F(PlayerTest, MusicArtworkIsTriedFiveMoreTimesThenCleared) {
    set(keys::musicApp, MusicApp::music);
    MusicManager& m = music();
    Value track(Value::Object{{"name", "T"}, {"artist", "A"}, {"album", "B"}, {"artwork", hexText(pngBytes(400, 200))}});
    musicApp().state = Value(Value::Object{{"running", true}, {"state", "playing"}, {"track", track}});
    musicSays();
    ASSERT_TRUE(m.currentTrack.get().albumArt);
    EXPECT_EQ(m.currentTrack.get().albumArt->height, 84);

    track.set("album", Value("Other"));
    track.set("artwork", Value());
    musicApp().state.set("track", track);
    const bool flipped = m.isFlipped.get();
    musicSays();
    advance(0.99);
    EXPECT_TRUE(m.currentTrack.get().albumArt);
    advance(0.02);  // the last of the five retries failed
    EXPECT_FALSE(m.currentTrack.get().albumArt);
    EXPECT_NE(m.isFlipped.get(), flipped);
}

}  // namespace
}  // namespace halvyn::nowplaying_testing
