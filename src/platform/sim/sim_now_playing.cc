#include "platform/sim/sim_now_playing.h"

#include <cctype>
#include <cstdint>

#include "platform/sim/effect_log.h"
#include "platform/sim/sim_processes.h"
#include "runtime/main_queue.h"

namespace halvyn {

namespace {

const char* kMusicMembers[] = {"currentTrack", "playerPosition", "playerState", "shuffleEnabled", "songRepeat",
                               "soundVolume", "backTrack", "nextTrack", "previousTrack", "playpause", "pause",
                               "resume", "currentTrack.name", "currentTrack.artist", "currentTrack.album",
                               "currentTrack.duration", "currentTrack.favorited", "currentTrack.artworks.0.data"};
const char* kSpotifyMembers[] = {"currentTrack", "playerPosition", "playerState", "shuffling", "repeating",
                                 "shufflingEnabled", "soundVolume", "nextTrack", "previousTrack", "playpause",
                                 "pause", "play", "currentTrack.name", "currentTrack.artist", "currentTrack.album",
                                 "currentTrack.duration", "currentTrack.spotifyUrl", "currentTrack.artworkUrl"};

std::string setterName(std::string_view member) {
    const auto dot = member.rfind('.');
    std::string last(dot == std::string_view::npos ? member : member.substr(dot + 1));
    if (!last.empty()) last[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(last[0])));
    return "set" + last;
}

}  // namespace

std::optional<std::string> bytesFromHex(const std::string& hex) {
    if (hex.size() % 2) return std::nullopt;
    auto nibble = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    std::string out;
    out.reserve(hex.size() / 2);
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const int hi = nibble(hex[i]), lo = nibble(hex[i + 1]);
        if (hi < 0 || lo < 0) return std::nullopt;
        out += static_cast<char>(hi * 16 + lo);
    }
    return out;
}

// MARK: - Players

bool SimPlayer::isRunning() const {
    const Value* r = state.find("running");
    return r && r->asBool();
}

bool SimPlayer::respondsTo(std::string_view member) const {
    if (missing.count(std::string(member))) return false;
    if (isSpotify()) {
        for (const char* m : kSpotifyMembers)
            if (member == m) return true;
    } else {
        for (const char* m : kMusicMembers)
            if (member == m) return true;
    }
    return false;
}

const Value* SimPlayer::track() const {
    const Value* t = state.find("track");
    return t && t->isObject() ? t : nullptr;
}

std::optional<Value> SimPlayer::get(std::string_view member) {
    if (!isRunning() || !respondsTo(member)) return std::nullopt;
    if (quitAfterReads == 0) {
        state.set("running", Value(false));
        return std::nullopt;
    }
    if (quitAfterReads > 0) --quitAfterReads;
    auto field = [&](const char* name) -> std::optional<Value> {
        const Value* v = state.find(name);
        return v ? std::optional<Value>(*v) : std::nullopt;
    };
    auto trackField = [&](const char* name) -> std::optional<Value> {
        const Value* t = track();
        const Value* v = t ? t->find(name) : nullptr;
        return v ? std::optional<Value>(*v) : std::nullopt;
    };
    if (member == "currentTrack") return track() ? std::optional<Value>(Value(true)) : std::nullopt;
    if (member == "playerState") {
        if (rawStateCode) return Value(*rawStateCode);
        const Value* s = state.find("state");
        const std::string st = s ? s->asString() : "stopped";
        return Value(st == "playing" ? "kPSP" : st == "paused" ? "kPSp" : "kPSS");
    }
    if (member == "songRepeat") {
        const Value* r = state.find("repeat");
        const std::string rep = r ? r->asString() : "off";
        return Value(rep == "all" ? "kAll" : rep == "one" ? "kRp1" : "kRpO");
    }
    if (member == "playerPosition") return field("position");
    if (member == "shuffleEnabled") return field("shuffle");
    if (member == "soundVolume") return field("volume");
    if (member == "shuffling" || member == "repeating" || member == "shufflingEnabled")
        return field(std::string(member).c_str());
    if (member.starts_with("currentTrack.")) {
        std::string name(member.substr(13));
        if (name == "duration" && isSpotify()) name = "durationMs";
        return trackField(name.c_str());
    }
    return std::nullopt;
}

std::optional<std::string> SimPlayer::imageData(std::string_view member) {
    if (!isRunning() || !respondsTo(member) || member != "currentTrack.artworks.0.data") return std::nullopt;
    const Value* t = track();
    const Value* art = t ? t->find("artwork") : nullptr;
    if (!art || !art->isString()) return std::nullopt;
    return bytesFromHex(art->asString());
}

void SimPlayer::record(std::string_view command, Value::Array args) {
    if (effects_)
        effects_->record("script", {{"app", Value(name_)}, {"command", Value(command)}, {"args", Value(std::move(args))}});
}

void SimPlayer::set(std::string_view member, const Value& value) {
    if (!isRunning()) return;
    record(setterName(member), {value});
    if (member == "playerPosition") state.set("position", value);
    else if (member == "shuffleEnabled") state.set("shuffle", value);
    else if (member == "songRepeat")
        state.set("repeat", Value(value.asString() == "kAll" ? "all" : value.asString() == "kRp1" ? "one" : "off"));
    else if (member == "shuffling" || member == "repeating") state.set(member, value);
    else if (member == "currentTrack.favorited") {
        Value t = track() ? *track() : Value::object();
        t.set("favorited", value);
        state.set("track", std::move(t));
    }
}

void SimPlayer::command(std::string_view member) {
    if (!isRunning()) return;
    record(member, {});
    if (member == "playpause") {
        const Value* s = state.find("state");
        state.set("state", Value(s && s->asString() == "playing" ? "paused" : "playing"));
    } else if (member == "pause") {
        state.set("state", Value("paused"));
    } else if (member == "play" || member == "resume") {
        state.set("state", Value("playing"));
    }
}

PlayerScripting* SimPlayers::application(const std::string& bundleId) {
    if (bundleId == kMusic) return &music;
    if (bundleId == kSpotify) return &spotify;
    return nullptr;
}

Subscription SimPlayers::observeNotifications(std::function<void(const PlayerNotification&)> cb) {
    return notifications_.connect(std::move(cb));
}

void SimPlayers::notify(const std::string& app, std::optional<std::string> state) {
    PlayerNotification n;
    n.name = app == "spotify" ? "com.spotify.client.PlaybackStateChanged" : "com.apple.Music.playerInfo";
    n.object = app == "spotify" ? kSpotify : kMusic;
    n.playerState = std::move(state);
    notifications_.emit(n);
}

// MARK: - Helper

SimHelper::~SimHelper() { lifetime_.end(); }

bool SimHelper::connect(HelperClient& client) {
    if (!connected) return false;
    client_ = &client;
    return true;
}

void SimHelper::invalidate() { client_ = nullptr; }

void SimHelper::send(const std::string& request, const std::vector<double>& args, std::function<void(const HelperReply&)> reply) {
    if (!client_) return;  // a dead connection: the request goes nowhere
    Value::Array a;
    for (double d : args) a.emplace_back(d);
    if (effects_) effects_->record("helper", {{"request", Value(request)}, {"args", Value(std::move(a))}});
    if (request == "playPause") isPlaying = !isPlaying;
    if (request == "setPlayerPosition" && !args.empty()) position["elapsedTime"] = args[0];
    if (request == "setPlaybackRate" && !args.empty()) position["playbackRate"] = args[0];
    if (!reply) return;
    HelperReply answer;
    if (request == "getIsPlaying") answer = isPlayingReplyOverride ? *isPlayingReplyOverride : HelperReply(isPlaying);
    else if (request == "getNowPlayingInfo") answer = info;
    else if (request == "getNowPlayingBundle") answer = bundle ? HelperReply(*bundle) : HelperReply();
    else if (request == "getSeekerPosition") answer = position;
    else if (request == "checkSupportedCommands") answer = commands;
    else return;
    const Lifetime::Token weak = lifetime_.token();
    main_.post([weak, reply = std::move(reply), answer = std::move(answer)] {
        if (weak) reply(answer);
    });
}

void SimHelper::callback(const std::string& name, bool playing, bool playbackState, const std::string& applicationName) {
    if (!client_) return;
    if (name == "nowPlayingDidChange") client_->nowPlayingDidChange();
    else if (name == "applicationDidChange") client_->applicationDidChange();
    else client_->applicationIsPlayingDidChange(playing, playbackState, applicationName);
}

void SimHelper::disconnect() {
    connected = false;
    HelperClient* client = client_;
    client_ = nullptr;
    if (!client) return;
    const Lifetime::Token weak = lifetime_.token();
    main_.post([weak, client] {
        if (weak) client->connectionInvalidated();
    });
}

// MARK: - Browsers

AppleScriptResult SimAppleScript::run(const std::string& source) {
    if (effects_) effects_->record("appleScript", {{"source", Value(source)}});
    const bool isSafari = source.find("application \"Safari\"") != std::string::npos;
    SimBrowser& browser = isSafari ? safari : chrome;
    if (browser.error) return {false, "", *browser.error};
    // The title: the first string literal after "contains", read as AppleScript reads it.
    const auto at = source.find("contains \"");
    if (at == std::string::npos) return {false, "", "syntax error"};
    std::string title;
    std::size_t i = at + 10;
    for (; i < source.size() && source[i] != '"'; ++i) {
        if (source[i] == '\n') return {false, "", "syntax error: unterminated text"};
        if (source[i] == '\\' && i + 1 < source.size()) {
            const char c = source[++i];
            title += c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : c;
        } else {
            title += source[i];
        }
    }
    // Only " then" may follow the literal on its line.
    const auto lineEnd = source.find('\n', i);
    if (i >= source.size() || source.substr(i + 1, lineEnd - i - 1) != " then") return {false, "", "syntax error"};
    lastTitle = title;
    if (!browser.running) return {true, "", ""};
    const bool lookup = source.find("return URL of t") != std::string::npos;
    for (auto& tab : browser.tabs)
        if (tab.title.find(title) != std::string::npos) return {true, lookup ? tab.url : "", ""};
    return {true, "", ""};
}

void SimPasteboard::setString(const std::string& t) {
    text = t;
    if (effects_) effects_->record("pasteboard", {{"text", Value(t)}});
}

std::optional<std::string> SimAppLauncher::urlForApplication(const std::string& bundleId) const {
    bool found = false;
    for (auto& b : installed) found = found || b == bundleId;
    if (!found && processes_)
        for (auto& app : processes_->runningApplications(bundleId)) found = found || app.bundleIdentifier == bundleId;
    if (!found && players_) {
        found = (bundleId == PlayerApplications::kMusic && players_->music.isRunning()) ||
                (bundleId == PlayerApplications::kSpotify && players_->spotify.isRunning());
    }
    if (!found) return std::nullopt;
    return "/Applications/" + bundleId + ".app";
}

void SimAppLauncher::openApplication(const std::string&, const std::string& bundleId, bool activates) {
    if (effects_) effects_->record("openApp", {{"bundleId", Value(bundleId)}, {"activates", Value(activates)}});
}

std::optional<std::string> SimAppLauncher::defaultApplicationForURL(const std::string& url) const {
    if (url.rfind("http://", 0) != 0 && url.rfind("https://", 0) != 0) return std::nullopt;
    return defaultBrowser;
}

int SimAppLauncher::requestAutomation(const std::string& bundleId) {
    automationRequests.push_back(bundleId);
    auto it = automationStatus.find(bundleId);
    return it == automationStatus.end() ? 0 : it->second;
}

// MARK: - Artwork

std::optional<ArtworkImage> SimArtworkDecoder::decode(const std::string& bytes, int box) {
    auto u8 = [&](std::size_t i) { return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i])); };
    int w = 0, h = 0;
    if (bytes.size() >= 24 && bytes.compare(0, 8, "\x89PNG\r\n\x1a\n") == 0) {
        w = static_cast<int>((u8(16) << 24) | (u8(17) << 16) | (u8(18) << 8) | u8(19));
        h = static_cast<int>((u8(20) << 24) | (u8(21) << 16) | (u8(22) << 8) | u8(23));
    } else if (bytes.size() >= 10 && (bytes.compare(0, 6, "GIF87a") == 0 || bytes.compare(0, 6, "GIF89a") == 0)) {
        w = static_cast<int>(u8(6) | (u8(7) << 8));
        h = static_cast<int>(u8(8) | (u8(9) << 8));
    } else if (bytes.size() >= 4 && u8(0) == 0xFF && u8(1) == 0xD8 && u8(2) == 0xFF) {
        for (std::size_t i = 2; i + 8 < bytes.size(); ++i) {
            if (u8(i) == 0xFF && (u8(i + 1) == 0xC0 || u8(i + 1) == 0xC2)) {
                h = static_cast<int>((u8(i + 5) << 8) | u8(i + 6));
                w = static_cast<int>((u8(i + 7) << 8) | u8(i + 8));
                break;
            }
        }
    }
    if (w <= 0 || h <= 0 || w > 65535 || h > 65535) return std::nullopt;
    std::uint32_t hash = 2166136261u;
    for (unsigned char c : bytes) hash = (hash ^ c) * 16777619u;
    const std::uint32_t colors[3] = {0xFF000000u | (hash & 0xFFFFFF), 0xFF000000u | ((hash * 2654435761u) & 0xFFFFFF),
                                     0xFF000000u | ((hash * 40503u + 0x5A5A5A) & 0xFFFFFF)};
    auto [fw, fh] = fitInBox(w, h, box);
    ArtworkImage img{fw, fh, std::vector<std::uint32_t>(static_cast<std::size_t>(fw) * fh)};
    for (int y = 0; y < fh; ++y)
        for (int x = 0; x < fw; ++x)
            img.pixels[static_cast<std::size_t>(y) * fw + x] = x < fw / 2 ? colors[0] : y < fh / 2 ? colors[1] : colors[2];
    return img;
}

}  // namespace halvyn
