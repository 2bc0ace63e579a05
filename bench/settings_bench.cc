// Reading a setting: managers read keys at every use, so a Boolean read must stay cheap.

#include <benchmark/benchmark.h>

#include <memory>

#include "app/context.h"
#include "platform/sim/sim_platform.h"
#include "runtime/virtual_time.h"
#include "settings/defaults.h"

namespace halvyn {
namespace {

struct Store {
    Store() {
        auto vt = std::make_unique<VirtualTime>();
        auto platform = std::make_unique<SimPlatform>(*vt);
        ctx = std::make_unique<Context>(std::move(vt), std::move(platform), nullptr);
        ctx->defaults();
    }
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

}  // namespace
}  // namespace halvyn
