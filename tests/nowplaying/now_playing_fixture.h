#pragma once
// A whole context on virtual time over the simulated system, for the now-playing source, its
// commands and the helper connection.

#include <string>
#include <vector>

#include "app/context_fixture.h"
#include "nowplaying/music_manager.h"
#include "nowplaying/xpc_manager.h"

namespace halvyn::nowplaying_testing {

class NowPlayingTest : public context_testing::ContextTest {
protected:
    NowPlayingTest() {
        ctx->defaults().set(keys::isFirstLaunch, false);
        ctx->notch().enable();
    }

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

    // The helper's player becomes the application `bundle`, and says so.
    void helperSwitchesTo(const std::string& bundle) {
        sim->simHelper().bundle = bundle;
        sim->simHelper().callback("applicationDidChange", false, false, "");
        settle();
    }
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
    std::vector<std::string> helperRequests() const { return effects("helper", "request"); }
    std::vector<std::string> scripts() const {
        std::vector<std::string> out;
        for (auto& e : sim->effects().ofKind("script")) out.push_back(e.fields[1].second.asString() + " " + e.fields[2].second.toJson());
        return out;
    }
};

// Minimal PNG header of the given size (the simulated decoder reads only the header).
inline std::string pngBytes(int w, int h) {
    std::string s("\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR", 16);
    for (int v : {w, h})
        for (int shift : {24, 16, 8, 0}) s += static_cast<char>((v >> shift) & 0xff);
    return s;
}

}  // namespace halvyn::nowplaying_testing
