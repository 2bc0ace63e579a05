// halvyn-sim playing a long scenario: 100,000 settings changes through validation, playback,
// observers and the trace.

#include <benchmark/benchmark.h>

#include <ostream>
#include <sstream>
#include <streambuf>
#include <string>

#include "sim/runner.h"

namespace {

class NullBuffer final : public std::streambuf {
protected:
    int overflow(int c) override { return c; }
    std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

std::string longScenario(int events) {
    static const char* speeds[] = {"smooth", "fast", "instant"};
    std::string s = R"({"trace":["Settings"],"events":[)";
    for (int i = 0; i < events; ++i) {
        if (i) s += ',';
        s += R"({"at":)" + std::to_string(i * 0.01) + R"(,"do":"settings.set","key":"hudSpeed","value":")" +
             speeds[i % 3] + "\"}";
    }
    s += "]}";
    return s;
}

void BM_Sim100kSettingsSet(benchmark::State& state) {
    const std::string text = longScenario(100'000);
    NullBuffer nb;
    std::ostream out(&nb);
    std::ostringstream err;
    for (auto _ : state) {
        if (halvyn::runScenario(text, out, err) != 0) state.SkipWithError("scenario refused");
    }
    state.SetItemsProcessed(state.iterations() * 100'000);
}
BENCHMARK(BM_Sim100kSettingsSet)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
