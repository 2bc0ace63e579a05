#include "nowplaying/mpris_sessions.h"

#include <algorithm>
#include <cmath>

#include "nowplaying/artwork_signature.h"

namespace halvyn {

namespace {

constexpr const char* kTitle = "kMRMediaRemoteNowPlayingInfoTitle";
constexpr const char* kArtist = "kMRMediaRemoteNowPlayingInfoArtist";
constexpr const char* kAlbum = "kMRMediaRemoteNowPlayingInfoAlbum";
constexpr const char* kArtworkIdentifier = "kMRMediaRemoteNowPlayingInfoArtworkIdentifier";
constexpr const char* kArtworkData = "kMRMediaRemoteNowPlayingInfoArtworkData";
constexpr const char* kDefaultRate = "kMRMediaRemoteNowPlayingInfoDefaultPlaybackRate";
constexpr const char* kRate = "kMRMediaRemoteNowPlayingInfoPlaybackRate";
constexpr const char* kShuffleMode = "kMRMediaRemoteNowPlayingInfoShuffleMode";
constexpr double kShuffleOff = 1, kShuffleSongs = 3;
constexpr const char* kDuration = "kMRMediaRemoteNowPlayingInfoDuration";

std::optional<double> finite(const Value* v) {
    if (!v || !v->isNumber() || !std::isfinite(v->asNumber())) return std::nullopt;
    return v->asNumber();
}

const std::string* text(const Value* v) { return v && v->isString() ? &v->asString() : nullptr; }

}  // namespace

MprisTrack readMetadata(const Value& metadata) {
    MprisTrack t;
    if (!metadata.isObject()) return t;
    if (auto* s = text(metadata.find("mpris:trackid"))) t.id = *s;
    if (auto* s = text(metadata.find("xesam:title"))) t.title = *s;
    if (auto* s = text(metadata.find("xesam:album"))) t.album = *s;
    if (auto* s = text(metadata.find("mpris:artUrl"))) t.artUrl = *s;
    if (const Value* a = metadata.find("xesam:artist")) {
        if (a->isString()) {
            t.artist = a->asString();
        } else if (a->isArray()) {
            for (const Value& one : a->asArray()) {
                if (!one.isString() || one.asString().empty()) continue;
                if (!t.artist.empty()) t.artist += ", ";
                t.artist += one.asString();
            }
        }
    }
    // Microseconds; a negative or absurd length is no length.
    if (auto us = finite(metadata.find("mpris:length")); us && *us > 0 && *us < 1e18) t.duration = *us / 1e6;
    return t;
}

double MprisPlayer::positionNow(double now) const {
    double p = position;
    if (status == PlaybackStatus::playing && now > positionAt) p += rate * (now - positionAt);
    if (track.duration) p = std::min(p, *track.duration);
    return std::max(p, 0.0);
}

std::string MprisPlayer::bundle() const {
    if (!desktopEntry.empty()) return desktopEntry;
    std::string b = name.rfind(MprisSessions::kPrefix, 0) == 0 ? name.substr(std::string(MprisSessions::kPrefix).size()) : name;
    if (auto dot = b.find(".instance"); dot != std::string::npos) b.resize(dot);
    return b;
}

std::string MprisPlayer::applicationName() const {
    if (!processName.empty()) return processName;
    return identity.empty() ? bundle() : identity;
}

bool MprisSessions::isPlayerName(const std::string& name) {
    return name.rfind(kPrefix, 0) == 0 && name.size() > std::string(kPrefix).size() &&
           name != std::string(kPrefix) + "playerctld";
}

MprisPlayer& MprisSessions::add(const std::string& busName, const std::string& name) {
    MprisPlayer& p = players_[busName];
    if (p.busName.empty()) {
        p.busName = busName;
        p.name = name;
        p.appeared = ++clock_;
    }
    return p;
}

void MprisSessions::remove(const std::string& busName) { players_.erase(busName); }

MprisPlayer* MprisSessions::find(const std::string& busName) {
    auto it = players_.find(busName);
    return it == players_.end() ? nullptr : &it->second;
}

bool MprisSessions::apply(const std::string& busName, const Value& properties, bool player, double now) {
    MprisPlayer* p = find(busName);
    if (!p || !properties.isObject()) return false;
    bool wrong = false;
    auto flag = [&](const char* key, bool& out) {
        if (const Value* v = properties.find(key)) {
            if (v->isBool()) out = v->asBool();
            else wrong = true;
        }
    };
    auto str = [&](const char* key, std::string& out) {
        if (const Value* v = properties.find(key)) {
            if (v->isString()) out = v->asString();
            else wrong = true;
        }
    };
    p->ready = true;
    if (!player) {
        str("DesktopEntry", p->desktopEntry);
        str("Identity", p->identity);
        return wrong;
    }
    // The position is frozen where it is before anything that changes how it runs.
    const double before = p->positionNow(now);
    p->position = before;
    p->positionAt = now;
    if (const Value* v = properties.find("PlaybackStatus")) {
        const std::string* s = text(v);
        if (s && (*s == "Playing" || *s == "Paused" || *s == "Stopped")) {
            const auto status = *s == "Playing" ? PlaybackStatus::playing
                                : *s == "Paused" ? PlaybackStatus::paused
                                                 : PlaybackStatus::stopped;
            if (status == PlaybackStatus::playing && p->status != PlaybackStatus::playing)
                p->startedPlaying = ++clock_;
            if (status != PlaybackStatus::playing && p->status == PlaybackStatus::playing)
                p->stoppedPlaying = ++clock_;
            p->status = status;
            if (status == PlaybackStatus::stopped) p->position = 0;
        } else {
            wrong = true;
        }
    }
    if (const Value* v = properties.find("Metadata")) {
        if (v->isObject()) {
            MprisTrack t = readMetadata(*v);
            if (t.id != p->track.id || t.title != p->track.title) p->position = 0;
            p->track = std::move(t);
        } else {
            wrong = true;
        }
    }
    auto number = [&](const char* key, auto&& use) {
        if (const Value* v = properties.find(key)) {
            if (auto d = finite(v)) use(*d);
            else wrong = true;
        }
    };
    // A rate of 0 means paused, which the status says already; an absurd one is no rate.
    number("Rate", [&](double r) {
        if (r > 0 && r <= 1000) p->rate = r;
    });
    number("MinimumRate", [&](double r) { p->minimumRate = r; });
    number("MaximumRate", [&](double r) { p->maximumRate = r; });
    number("Position", [&](double us) { p->position = std::max(us / 1e6, 0.0); });
    flag("CanGoNext", p->canGoNext);
    flag("CanGoPrevious", p->canGoPrevious);
    flag("CanSeek", p->canSeek);
    flag("CanControl", p->canControl);
    if (const Value* v = properties.find("Shuffle")) {
        if (v->isBool()) p->shuffle = v->asBool();
        else wrong = true;
    }
    return wrong;
}

void MprisSessions::setPosition(const std::string& busName, double seconds, double now, bool jumped) {
    MprisPlayer* p = find(busName);
    if (!p || !std::isfinite(seconds)) return;
    p->position = std::max(seconds, 0.0);
    p->positionAt = now;
    if (jumped && p == current()) ++jumps_;
}

void MprisSessions::setArt(const std::string& busName, const std::string& url, std::string bytes) {
    MprisPlayer* p = find(busName);
    if (!p || p->track.artUrl != url) return;  // the track moved on meanwhile
    p->art = std::move(bytes);
    p->artRead = url;
}

const MprisPlayer* MprisSessions::current() const {
    const MprisPlayer* best = nullptr;
    auto rank = [](const MprisPlayer& p) {
        // Playing beats having played beats having appeared; within each, the latest wins.
        if (p.status == PlaybackStatus::playing) return std::pair<int, std::uint64_t>(2, p.startedPlaying);
        if (p.stoppedPlaying) return std::pair<int, std::uint64_t>(1, p.stoppedPlaying);
        return std::pair<int, std::uint64_t>(0, p.appeared);
    };
    for (const auto& [_, p] : players_)
        if (p.ready && (!best || rank(p) > rank(*best))) best = &p;
    return best;
}

bool MprisSessions::isPlaying() const {
    const MprisPlayer* p = current();
    return p && p->status == PlaybackStatus::playing;
}

std::optional<std::string> MprisSessions::bundle() const {
    const MprisPlayer* p = current();
    if (!p) return std::nullopt;
    return p->bundle();
}

HelperDictionary MprisSessions::nowPlayingInfo() const {
    HelperDictionary d;
    const MprisPlayer* p = current();
    if (!p) return d;
    const MprisTrack& t = p->track;
    if (!t.title.empty()) d[kTitle] = t.title;
    if (!t.artist.empty()) d[kArtist] = t.artist;
    if (!t.album.empty()) d[kAlbum] = t.album;
    // No length: a stream, shown without duration.
    if (!t.title.empty()) d[kDuration] = t.duration.value_or(0.0);
    d[kDefaultRate] = p->rate;
    d[kRate] = p->status == PlaybackStatus::playing ? p->rate : 0.0;
    if (p->shuffle) d[kShuffleMode] = *p->shuffle ? kShuffleSongs : kShuffleOff;
    // The identifier goes with the bytes, so artwork that could not be read is not announced;
    // artwork on the web is named alone, for the program to fetch.
    if (p->artRead == t.artUrl && !p->art.empty()) {
        d[kArtworkIdentifier] = t.artUrl;
        d[kArtworkData] = Bytes{p->art};
    } else if (p->artRead == t.artUrl && isWebArtwork(t.artUrl)) {
        d[kArtworkIdentifier] = t.artUrl;
    }
    return d;
}

HelperDictionary MprisSessions::position(double now) const {
    HelperDictionary d;
    const MprisPlayer* p = current();
    if (!p) return d;
    d["playbackRate"] = p->status == PlaybackStatus::playing ? p->rate : 0.0;
    d["duration"] = p->track.duration.value_or(0.0);
    d["elapsedTime"] = p->positionNow(now);
    return d;
}

HelperDictionary MprisSessions::supportedCommands() const {
    HelperDictionary d;
    const MprisPlayer* p = current();
    const bool control = p && p->canControl;
    d["hasPreviousSkip"] = control && p->canGoPrevious;
    d["hasNextSkip"] = control && p->canGoNext;
    d["hasPlaybackRate"] = control && p->minimumRate && p->maximumRate && *p->minimumRate < *p->maximumRate;
    d["hasShuffle"] = control && p->shuffle.has_value();
    return d;
}

MprisSessions::Snapshot MprisSessions::snapshot() const {
    Snapshot s;
    const MprisPlayer* p = current();
    if (!p) return s;
    s.busName = p->busName;
    s.playing = p->status == PlaybackStatus::playing;
    s.info = nowPlayingInfo();
    s.jumps = jumps_;
    return s;
}

SessionChanges MprisSessions::takeChanges() {
    Snapshot next = snapshot();
    SessionChanges c;
    c.application = next.busName != last_.busName;
    c.isPlaying = c.application ? next.playing || last_.playing : next.playing != last_.playing;
    c.nowPlaying = c.application || next.info != last_.info || next.jumps != last_.jumps;
    last_ = std::move(next);
    return c;
}

}  // namespace halvyn
