// The input's hot paths: the outline metrics from the notch's state, the Outline object's
// recomputation when an input changes, and one scroll event through the recognisers and the
// swipe handling.

#include <benchmark/benchmark.h>

#include <memory>

#include "app/context.h"
#include "notch/notch.h"
#include "notch/notch_input.h"
#include "notch/outline_model.h"
#include "notch/outline_metrics.h"
#include "platform/sim/sim_platform.h"
#include "runtime/owned_access.h"
#include "runtime/virtual_time.h"

namespace {

using namespace halvyn;

struct World {
    std::unique_ptr<Context> ctx;
    VirtualTime* time = nullptr;
    World() {
        auto rt = std::make_unique<VirtualTime>();
        time = rt.get();
        auto pf = std::make_unique<SimPlatform>(*time);
        ctx = std::make_unique<Context>(std::move(rt), std::move(pf), nullptr);
        ctx->notch().enable();
        time->advance(seconds(1));
    }
};

void BM_OutlineMetrics(benchmark::State& state) {
    OutlineInput in;
    in.notchWidth = 184;
    in.notchHeight = 38;
    in.notchExpandedWidth = 345;
    in.notchExpandedHeight = 180;
    in.isVisible = true;
    in.hasNotch = true;
    in.hasNotification = true;
    in.notification = Notch::Notification::didChangeVolume;
    in.isElevated = true;
    in.swipe = {VerticalSwipeDirection::down, 6, 0.5};
    double sink = 0;
    for (auto _ : state) {
        in.swipe.offset = in.swipe.offset == 6 ? 7 : 6;
        benchmark::DoNotOptimize(in);
        OutlineMetrics m = outlineMetrics(in);
        sink += m.width;
    }
    benchmark::DoNotOptimize(sink);
}
BENCHMARK(BM_OutlineMetrics);

// A notch property change through to the Outline's published values (settings reads included).
void BM_OutlineRecompute(benchmark::State& state) {
    World w;
    Outline& outline = w.ctx->outline();
    Notch& notch = w.ctx->notch();
    bool elevated = false;
    for (auto _ : state) {
        elevated = !elevated;
        setAsOwner(notch.isElevated, elevated);
        benchmark::DoNotOptimize(outline.bottomRadius.get());
    }
}
BENCHMARK(BM_OutlineRecompute);

// One scroll event of an ongoing down swipe: four recognisers, the damping, the published
// offset and the outline following it.
void BM_ScrollEvent(benchmark::State& state) {
    World w;
    w.ctx->outline();
    NotchInput& input = w.ctx->notchInput();
    input.scroll({0, 0.01, ScrollPhase::began, ScrollPhase::none, true});
    for (auto _ : state) input.scroll({0, 0.01, ScrollPhase::changed, ScrollPhase::none, true});
    benchmark::DoNotOptimize(input.verticalSwipe.get());
}
BENCHMARK(BM_ScrollEvent);

}  // namespace
