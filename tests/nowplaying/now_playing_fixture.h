#pragma once
// A whole context on virtual time over the simulated system, for the now-playing source, its
// commands and the helper connection.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/context.h"
#include "notch/notch.h"
#include "nowplaying/music_manager.h"
#include "nowplaying/xpc_manager.h"
#include "platform/sim/sim_platform.h"
#include "runtime/virtual_time.h"
#include "settings/defaults.h"
#include "settings/keys.h"

namespace halvyn::nowplaying_testing {

struct Calls final : CallRecorder {
    std::vector<std::string> calls;  // "setLiveActivity [true,\"isPlaying\",...]"
    void call(std::string_view name, Value args) override {
        calls.push_back(std::string(name.substr(name.find('.') + 1)) + " " + args.toJson());
    }
    int count(const std::string& prefix) const {
        int n = 0;
        for (auto& c : calls) n += c.rfind(prefix, 0) == 0;
        return n;
    }
};

class NowPlayingTest : public ::testing::Test {
protected:
    NowPlayingTest() {
        auto rt = std::make_unique<VirtualTime>();
        time = rt.get();
        auto pf = std::make_unique<SimPlatform>(*time);
        sim = pf.get();
        ctx = std::make_unique<Context>(std::move(rt), std::move(pf), &logs);
        ctx->setCallRecorder(&calls);
        ctx->defaults().set(keys::isFirstLaunch, false);
        ctx->notch().enable();
    }
    ~NowPlayingTest() override { ctx->setCallRecorder(nullptr); }

    MusicManager& music() {
        MusicManager& m = ctx->music();
        time->runCurrent();
        return m;
    }
    template <class T>
    void set(const Key<T>& key, const T& value) {
        ctx->defaults().set(key, value);
        time->runCurrent();
    }
    void advance(double s) { time->advance(seconds(s)); }
    void settle() { time->runCurrent(); }

    // The helper starts playing `title` and tells the program.
    void helperPlays(const std::string& title, HelperDictionary extra = {}) {
        auto& h = sim->simHelper();
        h.isPlaying = true;
        h.info = {{"kMRMediaRemoteNowPlayingInfoTitle", title},
                  {"kMRMediaRemoteNowPlayingInfoArtist", std::string("Artist")},
                  {"kMRMediaRemoteNowPlayingInfoAlbum", std::string("Album")},
                  {"kMRMediaRemoteNowPlayingInfoPlaybackRate", 1.0}};
        for (auto& [k, v] : extra) h.info[k] = v;
        h.callback("nowPlayingDidChange", false, false, "");
        settle();
    }
    void helperStops(bool playbackState = false) {
        sim->simHelper().isPlaying = false;
        sim->simHelper().callback("applicationIsPlayingDidChange", false, playbackState, "Music");
        settle();
    }
    bool playingShows() {
        return ctx->notch().hasLiveActivity.get() && ctx->notch().liveActivity.get() == Notch::LiveActivity::isPlaying;
    }
    std::vector<std::string> helperRequests() const {
        std::vector<std::string> out;
        for (auto& e : sim->effects().ofKind("helper")) out.push_back(e.fields[0].second.asString());
        return out;
    }
    std::vector<std::string> scripts() const {
        std::vector<std::string> out;
        for (auto& e : sim->effects().ofKind("script")) out.push_back(e.fields[1].second.asString() + " " + e.fields[2].second.toJson());
        return out;
    }

    VirtualTime* time = nullptr;
    SimPlatform* sim = nullptr;
    CaptureLogSink logs;
    Calls calls;
    std::unique_ptr<Context> ctx;
};

// Minimal PNG header of the given size (the simulated decoder reads only the header).
inline std::string pngBytes(int w, int h, char salt = 0) {
    std::string s("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16);
    for (int v : {w, h})
        for (int shift : {24, 16, 8, 0}) s += static_cast<char>((v >> shift) & 0xff);
    s += salt;
    return s;
}

}  // namespace halvyn::nowplaying_testing
