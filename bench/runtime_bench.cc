// Main-queue throughput: posting and running tasks on virtual time.

#include <benchmark/benchmark.h>

#include "runtime/virtual_time.h"

namespace {

void BM_PostAndRun(benchmark::State& state) {
    halvyn::VirtualTime vt;
    long counter = 0;
    const int batch = 1000;
    for (auto _ : state) {
        for (int i = 0; i < batch; ++i) vt.post([&counter] { ++counter; });
        vt.runCurrent();
    }
    benchmark::DoNotOptimize(counter);
    state.SetItemsProcessed(state.iterations() * batch);
}
BENCHMARK(BM_PostAndRun);

void BM_PostAfterAndRun(benchmark::State& state) {
    halvyn::VirtualTime vt;
    long counter = 0;
    const int batch = 1000;
    for (auto _ : state) {
        for (int i = 0; i < batch; ++i)
            vt.postAfter(halvyn::Duration(i % 17), [&counter] { ++counter; });
        vt.advance(halvyn::Duration(20));
    }
    benchmark::DoNotOptimize(counter);
    state.SetItemsProcessed(state.iterations() * batch);
}
BENCHMARK(BM_PostAfterAndRun);

}  // namespace
