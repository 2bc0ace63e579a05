#pragma once
// A scenario file, parsed and validated before anything runs.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include <nlohmann/json.hpp>

#include "runtime/time.h"

namespace halvyn {

class SimRegistry;
struct ActionSpec;

struct ScenarioEvent {
    double at;                 // seconds
    const ActionSpec* action;  // what it does
    // The whole event object is kept as compact JSON text in the scenario's shared arena and
    // parsed again when it runs, so a long scenario stays small in memory.
    const std::string* arena = nullptr;
    std::uint32_t index = 0;  // position in the file's "events", from 0
    std::uint32_t offset = 0;
    std::uint32_t length = 0;
    nlohmann::json args() const { return nlohmann::json::parse(arena->data() + offset, arena->data() + offset + length); }
};

struct Scenario {
    WallTime start;
    int utcOffsetMinutes = 0;
    nlohmann::json settings = nlohmann::json::object();
    nlohmann::json platform = nlohmann::json::object();
    std::vector<ScenarioEvent> events;  // in order of `at`, ties in file order
    std::shared_ptr<std::string> eventText = std::make_shared<std::string>();
    double until = 10;
    std::optional<std::vector<std::string>> trace;  // absent: every object
};

// What a scenario may ask for, so that any accepted scenario finishes in bounded time and no
// walk over its values runs out of stack.
inline constexpr double kMaxScenarioSeconds = 86400;  // "at" and "until", one simulated day
inline constexpr int kMaxScenarioDepth = 100;         // arrays and objects, counted from the top

// The scenario, or the one-line reason it is refused ("event 3: unknown action 'audio.volum'").
std::variant<Scenario, std::string> parseScenario(std::string_view text, const SimRegistry& registry);

// `text` as one printable line: control characters, and bytes that are not UTF-8, are escaped
// (\n, \u001b, \xff), so a refusal never breaks a line or reaches the terminal as a command.
std::string printableLine(std::string_view text);

// Checks an event's arguments against an action's declared shape; returns the problem.
std::optional<std::string> checkArgs(const nlohmann::json& event, const ActionSpec& spec);

}  // namespace halvyn
