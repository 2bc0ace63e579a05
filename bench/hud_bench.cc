// Device volume notifications through the volume display's road: the device read, the 0.1 s
// throttle, the handler and the notch's request. Two shapes: a burst of 10,000 at one instant
// (the throttle lets two through), and 10,000 spread 0.1 s apart (every one reaches the handler
// and asks the notch for the display).

#include <benchmark/benchmark.h>

#include <memory>

#include "app/context.h"
#include "hud/volume_manager.h"
#include "notch/notch.h"
#include "platform/sim/sim_platform.h"
#include "runtime/virtual_time.h"

namespace {

using namespace halvyn;

constexpr int kBurst = 10'000;

struct World {
    VirtualTime* time;
    SimPlatform* sim;
    std::unique_ptr<Context> ctx;

    World() {
        auto rt = std::make_unique<VirtualTime>();
        time = rt.get();
        auto pf = std::make_unique<SimPlatform>(*time);
        sim = pf.get();
        ctx = std::make_unique<Context>(std::move(rt), std::move(pf), nullptr);
        ctx->volume();
    }
};

void BM_VolumeBurstAtOnce(benchmark::State& state) {
    World w;
    for (auto _ : state) {
        for (int i = 0; i < kBurst; ++i) {
            w.sim->audio().changeVolume(1, (i % 2) ? 0.5625f : 0.5f + 0.0001f * static_cast<float>(i % 100));
            w.time->runCurrent();
        }
        w.time->advance(seconds(5));  // the held value, the display and its close
    }
    benchmark::DoNotOptimize(w.ctx->volume().volume.get());
    state.SetItemsProcessed(state.iterations() * kBurst);
}
BENCHMARK(BM_VolumeBurstAtOnce)->Unit(benchmark::kMillisecond);

void BM_VolumeNotificationsSpaced(benchmark::State& state) {
    World w;
    for (auto _ : state) {
        for (int i = 0; i < kBurst; ++i) {
            w.sim->audio().changeVolume(1, (i % 2) ? 0.5625f : 0.5f);
            w.time->advance(seconds(0.1));
        }
        w.time->advance(seconds(5));
    }
    benchmark::DoNotOptimize(w.ctx->notch().hasNotification.get());
    state.SetItemsProcessed(state.iterations() * kBurst);
}
BENCHMARK(BM_VolumeNotificationsSpaced)->Unit(benchmark::kMillisecond);

}  // namespace
