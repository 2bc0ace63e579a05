// The helper's view of the desktop's players: metadata read defensively, the session a person
// expects, the replies' shapes and which callbacks each change calls for.

#include <gtest/gtest.h>

#include "nowplaying/artwork_signature.h"
#include "nowplaying/mpris_sessions.h"

namespace halvyn {
namespace {

Value obj(std::initializer_list<std::pair<const char*, Value>> entries) {
    Value v = Value::object();
    for (auto& [k, e] : entries) v.set(k, e);
    return v;
}

Value track(const char* id, const char* title, double lengthUs = 180e6, const char* art = "") {
    Value artists = Value::array();
    artists.push(Value("Ann"));
    artists.push(Value(3));  // not a name: skipped
    artists.push(Value("Bob"));
    return obj({{"mpris:trackid", Value(id)}, {"xesam:title", Value(title)}, {"xesam:artist", artists},
                {"xesam:album", Value("Album")}, {"mpris:length", Value(lengthUs)}, {"mpris:artUrl", Value(art)}});
}

double number(const HelperDictionary& d, const std::string& key) {
    auto it = d.find(key);
    return it != d.end() && std::holds_alternative<double>(it->second) ? std::get<double>(it->second) : -1;
}

class Sessions : public ::testing::Test {
protected:
    void player(const std::string& bus, const std::string& name, const char* status, const char* title = "T") {
        s.add(bus, "org.mpris.MediaPlayer2." + name);
        s.apply(bus, obj({{"DesktopEntry", Value(name)}, {"Identity", Value(name + " Player")}}), false, t);
        s.apply(bus, obj({{"PlaybackStatus", Value(status)}, {"Metadata", track("/t/1", title)}, {"CanControl", Value(true)},
                          {"CanGoNext", Value(true)}, {"CanGoPrevious", Value(false)}, {"CanSeek", Value(true)}}),
                true, t);
    }
    void status(const std::string& bus, const char* st) { s.apply(bus, obj({{"PlaybackStatus", Value(st)}}), true, t); }
    std::string chosen() const { return s.current() ? s.current()->busName : "none"; }

    MprisSessions s;
    double t = 100;
};

TEST(MprisMetadata, WrongTypesCountAsAbsentAndLengthsAreChecked) {
    const MprisTrack good = readMetadata(track("/t/1", "Song", 2.5e6));
    EXPECT_EQ(good.title, "Song");
    EXPECT_EQ(good.artist, "Ann, Bob");
    EXPECT_EQ(good.album, "Album");
    EXPECT_DOUBLE_EQ(*good.duration, 2.5);

    const MprisTrack bad = readMetadata(obj({{"xesam:title", Value(7)}, {"xesam:artist", Value("Solo")},
                                             {"xesam:album", Value::array()}, {"mpris:length", Value("180")},
                                             {"mpris:artUrl", Value(true)}}));
    EXPECT_EQ(bad.title, "");
    EXPECT_EQ(bad.artist, "Solo");  // one text instead of a list is still an artist
    EXPECT_EQ(bad.album, "");
    EXPECT_FALSE(bad.duration);
    EXPECT_EQ(bad.artUrl, "");
    EXPECT_FALSE(readMetadata(obj({{"mpris:length", Value(-5.0)}})).duration);
    EXPECT_FALSE(readMetadata(obj({{"mpris:length", Value(0.0)}})).duration);
    EXPECT_EQ(readMetadata(Value("not a map")), MprisTrack{});
}

TEST(MprisNames, OnlyPlayersOfTheirOwnCount) {
    EXPECT_TRUE(MprisSessions::isPlayerName("org.mpris.MediaPlayer2.mpv"));
    EXPECT_FALSE(MprisSessions::isPlayerName("org.mpris.MediaPlayer2.playerctld"));  // mirrors the others
    EXPECT_FALSE(MprisSessions::isPlayerName("org.mpris.MediaPlayer2."));
    EXPECT_FALSE(MprisSessions::isPlayerName("org.halvyn.Helper"));
    MprisPlayer p;
    p.name = "org.mpris.MediaPlayer2.vlc.instance4242";
    EXPECT_EQ(p.bundle(), "vlc");
    EXPECT_EQ(p.applicationName(), "vlc");
    p.desktopEntry = "org.videolan.VLC";
    EXPECT_EQ(p.bundle(), "org.videolan.VLC");
    p.identity = "VLC media player";
    EXPECT_EQ(p.applicationName(), "VLC media player");
    p.processName = "vlc";  // what the desktop names the frontmost application by
    EXPECT_EQ(p.applicationName(), "vlc");
}

TEST_F(Sessions, TheLatestToStartPlayingWinsThenTheLastThatPlayed) {
    s.add(":1.9", "org.mpris.MediaPlayer2.silent");  // never answered: never chosen
    EXPECT_EQ(chosen(), "none");
    player(":1.1", "first", "Paused");
    player(":1.2", "second", "Paused");
    EXPECT_EQ(chosen(), ":1.2");  // nothing played yet: the one that appeared last
    status(":1.1", "Playing");
    EXPECT_EQ(chosen(), ":1.1");
    status(":1.2", "Playing");
    EXPECT_EQ(chosen(), ":1.2");
    status(":1.2", "Paused");
    EXPECT_EQ(chosen(), ":1.1");  // the one still playing
    status(":1.1", "Paused");
    EXPECT_EQ(chosen(), ":1.1");  // none plays: the last one that played
    player(":1.3", "third", "Paused");
    EXPECT_EQ(chosen(), ":1.1");  // appearing paused does not take over from one that played
    s.remove(":1.1");
    EXPECT_EQ(chosen(), ":1.2");
    EXPECT_EQ(s.bundle(), "second");
    s.remove(":1.2");
    s.remove(":1.3");
    EXPECT_EQ(s.bundle(), std::nullopt);
    EXPECT_TRUE(s.nowPlayingInfo().empty());
    EXPECT_TRUE(s.position(t).empty());
}

TEST_F(Sessions, ChangesCallForTheRightCallbacks) {
    EXPECT_FALSE(s.takeChanges().any());
    player(":1.1", "mpv", "Playing", "One");
    SessionChanges c = s.takeChanges();
    EXPECT_TRUE(c.application && c.isPlaying && c.nowPlaying);
    EXPECT_FALSE(s.takeChanges().any());  // asked again: nothing new

    s.apply(":1.1", obj({{"Metadata", track("/t/2", "Two")}}), true, t);
    c = s.takeChanges();
    EXPECT_TRUE(c.nowPlaying);
    EXPECT_FALSE(c.application || c.isPlaying);

    s.apply(":1.1", obj({{"CanGoNext", Value(false)}}), true, t);  // capabilities alone are asked for
    EXPECT_FALSE(s.takeChanges().any());

    status(":1.1", "Paused");
    c = s.takeChanges();
    EXPECT_TRUE(c.isPlaying && c.nowPlaying);  // the rate in the information drops to 0
    EXPECT_FALSE(c.application);

    s.setPosition(":1.1", 42, t, false);  // a position read: nothing to announce
    EXPECT_FALSE(s.takeChanges().any());
    s.setPosition(":1.1", 10, t, true);  // a jump the player announced
    EXPECT_TRUE(s.takeChanges().nowPlaying);

    player(":1.2", "other", "Paused");  // a second player appearing changes nothing shown
    EXPECT_FALSE(s.takeChanges().any());
    s.setPosition(":1.2", 5, t, true);  // nor does its seeking
    EXPECT_FALSE(s.takeChanges().any());

    status(":1.1", "Playing");
    s.takeChanges();
    s.remove(":1.1");  // the playing player leaves: the other one, paused, takes the session
    c = s.takeChanges();
    EXPECT_TRUE(c.application && c.isPlaying && c.nowPlaying);
    s.remove(":1.2");
    c = s.takeChanges();
    EXPECT_TRUE(c.application && c.nowPlaying);
    EXPECT_FALSE(c.isPlaying);  // it was not playing
}

TEST_F(Sessions, PositionRunsWithTheRateAndStopsAtTheEnd) {
    player(":1.1", "mpv", "Playing");
    s.apply(":1.1", obj({{"Rate", Value(2.0)}, {"Position", Value(10e6)}}), true, t);
    HelperDictionary p = s.position(t + 3);
    EXPECT_DOUBLE_EQ(number(p, "elapsedTime"), 16);
    EXPECT_DOUBLE_EQ(number(p, "playbackRate"), 2);
    EXPECT_DOUBLE_EQ(number(p, "duration"), 180);
    EXPECT_DOUBLE_EQ(number(s.position(t + 1000), "elapsedTime"), 180);

    t += 3;
    status(":1.1", "Paused");  // frozen where it was
    EXPECT_DOUBLE_EQ(number(s.position(t + 50), "elapsedTime"), 16);
    EXPECT_DOUBLE_EQ(number(s.position(t + 50), "playbackRate"), 0);

    s.apply(":1.1", obj({{"Rate", Value(0.0)}, {"Position", Value("soon")}}), true, t);  // refused
    EXPECT_DOUBLE_EQ(s.current()->rate, 2);
    s.apply(":1.1", obj({{"Metadata", track("/t/9", "Next")}}), true, t);
    EXPECT_DOUBLE_EQ(number(s.position(t), "elapsedTime"), 0);  // a new track starts at 0
}

TEST_F(Sessions, InformationCarriesArtworkOnlyForTheTrackItWasReadFor) {
    player(":1.1", "mpv", "Playing");
    s.apply(":1.1", obj({{"Metadata", track("/t/1", "One", 60e6, "file:///a.png")}}), true, t);
    HelperDictionary info = s.nowPlayingInfo();
    EXPECT_EQ(info.count("kMRMediaRemoteNowPlayingInfoArtworkData"), 0u);
    EXPECT_EQ(info.count("kMRMediaRemoteNowPlayingInfoArtworkIdentifier"), 0u);
    s.setArt(":1.1", "file:///a.png", "PNGDATA");
    info = s.nowPlayingInfo();
    EXPECT_EQ(std::get<Bytes>(info["kMRMediaRemoteNowPlayingInfoArtworkData"]).data, "PNGDATA");
    EXPECT_EQ(std::get<std::string>(info["kMRMediaRemoteNowPlayingInfoArtworkIdentifier"]), "file:///a.png");
    EXPECT_EQ(std::get<std::string>(info["kMRMediaRemoteNowPlayingInfoArtist"]), "Ann, Bob");
    EXPECT_DOUBLE_EQ(number(info, "kMRMediaRemoteNowPlayingInfoDuration"), 60);
    EXPECT_DOUBLE_EQ(number(info, "kMRMediaRemoteNowPlayingInfoPlaybackRate"), 1);

    s.apply(":1.1", obj({{"Metadata", track("/t/2", "Two", 60e6, "file:///b.png")}}), true, t);
    s.setArt(":1.1", "file:///a.png", "LATE");  // the read of the old track's artwork came late
    EXPECT_EQ(s.nowPlayingInfo().count("kMRMediaRemoteNowPlayingInfoArtworkData"), 0u);

    // Artwork on the web is named alone once looked at, for the program to fetch; a file is not.
    s.apply(":1.1", obj({{"Metadata", track("/t/3", "Three", 60e6, "HTTPS://example.org/c.png")}}), true, t);
    EXPECT_EQ(s.nowPlayingInfo().count("kMRMediaRemoteNowPlayingInfoArtworkIdentifier"), 0u);
    s.setArt(":1.1", "HTTPS://example.org/c.png", "");
    info = s.nowPlayingInfo();
    EXPECT_EQ(std::get<std::string>(info["kMRMediaRemoteNowPlayingInfoArtworkIdentifier"]), "HTTPS://example.org/c.png");
    EXPECT_EQ(info.count("kMRMediaRemoteNowPlayingInfoArtworkData"), 0u);
    s.apply(":1.1", obj({{"Metadata", track("/t/4", "Four", 60e6, "file:///d.png")}}), true, t);
    s.setArt(":1.1", "file:///d.png", "");  // refused
    EXPECT_EQ(s.nowPlayingInfo().count("kMRMediaRemoteNowPlayingInfoArtworkIdentifier"), 0u);

    s.apply(":1.1", obj({{"Metadata", obj({{"xesam:title", Value("Radio")}})}}), true, t);
    EXPECT_DOUBLE_EQ(number(s.nowPlayingInfo(), "kMRMediaRemoteNowPlayingInfoDuration"), 0);  // a stream
}

TEST_F(Sessions, SupportedCommandsNeedControl) {
    player(":1.1", "mpv", "Playing");
    HelperDictionary c = s.supportedCommands();
    EXPECT_EQ(c["hasNextSkip"], HelperScalar(true));
    EXPECT_EQ(c["hasPreviousSkip"], HelperScalar(false));
    EXPECT_EQ(c["hasPlaybackRate"], HelperScalar(false));  // no rate range published
    s.apply(":1.1", obj({{"MinimumRate", Value(0.5)}, {"MaximumRate", Value(2.0)}}), true, t);
    EXPECT_EQ(s.supportedCommands()["hasPlaybackRate"], HelperScalar(true));
    EXPECT_TRUE(s.apply(":1.1", obj({{"CanControl", Value("yes")}}), true, t));  // wrong type: told, ignored
    EXPECT_EQ(s.supportedCommands()["hasNextSkip"], HelperScalar(true));
    // Shuffle only for a player that publishes it, and its state comes with the information.
    EXPECT_EQ(s.supportedCommands()["hasShuffle"], HelperScalar(false));
    EXPECT_FALSE(s.nowPlayingInfo().contains("kMRMediaRemoteNowPlayingInfoShuffleMode"));
    EXPECT_TRUE(s.apply(":1.1", obj({{"Shuffle", Value(1.0)}}), true, t));  // wrong type: told, ignored
    EXPECT_EQ(s.supportedCommands()["hasShuffle"], HelperScalar(false));
    s.apply(":1.1", obj({{"Shuffle", Value(true)}}), true, t);
    EXPECT_EQ(s.supportedCommands()["hasShuffle"], HelperScalar(true));
    EXPECT_DOUBLE_EQ(number(s.nowPlayingInfo(), "kMRMediaRemoteNowPlayingInfoShuffleMode"), 3);
    s.apply(":1.1", obj({{"CanControl", Value(false)}}), true, t);
    for (auto& [k, v] : s.supportedCommands()) EXPECT_EQ(v, HelperScalar(false)) << k;
}

// Only bytes that start as an image of an artwork format are passed on; only http(s) is the web.
TEST(ArtworkSignature, KnownImageStartsOnly) {
    using namespace std::string_literals;
    for (const std::string& image : {"\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\0\1\0\0\0\1\x8\x6\0\0"s, "\xff\xd8\xff\xe0"s,
                                     "GIF89a\1\0\1\0"s, "RIFF\0\0\0\0WEBPVP8 "s, "BM\0\0\0\0\0\0\0\0\0\0\0\0\x28\0\0\0"s})
        EXPECT_TRUE(looksLikeArtwork(image)) << image;
    for (const std::string& other : {""s, "\x89PNG\r\n\x1a\npassword=hunter2\n"s, "\x89PNG"s, "GIF89a"s, "RIFF\0\0\0\0WAVEfmt "s,
                                     "BM\0\0\0\0\0\0\0\0\0\0\0\0\x29\0\0\0"s, "<html>"s, "\xff\xd8"s, "RIFF"s, "BM"s})
        EXPECT_FALSE(looksLikeArtwork(other)) << other;
    EXPECT_TRUE(isWebArtwork("http://a/b.png") && isWebArtwork("HtTpS://a/b.png"));
    EXPECT_FALSE(isWebArtwork("file:///a.png") || isWebArtwork("https:/a") || isWebArtwork("ftp://a") || isWebArtwork("http"));
}

// A file URL names a path on this machine only; escapes are decoded, but never into a NUL.
TEST(ArtworkSignature, FileUrlsNameLocalPaths) {
    EXPECT_EQ(localArtworkPath("file:///music/a%20b.png"), "/music/a b.png");
    EXPECT_EQ(localArtworkPath("FILE://LocalHost/a.png?size=1#x"), "/a.png");
    EXPECT_EQ(localArtworkPath("file:/a%4.png"), "/a%4.png");
    EXPECT_EQ(localArtworkPath("file:/a%"), "/a%");
    for (const char* other : {"file://server/a.png", "file://localhost", "file:a.png", "file:///a%00.png", "http://x/a.png",
                              "file://localhost.evil/a.png"})
        EXPECT_EQ(localArtworkPath(other), std::nullopt) << other;
}

}  // namespace
}  // namespace halvyn
