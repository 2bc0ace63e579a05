#pragma once
// A scenario file, parsed and validated before anything runs.

#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include <nlohmann/json.hpp>

#include "runtime/time.h"

namespace halvyn {

class SimRegistry;

struct ScenarioEvent {
    std::size_t index;     // position in the file's "events", from 0
    double at;             // seconds
    std::string action;
    // The whole event object as compact JSON text: a long scenario keeps its events small and
    // each is parsed again when it runs.
    std::string json;
    nlohmann::json args() const { return nlohmann::json::parse(json); }
};

struct Scenario {
    WallTime start;
    int utcOffsetMinutes = 0;
    nlohmann::json settings = nlohmann::json::object();
    nlohmann::json platform = nlohmann::json::object();
    std::vector<ScenarioEvent> events;  // in order of `at`, ties in file order
    double until = 10;
    std::optional<std::vector<std::string>> trace;  // absent: every object
};

// The scenario, or the one-line reason it is refused ("event 3: unknown action 'audio.volum'").
std::variant<Scenario, std::string> parseScenario(std::string_view text, const SimRegistry& registry);

// Checks an event's arguments against an action's declared shape; returns the problem.
std::optional<std::string> checkArgs(const nlohmann::json& event, const struct ActionSpec& spec);

}  // namespace halvyn
