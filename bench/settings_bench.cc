// Reading a setting: managers read keys at every use, so a Boolean read must stay cheap.

#include <benchmark/benchmark.h>

#include <memory>
#include <string_view>
#include <vector>

#include "app/context.h"
#include "platform/sim/sim_platform.h"
#include "runtime/virtual_time.h"
#include "settings/defaults.h"
#include "settings/keys.h"

namespace halvyn {
namespace {

struct Store {
    Store() {
        auto vt = std::make_unique<VirtualTime>();
        time = vt.get();
        auto platform = std::make_unique<SimPlatform>(*vt);
        ctx = std::make_unique<Context>(std::move(vt), std::move(platform), nullptr);
        ctx->defaults();
    }
    VirtualTime* time = nullptr;
    std::unique_ptr<Context> ctx;
};

// Nothing stored: the registered default answers.
void BM_ReadBooleanDefault(benchmark::State& state) {
    Store s;
    Defaults& d = s.ctx->defaults();
    for (auto _ : state) benchmark::DoNotOptimize(d.get(keys::allowVolumeWhenFocused));
}
BENCHMARK(BM_ReadBooleanDefault);

void BM_ReadBooleanStored(benchmark::State& state) {
    Store s;
    Defaults& d = s.ctx->defaults();
    d.set(keys::allowVolumeWhenFocused, false);
    for (auto _ : state) benchmark::DoNotOptimize(d.get(keys::allowVolumeWhenFocused));
}
BENCHMARK(BM_ReadBooleanStored);

void BM_ReadOption(benchmark::State& state) {
    Store s;
    Defaults& d = s.ctx->defaults();
    d.set(keys::connectivityModel, ConnectivityModel::symbol);
    for (auto _ : state) benchmark::DoNotOptimize(d.get(keys::connectivityModel));
}
BENCHMARK(BM_ReadOption);

// One change of a setting, delivered while 100 observers watch: one of its key and the rest
// spread over other keys (the managers' usual pattern), or all 100 on the changed key.
void BM_SettingChangeWith100Observers(benchmark::State& state) {
    Store s;
    Defaults& d = s.ctx->defaults();
    VirtualTime& time = *s.time;
    const bool sameKey = state.range(0) == 1;
    std::vector<Subscription> subs;
    long heard = 0;
    std::size_t k = 0;
    for (int i = 0; i < 100; ++i) {
        if (sameKey || i == 0) {
            subs.push_back(d.observe(keys::enableHaptics, [&heard](const bool&, const bool&) { ++heard; }));
            continue;
        }
        // Other keys, by their stored observation.
        const KeyInfo& key = allKeys()[++k % allKeys().size()];
        if (key.name == std::string_view("enableHaptics")) continue;
        subs.push_back(d.observeStored(key.name, [](const auto&, const auto&) {}));
    }
    bool on = true;
    for (auto _ : state) {
        on = !on;
        d.set(keys::enableHaptics, on);
        time.runCurrent();
    }
    benchmark::DoNotOptimize(heard);
}
BENCHMARK(BM_SettingChangeWith100Observers)->Arg(0)->Arg(1);

}  // namespace
}  // namespace halvyn
