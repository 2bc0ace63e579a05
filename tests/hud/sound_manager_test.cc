// Alert registration and playing, effect players and their limit per sound.

#include "hud/sound_manager.h"

#include "hud_fixture.h"

namespace halvyn::testing {
namespace {

class SoundTest : public HudTest {
protected:
    SoundManager& sounds() { return app().sounds(); }
};

TEST_F(SoundTest, AlertsRegisterOnceAndPlayByName) {
    // The lock source prepared its alert when it was built: it is not registered again.
    const std::size_t ids = sounds().soundIDs().size();
    const int registered = sim->simSounds().registrations();
    ASSERT_TRUE(sounds().soundIDs().contains("lock"));
    sounds().prepareAlert("lock", "caf");
    EXPECT_EQ(sim->simSounds().registrations(), registered);
    sounds().prepareAlert("missing", "caf");
    sounds().prepareAlert("pad", "caf");  // wrong type: not found
    EXPECT_EQ(sounds().soundIDs().size(), ids);
    sounds().playAlert("missing");
    sounds().playAlert("lock");
    ASSERT_EQ(effects("sound").size(), 1u);
    EXPECT_EQ(effects("sound")[0].fields[0].second.asString(), "lock");
}

TEST_F(SoundTest, AtMostFivePlayersPerSoundTheSixthStopsTheFirst) {
    sim->simSounds().setPlayerDuration(Duration::zero());  // players finish only when told
    for (int i = 0; i < 6; ++i) sounds().playEffect("blips", "m4a");
    EXPECT_EQ(effects("effectSound").size(), 6u);
    EXPECT_EQ(sounds().playerCount("blips"), 5u);
    EXPECT_EQ(sim->simSounds().playing("blips"), 5);
}

TEST_F(SoundTest, FinishedPlayersLeaveTheListOnlyWhenSuccessful) {
    sounds().playEffect("haptic", "caf");
    advance(1.0);
    EXPECT_EQ(sounds().playerCount("haptic"), 0u) << "finished on its own";

    sim->simSounds().setPlayerDuration(Duration::zero());
    sounds().playEffect("pad", "m4a");
    sounds().playEffect("pad", "m4a");
    sim->simSounds().finishOldest("pad", false);
    time->runCurrent();
    EXPECT_EQ(sounds().playerCount("pad"), 2u);
    sim->simSounds().finishOldest("pad", true);
    EXPECT_EQ(sounds().playerCount("pad"), 2u);  // removed on the main queue
    time->runCurrent();
    EXPECT_EQ(sounds().playerCount("pad"), 1u);
}

TEST_F(SoundTest, MissingOrUndecodableFilesPlayNothing) {
    sim->simSounds().setUndecodable({"alt-jingle.m4a"});
    sounds().playEffect("nothing", "m4a");
    EXPECT_TRUE(logs.lines.empty());
    sounds().playEffect("alt-jingle", "m4a");
    EXPECT_TRUE(effects("effectSound").empty());
    ASSERT_EQ(logs.lines.size(), 1u);
    EXPECT_EQ(logs.lines[0].message.rfind("AVAudioPlayer could not be instantiated: ", 0), 0u);
}

}  // namespace
}  // namespace halvyn::testing
