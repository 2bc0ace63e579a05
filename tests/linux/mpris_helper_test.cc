// The companion helper against real players on a private session bus: mpv with its MPRIS plugin
// (checked through playerctl), small misbehaving players, and the now-playing source driven
// through the helper end to end on real time.

#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>

#include <cmath>
#include <cstdint>
#include <fstream>
#include <memory>
#include <optional>
#include <tuple>

#include <sys/stat.h>

#include "app/context.h"
#include "linux/loopback_server.h"
#include "linux/services.h"
#include "nowplaying/music_manager.h"
#include "platform/linux/dbus_helper_connection.h"
#include "platform/linux/qt_http.h"
#include "platform/platform.h"
#include "settings/defaults.h"
#include "settings/keys.h"
#include "settings/memory_preferences.h"
#include "shell/real_time.h"

namespace halvyn {
namespace {

using test::spinUntil;

const char* kTitle = "kMRMediaRemoteNowPlayingInfoTitle";

// A WAV of `seconds` of silence whose INFO chunk names title and artist.
void writeWav(const std::filesystem::path& path, const std::string& title, const std::string& artist, int seconds) {
    auto u32 = [](std::uint32_t v) { return std::string(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [](std::uint16_t v) { return std::string(reinterpret_cast<const char*>(&v), 2); };
    auto chunk = [&](const std::string& id, const std::string& d) { return id + u32(std::uint32_t(d.size())) + d; };
    // A text ends with a NUL and is padded to an even size.
    auto text = [&](const char* id, std::string t) { return chunk(id, t.append(2 - t.size() % 2, '\0')); };
    const std::uint32_t rate = 8000;
    const std::string fmt = chunk("fmt ", u16(1) + u16(1) + u32(rate) + u32(rate * 2) + u16(2) + u16(16));
    const std::string info = chunk("LIST", "INFO" + text("INAM", title) + text("IART", artist));
    const std::string data = chunk("data", std::string(rate * 2 * std::uint32_t(seconds), '\0'));
    std::ofstream(path, std::ios::binary) << chunk("RIFF", "WAVE" + fmt + info + data);
}

// A small real PNG, as a player's artwork is.
std::string pngBytes() {
    QImage image(4, 3, QImage::Format_RGB32);
    image.fill(Qt::red);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes.toStdString();
}

using test::occurrences;
using test::readFile;

struct RecordingClient final : HelperClient {
    void nowPlayingDidChange() override { ++nowPlaying; }
    void applicationDidChange() override { ++application; }
    void applicationIsPlayingDidChange(bool playing, bool stopped, const std::string& name) override {
        ++isPlayingCalls;
        lastPlaying = playing;
        lastStopped = stopped;
        lastName = name;
    }
    void connectionInvalidated() override { ++invalidated; }
    int nowPlaying = 0, application = 0, isPlayingCalls = 0, invalidated = 0;
    bool lastPlaying = false, lastStopped = false;
    std::string lastName;
};

class MprisHelperTest : public test::BusTest {
protected:
    void started() override {
        if (!test::onPath("mpv") || !test::onPath("playerctl") || plugin().empty())
            HALVYN_SKIP_WITHOUT_SERVICE() << "mpv, mpv-mpris and playerctl are needed";
        dir = test::privateFolder("halvyn-mpris");
        writeWav(dir / "one.wav", "Tone One", "Ann", 30);
        writeWav(dir / "two.wav", "Tone Two", "Bob", 30);
        writeWav(dir / "three.wav", "Tone Three", "Cy", 30);
    }
    void TearDown() override {
        for (pid_t& p : players) test::stop(p, SIGKILL);
        test::stop(helper);
        adapter.reset();
        if (!dir.empty()) std::filesystem::remove_all(dir);
    }

    static std::string plugin() {
        for (const char* p : {"/usr/lib/mpv-mpris/mpris.so", "/etc/mpv/scripts/mpris.so"})
            if (std::filesystem::exists(p)) return p;
        return {};
    }
    void startHelper() {
        helper = test::spawnWith({HALVYN_HELPER_BINARY}, bus.env(), helperLog().string());
        ASSERT_TRUE(spinUntil([&] { return bus.hasName("org.halvyn.Helper"); }, 10000)) << readFile(helperLog());
    }
    void connectAdapter() {
        adapter = std::make_unique<DBusHelperConnection>(*connection, "", Logger(&logs, "com.halvyn.app", "XPCManager"), &http);
        ASSERT_TRUE(adapter->connect(client));
        ASSERT_TRUE(spinUntil([&] { return adapter->helperPresent(); }));
    }
    pid_t startMpv(const std::vector<std::string>& files) {
        std::vector<std::string> args = {"mpv", "--no-config", "--load-scripts=no", "--script=" + plugin(), "--ao=null",
                                         "--no-video", "--no-terminal", "--idle=no"};
        for (auto& f : files) args.push_back((dir / f).string());
        return players.emplace_back(test::spawnWith(args, bus.env()));
    }
    pid_t startPython(std::vector<std::string> args) {
        args.insert(args.begin(), {test::PrivateBus::python(), HALVYN_SOURCE_DIR "/tests/linux/mpris_player.py"});
        return players.emplace_back(test::spawnWith(args, bus.env()));
    }

    // The helper's reply, waited for within a bound; nothing when none came.
    std::optional<HelperReply> ask(const std::string& request, std::vector<double> args = {}) {
        auto got = std::make_shared<std::optional<HelperReply>>();
        adapter->send(request, args, [got](const HelperReply& r) { *got = r; });
        spinUntil([&] { return got->has_value(); }, 5000);
        return *got;
    }
    HelperDictionary dictionary(const std::string& request) {
        auto r = ask(request);
        return r && std::holds_alternative<HelperDictionary>(*r) ? std::get<HelperDictionary>(*r) : HelperDictionary{};
    }
    std::string text(const HelperDictionary& d, const char* key) {
        auto it = d.find(key);
        return it != d.end() && std::holds_alternative<std::string>(it->second) ? std::get<std::string>(it->second) : "";
    }
    double number(const HelperDictionary& d, const char* key) {
        auto it = d.find(key);
        return it != d.end() && std::holds_alternative<double>(it->second) ? std::get<double>(it->second) : -1;
    }
    std::string title() { return text(dictionary("getNowPlayingInfo"), kTitle); }
    std::string playerctl(const std::string& args) {
        std::string out = test::output("env DBUS_SESSION_BUS_ADDRESS=" + bus.address() + " playerctl " + args + " 2>/dev/null");
        while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
        return out;
    }
    std::filesystem::path helperLog() const { return dir / "helper.log"; }

    std::filesystem::path dir;
    QtHttp http;
    RecordingClient client;
    std::unique_ptr<DBusHelperConnection> adapter;
    pid_t helper = -1;
    std::vector<pid_t> players;
};

// The helper the program started did not come up in time; one that comes later is read as soon
// as it is there.
TEST_F(MprisHelperTest, AHelperThatComesAfterItWasGivenUpOnIsRead) {
    adapter = std::make_unique<DBusHelperConnection>(*connection, "/bin/true", Logger(&logs, "com.halvyn.app", "XPCManager"));
    ASSERT_TRUE(adapter->connect(client));
    ASSERT_TRUE(spinUntil([&] {
        return logs.contains(
            "halvyn-helper did not come up on the session bus; media playing elsewhere is not shown until it does");
    }, 15000));
    startHelper();
    ASSERT_TRUE(spinUntil([&] { return client.application > 0 && client.nowPlaying > 0; }));
    EXPECT_EQ(client.invalidated, 0);
}

TEST_F(MprisHelperTest, FollowsMpvForwardsCommandsAndHandsOverBetweenPlayers) {
    startHelper();
    connectAdapter();
    EXPECT_EQ(ask("getNowPlayingBundle"), HelperReply{});  // no player yet: none
    EXPECT_EQ(ask("getIsPlaying"), HelperReply(false));

    startMpv({"one.wav", "two.wav"});
    ASSERT_TRUE(spinUntil([&] { return title() == "Tone One"; }, 10000)) << readFile(helperLog());
    EXPECT_GE(client.application, 1);
    EXPECT_TRUE(client.lastPlaying);
    EXPECT_EQ(client.lastName, "mpv");  // its process, as the desktop names the frontmost application
    HelperDictionary info = dictionary("getNowPlayingInfo");
    EXPECT_EQ(text(info, "kMRMediaRemoteNowPlayingInfoArtist"), "Ann");
    EXPECT_NEAR(number(info, "kMRMediaRemoteNowPlayingInfoDuration"), 30, 0.5);
    EXPECT_EQ(number(info, "kMRMediaRemoteNowPlayingInfoPlaybackRate"), 1);
    EXPECT_EQ(ask("getNowPlayingBundle"), HelperReply(std::string("mpv")));
    EXPECT_EQ(ask("getIsPlaying"), HelperReply(true));
    HelperDictionary commands = dictionary("checkSupportedCommands");
    EXPECT_EQ(commands["hasNextSkip"], HelperScalar(true));
    EXPECT_EQ(commands["hasPlaybackRate"], HelperScalar(true));
    ASSERT_TRUE(spinUntil([&] { return number(dictionary("getSeekerPosition"), "elapsedTime") > 0.2; }));

    adapter->send("playPause", {}, {});
    ASSERT_TRUE(spinUntil([&] { return playerctl("-p mpv status") == "Paused"; })) << playerctl("-p mpv status");
    ASSERT_TRUE(spinUntil([&] { return ask("getIsPlaying") == HelperReply(false); }));
    EXPECT_FALSE(client.lastPlaying);
    EXPECT_FALSE(client.lastStopped);  // paused, not stopped: the program keeps the track a while

    const int changes = client.nowPlaying;
    adapter->send("setPlayerPosition", {12.0}, {});
    ASSERT_TRUE(spinUntil([&] {
        const std::string p = playerctl("-p mpv position");
        return !p.empty() && std::abs(std::stod(p) - 12) < 0.5;
    })) << playerctl("-p mpv position");
    ASSERT_TRUE(spinUntil([&] { return client.nowPlaying > changes; }));  // the jump was announced
    EXPECT_NEAR(number(dictionary("getSeekerPosition"), "elapsedTime"), 12, 0.5);
    EXPECT_EQ(number(dictionary("getSeekerPosition"), "playbackRate"), 0);

    for (const auto& [command, track] : {std::pair{"nextTrack", "Tone Two"}, {"previousTrack", "Tone One"}}) {
        adapter->send(command, {}, {});
        ASSERT_TRUE(spinUntil([&] { return playerctl("-p mpv metadata title") == track; })) << command;
        ASSERT_TRUE(spinUntil([&] { return title() == track; })) << command;
    }
    adapter->send("setPlaybackRate", {1.5}, {});
    ASSERT_TRUE(spinUntil([&] {
        return number(dictionary("getNowPlayingInfo"), "kMRMediaRemoteNowPlayingInfoDefaultPlaybackRate") == 1.5;
    }));
    // Shuffle reaches the player, and its state comes back with the information.
    EXPECT_EQ(commands["hasShuffle"], HelperScalar(true));
    // (This player's plugin reports its shuffle as on whatever it was asked, so only turning it on
    // can be seen here.)
    adapter->send("setShuffle", {1.0}, {});
    ASSERT_TRUE(spinUntil([&] { return playerctl("-p mpv shuffle") == "On"; })) << playerctl("-p mpv shuffle");
    ASSERT_TRUE(spinUntil([&] {
        return number(dictionary("getNowPlayingInfo"), "kMRMediaRemoteNowPlayingInfoShuffleMode") == 3;
    }));

    // A second player that starts playing takes over; the first, paused, is left alone.
    startMpv({"three.wav"});
    ASSERT_TRUE(spinUntil([&] { return title() == "Tone Three"; }, 10000));
    EXPECT_EQ(ask("getIsPlaying"), HelperReply(true));
    EXPECT_EQ(playerctl("-p mpv status"), "Paused");
    adapter->send("playPause", {}, {});  // goes to the session's player, the second one
    ASSERT_TRUE(spinUntil([&] { return ask("getIsPlaying") == HelperReply(false); }));
    EXPECT_EQ(title(), "Tone Three");  // none plays: the last one that played

    // Both gone: nothing plays, nothing is shown.
    test::stop(players[1], SIGKILL);
    ASSERT_TRUE(spinUntil([&] { return title() == "Tone One"; }));
    const int apps = client.application;
    test::stop(players[0], SIGKILL);
    ASSERT_TRUE(spinUntil([&] { return ask("getNowPlayingBundle") == HelperReply{}; }));
    EXPECT_TRUE(dictionary("getNowPlayingInfo").empty());
    EXPECT_GT(client.application, apps);
    EXPECT_TRUE(logs.lines.empty());
}

// The desktop's now-playing source on real time, through the helper, which it starts itself.
class HelperPlatform final : public Platform {
public:
    explicit HelperPlatform(HelperConnection* helper) : helper_(helper) {}
    Preferences* preferences() override { return &prefs_; }
    HelperConnection* helper() override { return helper_; }

private:
    MemoryPreferences prefs_;
    HelperConnection* helper_;
};

TEST_F(MprisHelperTest, TheNowPlayingSourceFollowsMpvAndSurvivesTheHelperRestarting) {
    // The program starts the helper it does not find; a helper inherits the program's bus.
    test::ScopedEnv variable("DBUS_SESSION_BUS_ADDRESS", bus.address());
    startMpv({"one.wav", "two.wav"});
    ASSERT_TRUE(spinUntil([&] { return bus.hasName("org.mpris.MediaPlayer2.mpv"); }, 10000));

    auto conn = std::make_unique<DBusHelperConnection>(*connection, HALVYN_HELPER_BINARY,
                                                       Logger(&logs, "com.halvyn.app", "XPCManager"));
    conn->holdStarts();  // as the program does until its first frame
    CaptureLogSink appLogs;
    auto ctx = std::make_unique<Context>(std::make_unique<RealTime>(1), std::make_unique<HelperPlatform>(conn.get()), &appLogs);
    ctx->defaults().set(keys::isFirstLaunch, false);
    MusicManager& music = ctx->music();
    ASSERT_TRUE(spinUntil([&] { return conn->startWaiting(); }));
    EXPECT_FALSE(bus.hasName("org.halvyn.Helper")) << "started while held";
    conn->allowStarts();
    ASSERT_TRUE(spinUntil([&] { return music.currentTrack.get().title == "Tone One"; }, 15000));
    EXPECT_EQ(music.currentTrack.get().artist, "Ann");
    EXPECT_TRUE(music.isPlaying.get());
    EXPECT_EQ(music.appBundleId.get(), std::optional<std::string>("mpv"));
    EXPECT_NEAR(music.trackDuration.get(), 30, 0.5);

    music.next();
    ASSERT_TRUE(spinUntil([&] { return music.currentTrack.get().title == "Tone Two"; }));
    music.playPause();
    ASSERT_TRUE(spinUntil([&] { return !music.isPlaying.get(); }));
    EXPECT_EQ(playerctl("-p mpv status"), "Paused");

    // The helper dies: the program starts another and reads the session again.
    auto helperPid = [&]() -> pid_t {
        const std::string pid = bus.send("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                         "org.freedesktop.DBus.GetConnectionUnixProcessID", "string:org.halvyn.Helper");
        const auto at = pid.find("uint32 ");
        return at == std::string::npos ? -1 : static_cast<pid_t>(std::stol(pid.substr(at + 7)));
    };
    const pid_t started = helperPid();
    ASSERT_GT(started, 0);
    ::kill(started, SIGKILL);
    ASSERT_TRUE(spinUntil([&] { return !conn->helperPresent(); }));
    ASSERT_TRUE(spinUntil([&] { return conn->helperPresent(); }, 10000));
    music.playPause();
    ASSERT_TRUE(spinUntil([&] { return music.isPlaying.get(); }));
    EXPECT_EQ(playerctl("-p mpv status"), "Playing");
    EXPECT_EQ(music.currentTrack.get().title, "Tone Two");  // the new helper knew the player before it answered

    // The player quits: the now-playing state resets.
    test::stop(players[0], SIGKILL);
    ASSERT_TRUE(spinUntil([&] {
        return music.currentTrack.get().title.empty() && !music.isPlaying.get() && music.nowPlaying.get().empty();
    }));
    EXPECT_EQ(music.trackDuration.get(), 0);

    helper = helperPid();
    ctx.reset();
    conn.reset();
    // The started helper is not our child: it is ended here and leaves on its own with us.
    if (helper > 0) ::kill(helper, SIGTERM);
    helper = -1;
}

TEST_F(MprisHelperTest, BadPlayersNeitherHoldTheHelperUpNorCorruptItsState) {
    startHelper();
    connectAdapter();
    // A player that never answers: the helper keeps answering at once meanwhile.
    startPython({"hung", "hang"});
    ASSERT_TRUE(spinUntil([&] { return bus.hasName("org.mpris.MediaPlayer2.hung"); }));
    EXPECT_EQ(ask("getIsPlaying"), HelperReply(false));
    EXPECT_EQ(ask("getNowPlayingBundle"), HelperReply{});  // never chosen

    // Wrong types: what is well-typed is taken, the rest ignored, and said once.
    startPython({"wrong", "wrong-types"});
    ASSERT_TRUE(spinUntil([&] { return ask("getNowPlayingBundle") == HelperReply(std::string("wrong")); }));
    HelperDictionary info = dictionary("getNowPlayingInfo");
    EXPECT_EQ(text(info, "kMRMediaRemoteNowPlayingInfoAlbum"), "Kept Album 0");
    EXPECT_EQ(info.count(kTitle), 0u);
    EXPECT_EQ(number(info, "kMRMediaRemoteNowPlayingInfoDefaultPlaybackRate"), 1);
    EXPECT_EQ(dictionary("checkSupportedCommands")["hasNextSkip"], HelperScalar(false));
    for (int i = 1; i <= 3; ++i) {
        adapter->send("nextTrack", {}, {});
        ASSERT_TRUE(spinUntil([&] {
            return text(dictionary("getNowPlayingInfo"), "kMRMediaRemoteNowPlayingInfoAlbum") ==
                   "Kept Album " + std::to_string(i);
        }));
    }
    adapter->send("setPlayerPosition", {5}, {});  // it cannot seek: nothing is sent
    EXPECT_EQ(occurrences(readFile(helperLog()), "wrong type"), 1) << readFile(helperLog());

    // Artwork a player names may be any file: only a regular file outside the kernel's trees,
    // within the limit and starting as an image, passes. A FIFO is refused without waiting;
    // everything is said once. Artwork on the web is fetched by the program, within its limit.
    ASSERT_EQ(::mkfifo((dir / "art.fifo").c_str(), 0600), 0);
    std::ofstream(dir / "big.png").flush();
    std::filesystem::resize_file(dir / "big.png", std::uintmax_t{200} << 20);  // sparse
    const std::string png = pngBytes();
    std::ofstream(dir / "small.png", std::ios::binary) << png;
    std::ofstream(dir / "notes.txt") << "password=hunter2\n";
    std::ofstream(dir / "fake.png") << "\x89PNG\r\n\x1a\npassword=hunter2\n";
    std::filesystem::create_symlink(dir / "notes.txt", dir / "link.png");
    std::filesystem::create_symlink("/proc/self/environ", dir / "env.png");
    test::LoopbackServer server;
    server.handler = [&](const test::LoopbackServer::Request& r) {
        if (r.path == "/small.png") return test::LoopbackServer::Reply{200, QByteArray::fromStdString(png)};
        if (r.path == "/notes.txt") return test::LoopbackServer::Reply{200, "password=hunter2\n"};
        if (r.path == "/big.png")
            return test::LoopbackServer::Reply{200, QByteArray::fromStdString(png).leftJustified((9 << 20), 'x')};
        return test::LoopbackServer::Reply{404};
    };
    const std::string web = server.url().toStdString();
    const std::string file = "file://" + dir.string() + "/";
    for (auto [player, url, failure] :
         {std::tuple{"fifo", file + "art.fifo", std::string("is not a regular file")},
          std::tuple{"big", file + "big.png", std::string("is larger than the artwork limit")},
          std::tuple{"environ", std::string("file:///proc/self/environ"), std::string("is a system file")},
          std::tuple{"envlink", file + "env.png", std::string("is a system file")},
          std::tuple{"text", file + "notes.txt", std::string("is not an image")},
          std::tuple{"fake", file + "fake.png", std::string("is not an image")},
          std::tuple{"link", file + "link.png", std::string("is not an image")},
          std::tuple{"webtext", web + "notes.txt", std::string("is not an image")},
          std::tuple{"bigweb", web + "big.png", std::string("The response is too large.")},
          std::tuple{"missing", web + "none.png", std::string("answered 404")},
          std::tuple{"small", file + "small.png", std::string()},
          std::tuple{"web", "HTTP" + web.substr(4) + "small.png", std::string()}}) {
        SCOPED_TRACE(player);
        startPython({player, "art", url});
        ASSERT_TRUE(spinUntil([&] { return ask("getNowPlayingBundle") == HelperReply(std::string(player)); }));
        if (failure.empty()) {
            ASSERT_TRUE(spinUntil([&] {
                info = dictionary("getNowPlayingInfo");
                auto it = info.find("kMRMediaRemoteNowPlayingInfoArtworkData");
                return it != info.end() && std::get<Bytes>(it->second).data == png;
            }));
            continue;
        }
        // Refused by the helper, or (on the web) by the program once its answer to the first look came.
        info = dictionary("getNowPlayingInfo");
        ASSERT_TRUE(spinUntil([&] {
            return readFile(helperLog()).find("not read: " + url + " " + failure) != std::string::npos ||
                   logs.contains("Artwork not read: " + url + " " + failure);
        })) << readFile(helperLog());
        info = dictionary("getNowPlayingInfo");
        EXPECT_EQ(text(info, kTitle), "Drawn");
        EXPECT_EQ(info.count("kMRMediaRemoteNowPlayingInfoArtworkData"), 0u);
        EXPECT_EQ(info.count("kMRMediaRemoteNowPlayingInfoArtworkIdentifier"), 0u);
    }
    // Its position never comes: the helper answers with the position it expects, within its bound.
    const HelperDictionary position = dictionary("getSeekerPosition");
    EXPECT_EQ(number(position, "playbackRate"), 1);
    EXPECT_GE(number(position, "elapsedTime"), 0);
    EXPECT_EQ(number(position, "duration"), 90);
    EXPECT_EQ(occurrences(readFile(helperLog()), "not a regular file"), 1);
    // The player that never answered was given up on within the bound, and said once.
    ASSERT_TRUE(spinUntil([&] { return readFile(helperLog()).find("hung does not answer") != std::string::npos; }));
    EXPECT_EQ(occurrences(readFile(helperLog()), "does not answer"), 1) << readFile(helperLog());
    EXPECT_EQ(::waitpid(helper, nullptr, WNOHANG), 0);  // still running
}

// What the user sees: the program on X, finding a player already playing, starts its helper and
// shows the track in the notch; a track change reaches a painted frame.
TEST_F(MprisHelperTest, TheProgramShowsWhatMpvPlaysInTheNotch) {
    if (!test::onPath("Xvfb") || !test::onPath("xwininfo")) HALVYN_SKIP_WITHOUT_SERVICE() << "Xvfb and xwininfo are needed";
    pid_t xvfb = -1;
    const std::string display = test::startXvfb(500 + ::getpid() % 100, xvfb);
    ASSERT_FALSE(display.empty());
    startMpv({"one.wav", "two.wav"});
    ASSERT_TRUE(spinUntil([&] { return bus.hasName("org.mpris.MediaPlayer2.mpv"); }, 10000));
    test::writeFile(dir / "halvyn/preferences.json", R"({"isFirstLaunch": false})");
    std::vector<std::string> env = {"DISPLAY=" + display, "QT_QPA_PLATFORM=xcb", "XDG_CONFIG_HOME=" + dir.string(),
                                    "XDG_RUNTIME_DIR=" + dir.string(), "HALVYN_FRAME_LOG=1",
                                    test::lsanEnv()};
    for (const auto& e : bus.env()) env.push_back(e);
    const auto log = dir / "halvyn.log";
    pid_t app = test::spawnWith({HALVYN_BINARY}, env, log.string());
    const bool shown = spinUntil([&] { return readFile(log).find(" isPlaying Tone One\n") != std::string::npos; }, 30000);
    if (shown) playerctl("-p mpv next");
    const bool changed = shown && spinUntil([&] { return readFile(log).find(" Tone Two\n") != std::string::npos; }, 10000);
    test::stop(app);
    test::stop(xvfb);
    EXPECT_TRUE(shown) << readFile(log);
    EXPECT_TRUE(changed) << readFile(log);
    // The helper it started ends with it.
    EXPECT_TRUE(spinUntil([&] { return !bus.hasName("org.halvyn.Helper"); }, 10000));
}

}  // namespace
}  // namespace halvyn
