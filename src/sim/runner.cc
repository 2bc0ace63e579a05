#include "sim/runner.h"

#include <memory>
#include <ostream>
#include <set>
#include <variant>
#include <vector>

#include "app/context.h"
#include "platform/sim/sim_platform.h"
#include "runtime/properties.h"
#include "runtime/virtual_time.h"
#include "sim/registry.h"
#include "sim/scenario.h"
#include "sim/trace_writer.h"

namespace halvyn {

namespace {

// Log lines go into the trace at the virtual time they were written.
class TraceLogSink final : public LogSink {
public:
    TraceLogSink(TraceWriter& w, const VirtualTime*& time) : w_(w), time_(time) {}
    void write(LogLevel level, std::string_view, std::string_view category, std::string_view message) override {
        w_.line(time_ ? time_->uptime() : Uptime(0),
                {{"log", Value(category)}, {"level", Value(levelName(level))}, {"message", Value(message)}});
    }

private:
    TraceWriter& w_;
    const VirtualTime*& time_;
};

class TraceCallRecorder final : public CallRecorder {
public:
    TraceCallRecorder(TraceWriter& w, VirtualTime& time) : w_(w), time_(time) {}
    void call(std::string_view name, Value args) override {
        w_.line(time_.uptime(), {{"call", Value(name)}, {"args", std::move(args)}});
    }

private:
    TraceWriter& w_;
    VirtualTime& time_;
};

bool traced(const Scenario& s, const std::string& name) {
    if (!s.trace) return true;
    for (auto& n : *s.trace)
        if (n == name) return true;
    return false;
}

}  // namespace

int runScenario(std::string_view text, std::ostream& out, std::ostream& err) {
    return runScenario(text, out, err, SimRegistry::standard());
}

void RunPlayback::advance(VirtualTime& time, Uptime t, bool inclusive) {
    if (inclusive) time.runUntil(t);
    else time.runBefore(t);
}

int runScenario(std::string_view text, std::ostream& out, std::ostream& err, const SimRegistry& registry,
                RunPlayback* playback) {
    RunPlayback instant;
    RunPlayback& play = playback ? *playback : instant;
    auto parsed = parseScenario(text, registry);
    if (auto* problem = std::get_if<std::string>(&parsed)) {
        err << printableLine(*problem) << '\n';
        return 2;
    }
    const Scenario& scenario = std::get<Scenario>(parsed);

    TraceWriter writer(out);
    const VirtualTime* timeForLogs = nullptr;
    TraceLogSink logSink(writer, timeForLogs);

    auto timeOwner = std::make_unique<VirtualTime>(scenario.start);
    VirtualTime& time = *timeOwner;
    timeForLogs = &time;
    auto platformOwner = std::make_unique<SimPlatform>(time);
    SimPlatform& platform = *platformOwner;
    Context ctx(std::move(timeOwner), std::move(platformOwner), &logSink);
    SimWorld world{ctx, platform, time, scenario, &writer};

    platform.effects().setListener([&](const Effect& e) {
        Value::Object fields{{"effect", Value(e.kind)}};
        fields.insert(fields.end(), e.fields.begin(), e.fields.end());
        writer.line(time.uptime(), fields);
    });
    TraceCallRecorder calls(writer, time);
    ctx.setCallRecorder(&calls);

    for (auto& [key, value] : scenario.platform.items()) {
        if (auto* spec = registry.platformKey(key); spec && spec->apply) spec->apply(world, value);
    }
    for (auto& setup : registry.setups()) setup(world);

    // Every manager is built before start-up; traced ones are snapshotted and followed from
    // here on. The objects are followed in the registry's order, each as soon as its manager and
    // the objects before it exist, before the managers built after it subscribe to it: a change
    // prints before the changes it causes.
    std::vector<std::pair<std::string, const PropertySet*>> objects;
    std::vector<Subscription> subscriptions;
    bool following = false;
    std::set<std::string, std::less<>> built;
    std::size_t nextObject = 0;
    auto followBuilt = [&](bool all) {
        const auto& specs = registry.objects();
        for (; nextObject < specs.size(); ++nextObject) {
            const ObjectSpec& spec = specs[nextObject];
            if (!all && !built.contains(spec.manager.empty() ? spec.name : spec.manager)) return;
            const PropertySet& props = spec.properties(world);
            if (!traced(scenario, spec.name)) continue;
            objects.emplace_back(spec.name, &props);
            for (auto& p : props.all()) {
                subscriptions.push_back(p.observe([&writer, &time, &following, obj = spec.name, &p] {
                    // What changes while the managers are being built shows in their snapshots.
                    if (!following) return;
                    writer.line(time.uptime(), {{"obj", Value(obj)}, {"prop", Value(p.name)}, {"value", p.read()}});
                }));
            }
        }
    };
    ctx.assemble({}, [&](std::string_view manager) {
        built.emplace(manager);
        followBuilt(false);
    });
    followBuilt(true);
    for (auto& step : registry.assembled()) step(world);
    for (auto& [name, props] : objects)
        writer.line(time.uptime(), {{"snapshot", Value(name)}, {"value", props->snapshot()}});
    following = true;

    for (auto& step : registry.startups()) step(world);
    play.started(world);

    for (auto& ev : scenario.events) {
        play.advance(time, seconds(ev.at), false);
        play.beforeEvent(world, seconds(ev.at));
        ev.action->run(world, ev.args());
        if (world.ended) break;
    }
    // An ended application runs nothing more: the end state is the one at its end.
    if (!world.ended) play.advance(time, seconds(scenario.until), true);
    play.finished(world);

    for (auto& [name, props] : objects)
        writer.line(time.uptime(), {{"snapshot", Value(name)}, {"value", props->snapshot()}});
    subscriptions.clear();
    ctx.setCallRecorder(nullptr);
    platform.effects().setListener(nullptr);
    out.flush();
    return 0;
}

}  // namespace halvyn
