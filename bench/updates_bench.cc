// The change notes of a large release, and how long the main queue is held during an update
// check whose release carries them.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "app/context.h"
#include "platform/sim/sim_platform.h"
#include "runtime/logger.h"
#include "runtime/virtual_time.h"
#include "settings/json_value.h"
#include "updates/changelog.h"
#include "updates/update_controller.h"

namespace halvyn {
namespace {

// About `bytes` of notes: sections of every marker, bullets with inner "- " and Markdown.
std::string changelogText(std::size_t bytes) {
    static const char* markers[] = {"📣", "✨", "🐞", "★"};
    std::string s;
    for (int section = 0; s.size() < bytes; ++section) {
        s += "## " + std::string(markers[section % 4]) + " Section " + std::to_string(section % 500) + "\r\n";
        for (int i = 0; i < 20 && s.size() < bytes; ++i)
            s += "- **Note** " + std::to_string(i) + " makes things - much - faster, see `code` and well-known links\n";
    }
    return s;
}

void BM_ParseChangelog1MiB(benchmark::State& state) {
    const std::string text = changelogText(std::size_t{1} << 20);
    long long n = 0;
    for (auto _ : state) {
        auto c = parseChangelog(text, [&n] { return std::to_string(++n); });
        benchmark::DoNotOptimize(c);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_ParseChangelog1MiB)->Unit(benchmark::kMillisecond);

// Main queue on virtual time that measures each task on the wall clock; background work is kept
// aside and run between main-queue turns, as a worker thread would.
class MeasuredRuntime final : public Runtime, public MainQueue {
public:
    Clock& clock() override { return vt; }
    MainQueue& main() override { return *this; }
    BackgroundQueue& background() override { return worker; }
    void post(Task task) override { vt.post(timed(std::move(task))); }
    TaskHandle postAfter(Duration d, Task task) override { return vt.postAfter(d, timed(std::move(task))); }

    struct Background final : BackgroundQueue {
        std::vector<Task> tasks;
        void post(Task t) override { tasks.push_back(std::move(t)); }
    } worker;

    Task timed(Task task) {
        return [this, task = std::move(task)] {
            const auto start = std::chrono::steady_clock::now();
            task();
            longest = std::max(longest, std::chrono::steady_clock::now() - start);
        };
    }
    // Runs the main queue and the worker until both are idle.
    void settle() {
        do {
            vt.runCurrent();
            auto tasks = std::move(worker.tasks);
            worker.tasks.clear();
            for (auto& t : tasks) t();
        } while (vt.pendingCount() && vt.nextDue() <= vt.uptime());
        vt.runCurrent();
    }

    VirtualTime vt;
    std::chrono::steady_clock::duration longest{};
};

void BM_LongestMainQueueTaskDuringCheck(benchmark::State& state) {
    const std::string body = changelogText(std::size_t{1} << 20);
    Value release(Value::Object{{"id", Value(1)},
                                {"tag_name", Value("99.0")},
                                {"name", Value("Big")},
                                {"body", Value(body)},
                                {"assets", Value::array()},
                                {"prerelease", Value(false)},
                                {"published_at", Value("")}});
    const std::string json = release.toJson();
    double worstMs = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto runtime = std::make_unique<MeasuredRuntime>();
        MeasuredRuntime* rt = runtime.get();
        auto platform = std::make_unique<SimPlatform>(*rt);
        platform->simHttp().setServer("https://updates.halvyn.app/", [&json](const HttpRequest&) {
            return std::optional<HttpResponse>(HttpResponse{200, {}, json, {}});
        });
        Context ctx(std::move(runtime), std::move(platform), nullptr);
        UpdateController& u = ctx.updates();
        rt->settle();
        rt->longest = {};
        state.ResumeTiming();

        rt->post([&u] { u.checkForUpdates(); });
        rt->settle();
        if (u.updateState.get() != UpdateAvailability::available) state.SkipWithError("the check did not finish");
        worstMs = std::max(worstMs, std::chrono::duration<double, std::milli>(rt->longest).count());
    }
    state.counters["longestMainTaskMs"] = worstMs;
}
BENCHMARK(BM_LongestMainQueueTaskDuringCheck)->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace
}  // namespace halvyn
