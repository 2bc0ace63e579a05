// A helper callback through applyNowPlayingInfo to the published change of the track.

#include <benchmark/benchmark.h>

#include <memory>

#include "app/context.h"
#include "nowplaying/music_manager.h"
#include "nowplaying/xpc_manager.h"
#include "platform/sim/sim_platform.h"
#include "runtime/virtual_time.h"
#include "settings/defaults.h"
#include "settings/keys.h"

namespace halvyn {
namespace {

void BM_HelperCallbackToPublishedTrack(benchmark::State& state) {
    CaptureLogSink logs;
    auto rt = std::make_unique<VirtualTime>();
    VirtualTime* time = rt.get();
    auto pf = std::make_unique<SimPlatform>(*time);
    SimPlatform* sim = pf.get();
    Context ctx(std::move(rt), std::move(pf), &logs);
    ctx.defaults().set(keys::isFirstLaunch, false);
    MusicManager& music = ctx.music();
    time->runCurrent();
    int changes = 0;
    auto sub = music.currentTrack.observe([&](const Track&, const Animation*) { ++changes; });
    auto& helper = sim->simHelper();
    helper.isPlaying = true;
    HelperDictionary info{{"kMRMediaRemoteNowPlayingInfoArtist", std::string("Artist")},
                          {"kMRMediaRemoteNowPlayingInfoAlbum", std::string("Album")},
                          {"kMRMediaRemoteNowPlayingInfoDuration", 245.0},
                          {"kMRMediaRemoteNowPlayingInfoPlaybackRate", 1.0},
                          {"kMRMediaRemoteNowPlayingInfoDefaultPlaybackRate", 1.0}};
    long i = 0;
    for (auto _ : state) {
        state.PauseTiming();
        info["kMRMediaRemoteNowPlayingInfoTitle"] = std::string(i++ % 2 ? "Song A" : "Song B");
        helper.info = info;
        sim->effects().clear();
        const int before = changes;
        state.ResumeTiming();
        helper.callback("nowPlayingDidChange", false, false, "");
        while (changes == before && time->pendingCount() > 0) time->runCurrent();
        benchmark::DoNotOptimize(music.currentTrack.get().title.size());
    }
}
BENCHMARK(BM_HelperCallbackToPublishedTrack)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace halvyn
