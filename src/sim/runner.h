#pragma once
// Plays a scenario through the whole system on the simulated platform in virtual time and
// writes the trace: one JSON object per line.

#include <iosfwd>
#include <string_view>

namespace halvyn {

class SimRegistry;

// Exit status: 0 after a run, 2 when the scenario is refused (nothing is written to `out` then,
// and one line naming the problem goes to `err`).
int runScenario(std::string_view scenarioText, std::ostream& out, std::ostream& err);
int runScenario(std::string_view scenarioText, std::ostream& out, std::ostream& err, const SimRegistry& registry);

}  // namespace halvyn
