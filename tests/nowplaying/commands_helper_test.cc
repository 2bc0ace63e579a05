// Media commands, the helper connection (requests, silencing, reconnecting), share links and the
// browser scripts' quoting.

#include "now_playing_fixture.h"
#include "nowplaying/dominant_colors.h"
#include "nowplaying/share_links.h"
#include "runtime/owned_access.h"

namespace halvyn::nowplaying_testing {
namespace {

// MARK: - Commands

TEST_F(NowPlayingTest, TogglesWriteTheOppositeOfWhatThePlayerHas) {
    set(keys::automaticMusicApp, false);
    set(keys::musicApp, MusicApp::music);
    MusicManager& m = music();
    auto& app = sim->simPlayers().music;
    app.state = Value(Value::Object{{"running", true}, {"repeat", "one"}, {"shuffle", false},
                                    {"track", Value(Value::Object{{"name", "T"}, {"favorited", true}})}});
    m.toggleRepeat();
    m.toggleShuffle();
    m.toggleLike();
    settle();
    EXPECT_EQ(scripts(), (std::vector<std::string>{"setSongRepeat [\"kAll\"]", "setShuffleEnabled [true]",
                                                   "setFavorited [false]"}));
    EXPECT_TRUE(m.isRepeating.get());
    EXPECT_TRUE(m.isShuffled.get());
    EXPECT_FALSE(m.isLoved.get());
    m.toggleRepeat();
    settle();
    EXPECT_EQ(scripts().back(), "setSongRepeat [\"kRpO\"]");
    EXPECT_FALSE(m.isRepeating.get());

    // Liking is Music's only; a player that does not answer a member ignores the command.
    set(keys::musicApp, MusicApp::spotify);
    sim->simPlayers().spotify.state = Value(Value::Object{{"running", true}, {"repeating", true}});
    setAsOwner(m.isLoved, true);
    m.toggleLike();
    sim->simPlayers().spotify.missing.insert("shuffling");
    m.toggleShuffle();
    settle();
    EXPECT_EQ(scripts().size(), 4u);
    EXPECT_TRUE(m.isLoved.get());
}

// Finding the tab, opening it and copying the link are played in nowplaying_browser_video.
TEST_F(NowPlayingTest, OpenSourceAppFocusesTheBrowserTabWithAnEscapedTitle) {
    MusicManager& m = music();
    helperSwitchesTo("com.apple.Safari");
    const std::string title = "Evil\" then do shell script \"rm -rf ~\" --\\\nnext";
    sim->simAppleScript().safari = {true, {{"x " + title + " y", "https://www.youtube.com/watch?v=dQw4w9WgXcQ&t=1"}}, {}};
    helperPlays(title);
    EXPECT_EQ(m.currentTrack.get().url, "https://youtu.be/dQw4w9WgXcQ");
    EXPECT_EQ(sim->simAppleScript().lastTitle, title);

    // A failing script leaves no link and is logged; not installed: nothing opens.
    sim->simAppleScript().safari.error = "Not authorized";
    helperPlays("Other");
    EXPECT_EQ(m.currentTrack.get().url, "");
    EXPECT_TRUE(logs.contains("Error: Not authorized"));
    sim->simLauncher().installed.clear();
    m.openSourceApp();
    EXPECT_TRUE(sim->effects().ofKind("openApp").empty());
}

// MARK: - The helper connection

TEST_F(NowPlayingTest, CallbacksAreSilentOnFirstLaunchAndPlayerSourcesOnlyAskIsPlaying) {
    music();
    set(keys::isFirstLaunch, true);
    const auto before = helperRequests().size();
    sim->simHelper().callback("nowPlayingDidChange", false, false, "");
    sim->simHelper().callback("applicationIsPlayingDidChange", true, false, "Music");
    settle();
    EXPECT_EQ(helperRequests().size(), before);

    set(keys::isFirstLaunch, false);
    set(keys::automaticMusicApp, false);
    set(keys::musicApp, MusicApp::spotify);
    sim->simHelper().callback("applicationIsPlayingDidChange", true, false, "Spotify");
    settle();
    EXPECT_EQ(helperRequests().size(), before + 1);
    EXPECT_EQ(helperRequests().back(), "getIsPlaying");
    EXPECT_FALSE(ctx->music().isPlaying.get());
}

TEST_F(NowPlayingTest, EmptyCommandsTurnSkipsOffAndAPlayingSpotifyKeepsTheSource) {
    MusicManager& m = music();
    EXPECT_FALSE(m.hasPreviousSkip.get());  // the helper's start-up reply had no commands
    sim->simHelper().commands = {{"hasPreviousSkip", true}, {"hasNextSkip", std::string("yes")}};
    ctx->xpc().checkSupportedCommands();
    settle();
    EXPECT_TRUE(m.hasPreviousSkip.get());
    EXPECT_FALSE(m.hasNextSkip.get());

    sim->simPlayers().spotify.state = Value(Value::Object{{"running", true}, {"state", "playing"}});
    set(keys::musicApp, MusicApp::spotify);
    sim->simHelper().isPlaying = true;
    ctx->xpc().getIsPlaying();
    settle();
    EXPECT_EQ(ctx->defaults().get(keys::musicApp), MusicApp::spotify);
    sim->simPlayers().spotify.state.set("state", Value("paused"));
    ctx->xpc().getIsPlaying();
    settle();
    EXPECT_EQ(ctx->defaults().get(keys::musicApp), MusicApp::system);
}

// MARK: - Share links and scripts

TEST(ShareLinks, MusicStoreLinkNeedsAllThreeEntriesAndFallsBackToUs) {
    HelperDictionary info{{"kMRMediaRemoteNowPlayingInfoAlbum", std::string("The Best Of")},
                          {"kMRMediaRemoteNowPlayingInfoAlbumiTunesStoreAdamIdentifier", 1440.0},
                          {"kMRMediaRemoteNowPlayingInfoiTunesStoreIdentifier", 99.0}};
    EXPECT_EQ(musicStoreLink(info, std::nullopt), "https://music.apple.com/us/album/the-best-of/1440?i=99");
    EXPECT_EQ(musicStoreLink(info, "DE"), "https://music.apple.com/de/album/the-best-of/1440?i=99");
    EXPECT_EQ(musicStoreLink(info, "../x"), "https://music.apple.com/us/album/the-best-of/1440?i=99");
    info["kMRMediaRemoteNowPlayingInfoiTunesStoreIdentifier"] = 99.5;
    EXPECT_EQ(musicStoreLink(info, "us"), std::nullopt);
    info["kMRMediaRemoteNowPlayingInfoiTunesStoreIdentifier"] = std::string("99");
    EXPECT_EQ(musicStoreLink(info, "us"), std::nullopt);
    EXPECT_EQ(albumSlug("AC/DC Live ü?"), "ac%2Fdc-live-%C3%BC%3F");
}

TEST(ShareLinks, VideoLinksComeOnlyFromTheVideoSite) {
    EXPECT_EQ(videoShareLink("https://www.youtube.com/watch?v=abc_-1"), "https://youtu.be/abc_-1");
    EXPECT_EQ(videoShareLink("https://youtu.be/abc"), "https://youtu.be/abc");
    EXPECT_EQ(videoShareLink("https://youtube.com.evil.example/watch?v=abc"), "");
    EXPECT_EQ(videoShareLink("https://www.youtube.com/watch?v=a%22b"), "");
    EXPECT_EQ(videoShareLink("https://www.youtube.com/feed"), "");
    EXPECT_EQ(videoShareLink("not a url"), "");
}

TEST(ShareLinks, ATitleCannotChangeTheScriptsStructure) {
    const std::string hostile = "a\" then\nreturn do shell script \"id\"\r\t\\\" \xE2\x80\xA8x";
    for (Browser b : {Browser::safari, Browser::chrome}) {
        for (TabScript k : {TabScript::lookup, TabScript::focus}) {
            const std::string plain = browserScript(b, k, "plain");
            const std::string evil = browserScript(b, k, hostile);
            auto lines = [](const std::string& s) { return std::count(s.begin(), s.end(), '\n'); };
            EXPECT_EQ(lines(evil), lines(plain));
            EXPECT_EQ(lines(plain), k == TabScript::lookup ? 14 : 15);
            SimAppleScript runner(nullptr);
            runner.safari.running = runner.chrome.running = true;
            ASSERT_TRUE(runner.run(evil).ok);
            EXPECT_EQ(runner.lastTitle, std::string("a\" then\nreturn do shell script \"id\"\r\t\\\"  x"));
        }
    }
}

TEST(DominantColors, MostCommonFirstAndNearColoursMerged) {
    ArtworkImage img{10, 10, std::vector<std::uint32_t>(100, 0xFFFF0000u)};
    for (int i = 0; i < 30; ++i) img.pixels[i] = 0xFF0000FFu;
    for (int i = 30; i < 40; ++i) img.pixels[i] = 0xFF0000FEu;  // near blue: merged away
    for (int i = 40; i < 45; ++i) img.pixels[i] = 0x000000FFu;  // transparent: ignored
    for (int i = 45; i < 50; ++i) img.pixels[i] = 0xFF00FF00u;
    auto colors = dominantColors(img, 3, 10);
    ASSERT_EQ(colors.size(), 3u);
    EXPECT_EQ(colorText(colors[0]), "#FF0000");
    EXPECT_EQ(colorText(colors[1]), "#0000FF");
    EXPECT_EQ(colorText(colors[2]), "#00FF00");
    EXPECT_TRUE(dominantColors(ArtworkImage{}, 3, 10).empty());
    EXPECT_EQ(fitInBox(1000, 250, 168), (std::pair<int, int>{168, 42}));
    EXPECT_EQ(fitInBox(250, 1000, 168), (std::pair<int, int>{42, 168}));
}

TEST_F(NowPlayingTest, SourceAppComingForwardEndsTheActivityAndLeavingBringsItBack) {
    set(keys::hideWhileSourceIsActive, true);
    MusicManager& m = music();
    helperSwitchesTo("com.apple.Music");
    helperPlays("Song");
    ASSERT_TRUE(playingShows());
    sim->simProcesses().activate({42, std::string("com.apple.Music"), "Music"});
    settle();
    EXPECT_TRUE(m.isSourceAppActive.get());
    EXPECT_FALSE(playingShows());
    EXPECT_FALSE(m.wantsLiveActivity());
    sim->simProcesses().activate({43, std::string("com.apple.Terminal"), "Terminal"});
    settle();
    EXPECT_FALSE(m.isSourceAppActive.get());
    EXPECT_TRUE(playingShows());
}

// How the link is made is ShareLinks' rule; here, that the helper's entries and the user's region reach it.
TEST_F(NowPlayingTest, MusicStoreLinkAndExtraButtonSync) {
    MusicManager& m = music();
    sim->simLocale().regionCode = "DE";
    helperPlays("Song", {{"kMRMediaRemoteNowPlayingInfoAlbumiTunesStoreAdamIdentifier", 17.0},
                         {"kMRMediaRemoteNowPlayingInfoiTunesStoreIdentifier", 4.0}});
    EXPECT_EQ(m.currentTrack.get().url, "https://music.apple.com/de/album/album/17?i=4");
    helperPlays("Another song");  // without store identifiers: no link, not the previous one
    EXPECT_EQ(m.currentTrack.get().url, "");

    set(keys::automaticMusicApp, false);
    set(keys::musicApp, MusicApp::spotify);
    sim->simPlayers().spotify.state = Value(Value::Object{{"running", true}, {"shuffling", true}, {"repeating", true}});
    m.syncControlState(ControlType::shuffle);
    m.syncControlState(ControlType::like);  // reads nothing
    settle();
    EXPECT_TRUE(m.isShuffled.get());
    EXPECT_FALSE(m.isRepeating.get());
    m.syncControlState(ControlType::repeating);
    settle();
    EXPECT_TRUE(m.isRepeating.get());
}

}  // namespace
}  // namespace halvyn::nowplaying_testing
