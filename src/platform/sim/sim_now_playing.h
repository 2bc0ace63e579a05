#pragma once
// The simulated now-playing world: the Music and Spotify applications, the companion helper, the
// browsers' tabs, the pasteboard, the installed applications and a deterministic artwork decoder.
// Every command is recorded as an effect ("script", "helper", "appleScript", "pasteboard",
// "openApp").

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "runtime/lifetime.h"
#include "platform/app_launcher.h"
#include "platform/apple_script.h"
#include "platform/artwork.h"
#include "platform/helper_connection.h"
#include "platform/pasteboard.h"
#include "platform/player_scripting.h"

namespace halvyn {

class EffectLog;
class MainQueue;
class SimProcesses;

// One player application. Its state is the scenario's shape: {"running", "state", "position",
// "shuffle", "repeat", "volume", "track": {...}} (Spotify also "shuffling", "repeating",
// "shufflingEnabled"; its track "durationMs", "spotifyUrl", "artworkUrl").
class SimPlayer final : public PlayerScripting {
public:
    SimPlayer(std::string name, EffectLog* effects) : name_(std::move(name)), effects_(effects) {}

    bool isRunning() const override;
    bool respondsTo(std::string_view member) const override;
    std::optional<Value> get(std::string_view member) override;
    std::optional<std::string> imageData(std::string_view member) override;
    void set(std::string_view member, const Value& value) override;
    void command(std::string_view member) override;

    // Simulation controls.
    Value state = Value::object();
    // Members the application does not answer.
    std::set<std::string> missing;
    // The application quits after answering this many more reads (negative: never).
    int quitAfterReads = -1;
    // The raw player-state code answered instead of the one "state" gives (an unknown code).
    std::optional<std::string> rawStateCode;

private:
    bool isSpotify() const { return name_ == "spotify"; }
    const Value* track() const;
    void record(std::string_view command, Value::Array args);

    std::string name_;
    EffectLog* effects_;
};

class SimPlayers final : public PlayerApplications {
public:
    explicit SimPlayers(EffectLog* effects) : music(std::string("music"), effects), spotify(std::string("spotify"), effects) {}
    PlayerScripting* application(const std::string& bundleId) override;
    Subscription observeNotifications(std::function<void(const PlayerNotification&)> cb) override;

    // Posts the player's distributed notification (`state`: "Playing", "Paused", "Stopped" or none).
    void notify(const std::string& app, std::optional<std::string> state);

    SimPlayer music;
    SimPlayer spotify;

private:
    Signal<const PlayerNotification&> notifications_;
};

// The companion helper, answering from its state.
class SimHelper final : public HelperConnection {
public:
    SimHelper(MainQueue& main, EffectLog* effects) : main_(main), effects_(effects) {}
    ~SimHelper() override;

    bool connect(HelperClient& client) override;
    void invalidate() override;
    void send(const std::string& request, const std::vector<double>& args,
              std::function<void(const HelperReply&)> reply) override;

    // Simulation controls. `connected` false: a connection cannot be made.
    bool connected = true;
    bool isPlaying = false;
    HelperDictionary info;
    std::optional<std::string> bundle;
    HelperDictionary position;
    HelperDictionary commands;
    // The reply to getIsPlaying, when it should not be a flag (a malformed helper).
    std::optional<HelperReply> isPlayingReplyOverride;

    // Runs one callback of the client, when connected.
    void callback(const std::string& name, bool isPlaying, bool playbackState, const std::string& applicationName);
    // The helper dies: the connection breaks and cannot be made again until `connected` is set.
    void disconnect();
    bool hasLiveConnection() const { return client_ != nullptr; }

private:
    MainQueue& main_;
    EffectLog* effects_;
    HelperClient* client_ = nullptr;
    Lifetime lifetime_;
};

struct SimTab {
    std::string title;
    std::string url;
};
struct SimBrowser {
    bool running = false;
    std::vector<SimTab> tabs;
    std::optional<std::string> error;  // every script fails with this error
};

// Runs the browsers' tab scripts against the simulated tabs, reading the script the way the
// browser would: the quoted title is unescaped, so a title that broke out of its quotes shows.
class SimAppleScript final : public AppleScript {
public:
    explicit SimAppleScript(EffectLog* effects) : effects_(effects) {}
    AppleScriptResult run(const std::string& source) override;

    SimBrowser safari;
    SimBrowser chrome;
    // The title as the last script read it (for tests).
    std::optional<std::string> lastTitle;

private:
    EffectLog* effects_;
};

class SimPasteboard final : public Pasteboard {
public:
    explicit SimPasteboard(EffectLog* effects) : effects_(effects) {}
    void clearContents() override { text.reset(); }
    void setString(const std::string& t) override;
    std::optional<std::string> text;

private:
    EffectLog* effects_;
};

class SimAppLauncher final : public AppLauncher {
public:
    SimAppLauncher(EffectLog* effects, const SimProcesses* processes, const SimPlayers* players)
        : effects_(effects), processes_(processes), players_(players) {}
    std::optional<std::string> urlForApplication(const std::string& bundleId) const override;
    void openApplication(const std::string& url, const std::string& bundleId, bool activates) override;
    std::optional<std::string> defaultApplicationForURL(const std::string& url) const override;
    int requestAutomation(const std::string& bundleId) override;

    // Automation answers by bundle identifier (allowed, 0, unless given) and the requests asked.
    std::map<std::string, int> automationStatus;
    std::vector<std::string> automationRequests;

    // Installed besides the running processes and players.
    std::vector<std::string> installed{"com.apple.Music", "com.apple.Safari"};
    std::optional<std::string> defaultBrowser = std::string("com.apple.Safari");

private:
    EffectLog* effects_;
    const SimProcesses* processes_;
    const SimPlayers* players_;
};

// Deterministic stand-in for image decoding: PNG, GIF and JPEG headers give the size; the pixels
// are three colours derived from the bytes (left half, top right, bottom right).
class SimArtworkDecoder final : public ArtworkDecoder {
public:
    std::optional<ArtworkImage> decode(const std::string& bytes, int box) override;
};

// Hex text → bytes; nullopt when not hex.
std::optional<std::string> bytesFromHex(const std::string& hex);

}  // namespace halvyn
