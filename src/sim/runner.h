#pragma once
// Plays a scenario through the whole system on the simulated platform in virtual time and
// writes the trace: one JSON object per line.

#include <iosfwd>
#include <string_view>

#include "runtime/time.h"

namespace halvyn {

class SimRegistry;
class VirtualTime;
struct SimWorld;

// Where a run goes besides its trace (the desktop program's window, or frames on disk). The
// hooks only watch and pace the run; what happens in it is the same with or without them.
class RunPlayback {
public:
    virtual ~RunPlayback() = default;
    // After start-up, before the first event.
    virtual void started(SimWorld&) {}
    // Brings virtual time to `t`: every task due before it (or, when `inclusive`, due at it)
    // runs on the way.
    virtual void advance(VirtualTime& time, Uptime t, bool inclusive);
    // At an event's time, after the tasks due before it and before the event runs.
    virtual void beforeEvent(SimWorld&, Uptime) {}
    // At the end, before the closing snapshots.
    virtual void finished(SimWorld&) {}
};

// Exit status: 0 after a run, 2 when the scenario is refused (nothing is written to `out` then,
// and one line naming the problem goes to `err`).
int runScenario(std::string_view scenarioText, std::ostream& out, std::ostream& err);
int runScenario(std::string_view scenarioText, std::ostream& out, std::ostream& err, const SimRegistry& registry,
                RunPlayback* playback = nullptr);

}  // namespace halvyn
