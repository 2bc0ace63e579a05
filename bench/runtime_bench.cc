// Main-queue throughput: posting and running tasks on virtual time.

#include <benchmark/benchmark.h>

#include <vector>

#include "runtime/owned_access.h"
#include "runtime/published.h"
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

// Delivery of one property change to 100 (and 1,000) observers: linear in the observers.
namespace {

struct Owner {};

void BM_PublishedChangeTo(benchmark::State& state) {
    halvyn::Owned<int, Owner> value{0};
    std::vector<halvyn::Subscription> subs;
    long heard = 0;
    for (int i = 0; i < state.range(0); ++i)
        subs.push_back(value.observe([&heard](const int&, const halvyn::Animation*) { ++heard; }));
    int v = 0;
    for (auto _ : state) halvyn::setAsOwner(value, ++v);
    benchmark::DoNotOptimize(heard);
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_PublishedChangeTo)->Arg(100)->Arg(1000);

}  // namespace
