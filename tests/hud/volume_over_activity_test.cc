// The volume display over a live activity, through the real sources: what the now-playing source
// hears while the display is on its way or up leaves the display be. The swap itself (the activity
// goes at once, the display follows one animation later) is played in
// notch_notification_swap_restore and hud_volume_over_countdown.

#include "app/context_fixture.h"
#include "hud/volume_manager.h"
#include "nowplaying/music_manager.h"

namespace halvyn::context_testing {
namespace {

class VolumeOverActivity : public ContextTest {
protected:
    VolumeOverActivity() {
        // Stored before start-up: the helper's callbacks are heard.
        sim->simPreferences().userSet(keys::isFirstLaunch.name, Value(false));
        startNotch();
    }
    // The player moves to `title`; the program hears of it when the helper says so.
    void playerPlays(const std::string& title) {
        auto& h = sim->simHelper();
        h.isPlaying = true;
        h.info = {{"kMRMediaRemoteNowPlayingInfoTitle", title},
                  {"kMRMediaRemoteNowPlayingInfoArtist", std::string("Artist")},
                  {"kMRMediaRemoteNowPlayingInfoPlaybackRate", 1.0}};
    }
    void helperSays() {
        sim->simHelper().callback("nowPlayingDidChange", false, false, "");
        time->runCurrent();
    }
    // One volume key step down.
    void volumeKey() {
        level -= 0.0625f;
        sim->audio().changeVolume(1, level);
        time->runCurrent();
    }
    // "One" plays; whether its activity is up at 2 s.
    bool oneIsPlayingAt2() {
        playerPlays("One");
        helperSays();
        at(2.0);
        return shows(L::isPlaying);
    }
    bool showsVolume() { return notch().hasNotification.get() && notch().notification.get() == N::didChangeVolume; }
    bool shows(L kind) { return notch().hasLiveActivity.get() && notch().liveActivity.get() == kind; }

    float level = 0.5f;
};

// MARK: - A track change around the volume change (mended: a start of the activity while the
// display was on its way or up dropped it)

class TrackChange : public VolumeOverActivity, public ::testing::WithParamInterface<double> {};

TEST_P(TrackChange, HeardBeforeOrAfterTheVolumeChangeTheDisplayShowsItsFullTime) {
    // The helper's word of a track change comes over the bus and can reach the program after a
    // volume change made 10 ms after the track change. Heard before the volume change, 5 ms
    // after it, during the swap, and while the display is up.
    const double heardAfter = GetParam();
    ASSERT_TRUE(oneIsPlayingAt2());

    playerPlays("Two");  // at 2.000
    ctx->main().postAfter(seconds(heardAfter), [this] { sim->simHelper().callback("nowPlayingDidChange", false, false, ""); });
    at(2.01);
    volumeKey();

    at(2.3099);
    EXPECT_FALSE(notch().hasNotification.get());
    EXPECT_FALSE(notch().hasLiveActivity.get()) << "the activity waits for the display";
    at(2.31);
    EXPECT_TRUE(showsVolume());
    at(3.8099);
    EXPECT_TRUE(showsVolume());
    EXPECT_FALSE(notch().hasLiveActivity.get());
    at(3.81);
    EXPECT_FALSE(notch().hasNotification.get());
    at(4.16);
    EXPECT_TRUE(shows(L::isPlaying)) << "brought back after the close";
    EXPECT_EQ(ctx->music().currentTrack.get().title, "Two");
}

INSTANTIATE_TEST_SUITE_P(HelperDelays, TrackChange, ::testing::Values(0.0, 0.015, 0.2, 1.0));

TEST_F(VolumeOverActivity, TheSourceApplicationLeavingTheFrontWaitsForTheDisplay) {
    defaults().set(keys::hideWhileSourceIsActive, true);
    sim->simHelper().bundle = "com.example.Player";
    sim->simHelper().callback("applicationDidChange", false, false, "");
    ASSERT_TRUE(oneIsPlayingAt2());

    volumeKey();  // at 2.0; the display is due at 2.3
    at(2.1);
    sim->simProcesses().activate({43, std::string("com.example.Editor"), "Editor"});
    at(2.3);
    EXPECT_TRUE(showsVolume());
    EXPECT_FALSE(notch().hasLiveActivity.get());
    at(3.8);
    EXPECT_FALSE(notch().hasNotification.get());
    at(4.15);
    EXPECT_TRUE(shows(L::isPlaying));
}

}  // namespace
}  // namespace halvyn::context_testing
