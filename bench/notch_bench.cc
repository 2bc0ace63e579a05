// A notification request through to the published change of the notch, on virtual time.

#include <benchmark/benchmark.h>

#include <memory>

#include "app/context.h"
#include "notch/notch.h"
#include "notch/notch_sources.h"
#include "platform/sim/sim_platform.h"
#include "runtime/virtual_time.h"

namespace {

using namespace halvyn;

struct Allowing final : NotificationSource, LiveActivitySource {
    bool allowsNotification(Notch::Notification) const override { return true; }
    bool wantsLiveActivity() const override { return wants; }
    bool wants = false;
};

struct World {
    VirtualTime* time;
    std::unique_ptr<Context> ctx;
    Allowing source;
    std::vector<Subscription> regs;
    long published = 0;
    Subscription counting;

    World() {
        auto rt = std::make_unique<VirtualTime>();
        time = rt.get();
        auto pf = std::make_unique<SimPlatform>(*time);
        ctx = std::make_unique<Context>(std::move(rt), std::move(pf), nullptr);
        regs.push_back(ctx->notchSources().addNotificationSource(Notch::Notification::didChangeVolume, source));
        regs.push_back(ctx->notchSources().addLiveActivitySource(Notch::LiveActivity::isPlaying, source));
        ctx->notch().enable();
        time->advance(seconds(1));
        counting = ctx->notch().hasNotification.observe([this](const bool&, const Animation*) { ++published; });
    }
};

// Idle notch: the request shows at once; the close is published on the next turn and its
// completion and restore check run 0.35 s later.
void BM_NotificationShowAndClose(benchmark::State& state) {
    World w;
    Notch& notch = w.ctx->notch();
    for (auto _ : state) {
        notch.setNotification(true, Notch::Notification::didChangeVolume, 0.3, 1.5);
        notch.setNotification(false, Notch::Notification::none, 0.35, 0);
        w.time->advance(seconds(1));
    }
    if (w.published != 2 * static_cast<long>(state.iterations())) state.SkipWithError("a change was not published");
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_NotificationShowAndClose);

// Now playing shows: the request ends it, shows the notification 0.3 s later, closes it after
// 1.5 s and restores the activity 0.35 s after that, all on virtual time.
void BM_NotificationOverLiveActivityFullCycle(benchmark::State& state) {
    World w;
    Notch& notch = w.ctx->notch();
    w.source.wants = true;
    notch.setLiveActivity(true, Notch::LiveActivity::isPlaying, false, {}, 0.35);
    w.time->advance(seconds(1));
    for (auto _ : state) {
        notch.setNotification(true, Notch::Notification::didChangeVolume, 0.3, 1.5);
        w.time->advance(seconds(3));
    }
    if (w.published != 2 * static_cast<long>(state.iterations()) || !notch.hasLiveActivity)
        state.SkipWithError("the cycle did not complete");
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_NotificationOverLiveActivityFullCycle);

}  // namespace
