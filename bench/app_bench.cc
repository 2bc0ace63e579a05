// Building the status menu: what one click on the status item costs the main queue, with the
// fullest menu (update item, player items, speed, source and display submenus).

#include <benchmark/benchmark.h>

#include <memory>

#include "app/app_state.h"
#include "app/context.h"
#include "nowplaying/music_manager.h"
#include "platform/sim/sim_platform.h"
#include "runtime/logger.h"
#include "runtime/owned_access.h"
#include "runtime/virtual_time.h"
#include "settings/defaults.h"
#include "settings/keys.h"
#include "updates/update_controller.h"

namespace halvyn {
namespace {

void BM_StatusMenu(benchmark::State& state) {
    auto time = std::make_unique<VirtualTime>();
    VirtualTime* vt = time.get();
    auto platform = std::make_unique<SimPlatform>(*vt);
    CaptureLogSink logs;
    Context ctx(std::move(time), std::move(platform), &logs);
    ctx.defaults().set(keys::isFirstLaunch, false);
    ctx.defaults().set(keys::automaticMusicApp, false);
    ctx.appState().setup();
    vt->advance(seconds(1));
    setAsOwner(ctx.updates().updateState, UpdateAvailability::available);
    setAsOwner(ctx.music().hasPlaybackSpeed, true);
    setAsOwner(ctx.music().playbackSpeed, 1.5);
    for (auto _ : state) {
        Menu menu = ctx.appState().statusMenu();
        benchmark::DoNotOptimize(menu);
    }
}
BENCHMARK(BM_StatusMenu)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace halvyn
