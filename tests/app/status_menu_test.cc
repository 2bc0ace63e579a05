// The status menu model: which items show for which state, their enabled and checked states and
// the speed's rounding. What picking an item does is in the menu scenarios' traces.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "app/app_state.h"
#include "notch/notch_fixture.h"
#include "nowplaying/music_manager.h"
#include "runtime/owned_access.h"

namespace halvyn::testing {
namespace {

TEST(SpeedText, RoundsDownToOneDecimal) {
    const std::pair<double, const char*> cases[] = {
        {1.0, "1.0"}, {1.25, "1.2"}, {1.99, "1.9"}, {0.3, "0.3"}, {0.7, "0.7"}, {2.0, "2.0"},
        {0.05, "0.0"}, {-0.25, "-0.3"}, {std::numeric_limits<double>::quiet_NaN(), "1.0"},
        {std::numeric_limits<double>::infinity(), "1.0"}};
    for (auto [speed, text] : cases) EXPECT_EQ(speedText(speed), text) << speed;
}

class StatusMenuTest : public NotchTest {
protected:
    StatusMenuTest() {
        defaults().set(keys::isFirstLaunch, false);
        defaults().set(keys::automaticMusicApp, false);
        app().setShell(&sim->simAppShell());
        app().setup();
        time->advance(seconds(0.5));
    }
    AppState& app() { return ctx->appState(); }
    MusicManager& music() { return ctx->music(); }
    static std::vector<std::string> titles(const Menu& menu) {
        std::vector<std::string> out;
        for (auto& m : menu) out.push_back(m.separator ? "-" : m.title);
        return out;
    }
    void running(SimPlayer& player) { player.state = Value(Value::Object{{"running", Value(true)}}); }
};

TEST_F(StatusMenuTest, MediaItemsFollowThePlayerAndItsCapabilities) {
    defaults().set(keys::musicApp, MusicApp::spotify);
    defaults().set(keys::controlChoice, ControlType::shuffle);
    running(sim->simPlayers().spotify);
    setAsOwner(music().isPlaying, true);
    setAsOwner(music().hasFastForward, true);
    setAsOwner(music().hasNextSkip, false);
    setAsOwner(music().hasShuffle, false);
    setAsOwner(music().isShuffled, true);
    Menu menu = app().statusMenu();
    EXPECT_EQ(titles(menu), (std::vector<std::string>{"Pause", "Forward", "Previous", "Shuffle", "Show in Spotify",
                                                      "Source", "Display", "-", "-", "Version 1.0.0", "Settings...",
                                                      "-", "Quit Halvyn"}));
    EXPECT_EQ(menu[1].symbol, "goforward.30");
    EXPECT_FALSE(menu[1].enabled);
    EXPECT_FALSE(menu[3].enabled);
    EXPECT_TRUE(menu[3].checked);
    EXPECT_EQ(menu[4].image, "SpotifyAppIcon18x18");
    defaults().set(keys::musicApp, MusicApp::music);

    // Music not running: no "like" and no "Show in Music"; copy-link only with a link.
    defaults().set(keys::controlChoice, ControlType::like);
    EXPECT_EQ(findItem(app().statusMenu(), "Favorite"), nullptr);
    EXPECT_EQ(findItem(app().statusMenu(), "Show in Music"), nullptr);
    running(sim->simPlayers().music);
    setAsOwner(music().isLoved, false);
    const Menu withLike = app().statusMenu();
    const MenuItem* like = findItem(withLike, "Favorite");
    ASSERT_TRUE(like);
    EXPECT_EQ(like->symbol, "star");
    defaults().set(keys::controlChoice, ControlType::copyLink);
    EXPECT_EQ(findItem(app().statusMenu(), "Copy Link"), nullptr);
    Track t = music().currentTrack.get();
    t.url = "https://music.example/1";
    setAsOwner(music().currentTrack, t);
    EXPECT_NE(findItem(app().statusMenu(), "Copy Link"), nullptr);
    // Automatic player choice: no source submenu.
    defaults().set(keys::automaticMusicApp, true);
    EXPECT_EQ(findItem(app().statusMenu(), "Source"), nullptr);
}

// The speed submenu, the calendar's items, the update item and the traced shape are in the menu
// scenarios' traces.
TEST_F(StatusMenuTest, SystemSourceOffersSpeedOnlyWhenThePlayerHasItAndNeverShuffle) {
    defaults().set(keys::musicApp, MusicApp::system);
    defaults().set(keys::controlChoice, ControlType::shuffle);
    EXPECT_EQ(findItem(app().statusMenu(), "Speed"), nullptr);
    EXPECT_EQ(findItem(app().statusMenu(), "Shuffle"), nullptr);
    setAsOwner(music().hasPlaybackSpeed, true);
    EXPECT_NE(findItem(app().statusMenu(), "Speed"), nullptr);
}

}  // namespace
}  // namespace halvyn::testing
