#pragma once
// halvyn-sim's two ways of showing a run: in the desktop program's notch window in real time,
// or as PNG frames of the notch written headless. The trace on standard output is the same as
// without them.

#include <iosfwd>
#include <string>
#include <string_view>

namespace halvyn {

// Plays the scenario in real time in the notch window, at the top centre of the primary screen.
int runScenarioInWindow(std::string_view scenarioText, std::ostream& out, std::ostream& err);

// Writes DIR/NNN-T.png at every event's time T (before the event runs) and DIR/end-T.png at the
// end, on the offscreen platform. Says on `err` where the frames are.
int runScenarioToFrames(const std::string& dir, std::string_view scenarioText, std::ostream& out, std::ostream& err);

}  // namespace halvyn
