#include "sim/scenario.h"

#include <algorithm>
#include <cmath>
#include <set>

#include "runtime/dates.h"
#include "sim/registry.h"

namespace halvyn {

namespace {

const char* typeName(ArgType t) {
    switch (t) {
        case ArgType::number: return "a number";
        case ArgType::boolean: return "a Boolean";
        case ArgType::string: return "a string";
        case ArgType::object: return "an object";
        case ArgType::array: return "an array";
        case ArgType::any: return "a value";
    }
    return "a value";
}

bool hasType(const nlohmann::json& v, ArgType t) {
    switch (t) {
        case ArgType::number: return v.is_number() && std::isfinite(v.get<double>());
        case ArgType::boolean: return v.is_boolean();
        case ArgType::string: return v.is_string();
        case ArgType::object: return v.is_object();
        case ArgType::array: return v.is_array();
        case ArgType::any: return true;
    }
    return false;
}

}  // namespace

std::optional<std::string> checkArgs(const nlohmann::json& event, const ActionSpec& spec) {
    for (auto& arg : spec.args) {
        auto it = event.find(arg.name);
        if (it == event.end()) {
            if (arg.required) return "missing argument '" + arg.name + "' of '" + spec.name + "'";
            continue;
        }
        if (!hasType(*it, arg.type))
            return "argument '" + arg.name + "' of '" + spec.name + "' must be " + typeName(arg.type);
        if (!arg.oneOf.empty() &&
            std::find(arg.oneOf.begin(), arg.oneOf.end(), it->get<std::string>()) == arg.oneOf.end()) {
            std::string allowed;
            for (auto& o : arg.oneOf) allowed += (allowed.empty() ? "'" : ", '") + o + "'";
            return "argument '" + arg.name + "' of '" + spec.name + "' must be one of " + allowed;
        }
    }
    if (spec.validate) return spec.validate(event);
    return std::nullopt;
}

namespace {

// Validates one element of "events" and keeps it in compact form.
std::optional<std::string> takeEvent(const nlohmann::json& ev, std::size_t index, const SimRegistry& registry,
                                     Scenario& out) {
    const std::string where = "event " + std::to_string(index) + ": ";
    if (!ev.is_object()) return where + "must be an object";
    auto at = ev.find("at");
    if (at == ev.end()) return where + "missing 'at'";
    if (!at->is_number() || !std::isfinite(at->get<double>())) return where + "'at' must be a number";
    const double t = at->get<double>();
    if (t < 0) return where + "negative time " + at->dump();
    auto what = ev.find("do");
    if (what == ev.end()) return where + "missing 'do'";
    if (!what->is_string()) return where + "'do' must be a string";
    const std::string name = what->get<std::string>();
    auto* spec = registry.action(name);
    if (!spec) return where + "unknown action '" + name + "'";
    if (auto problem = checkArgs(ev, *spec)) return where + *problem;
    std::string& arena = *out.eventText;
    const std::size_t offset = arena.size();
    arena += ev.dump();
    if (arena.size() > UINT32_MAX || index > UINT32_MAX) return where + "the scenario is too large";
    out.events.push_back({t, spec, &arena, static_cast<std::uint32_t>(index), static_cast<std::uint32_t>(offset),
                          static_cast<std::uint32_t>(arena.size() - offset)});
    return std::nullopt;
}

struct Refused {
    std::string why;
};

}  // namespace

std::variant<Scenario, std::string> parseScenario(std::string_view text, const SimRegistry& registry) {
    Scenario s;
    // Compact event texts are almost never longer than the file they come from.
    s.eventText->reserve(text.size());
    nlohmann::json doc;
    // Events are validated as they are parsed and dropped from the document, so that a scenario
    // of a hundred thousand events never lives in memory as a full JSON tree.
    std::string topKey;
    std::size_t eventIndex = 0;
    bool eventsIsArray = false;
    auto callback = [&](int depth, nlohmann::json::parse_event_t ev, nlohmann::json& parsed) {
        using E = nlohmann::json::parse_event_t;
        if (depth == 1 && ev == E::key) topKey = parsed.get<std::string>();
        if (depth == 1 && ev == E::array_start && topKey == "events") eventsIsArray = true;
        if (depth == 2 && topKey == "events" && eventsIsArray &&
            (ev == E::object_end || ev == E::array_end || ev == E::value)) {
            if (auto problem = takeEvent(parsed, eventIndex++, registry, s)) throw Refused{*problem};
            return false;
        }
        return true;
    };
    try {
        doc = nlohmann::json::parse(text.begin(), text.end(), callback);
    } catch (const nlohmann::json::parse_error& e) {
        return std::string("scenario: not valid JSON: ") + e.what();
    } catch (const Refused& r) {
        return r.why;
    }
    if (!doc.is_object()) return std::string("scenario: the top level must be an object");

    static const std::set<std::string> known = {"start", "utcOffset", "settings", "platform",
                                                "events", "until", "trace"};
    for (auto& [k, v] : doc.items()) {
        (void)v;
        if (!known.count(k)) return "scenario: unknown field '" + k + "'";
    }

    s.start = *parseIso8601("2026-01-05T09:00:00Z");
    if (auto it = doc.find("start"); it != doc.end()) {
        if (!it->is_string()) return std::string("scenario: 'start' must be an ISO 8601 string");
        auto t = parseIso8601(it->get<std::string>());
        if (!t) return "scenario: 'start' is not an ISO 8601 time: '" + it->get<std::string>() + "'";
        s.start = *t;
    }
    if (auto it = doc.find("utcOffset"); it != doc.end()) {
        auto off = it->is_string() ? parseUtcOffset(it->get<std::string>()) : std::nullopt;
        if (!off) return std::string("scenario: 'utcOffset' must look like \"+01:00\"");
        s.utcOffsetMinutes = *off;
    }
    if (auto it = doc.find("settings"); it != doc.end()) {
        if (!it->is_object()) return std::string("scenario: 'settings' must be an object");
        if (auto& check = registry.settingsValidator()) {
            if (auto problem = check(*it)) return "scenario: " + *problem;
        }
        s.settings = *it;
    }
    if (auto it = doc.find("platform"); it != doc.end()) {
        if (!it->is_object()) return std::string("scenario: 'platform' must be an object");
        for (auto& [k, v] : it->items()) {
            auto* spec = registry.platformKey(k);
            if (!spec) return "scenario: unknown platform service '" + k + "'";
            if (spec->validate) {
                if (auto problem = spec->validate(v)) return "scenario: platform '" + k + "': " + *problem;
            }
        }
        s.platform = *it;
    }
    if (auto it = doc.find("events"); it != doc.end() && !it->is_array())
        return std::string("scenario: 'events' must be an array");
    std::stable_sort(s.events.begin(), s.events.end(),
                     [](const ScenarioEvent& a, const ScenarioEvent& b) { return a.at < b.at; });
    s.events.shrink_to_fit();
    s.until = s.events.empty() ? 10.0 : s.events.back().at + 10.0;
    if (auto it = doc.find("until"); it != doc.end()) {
        if (!it->is_number() || !std::isfinite(it->get<double>())) return std::string("scenario: 'until' must be a number");
        s.until = it->get<double>();
        if (s.until < 0) return std::string("scenario: negative 'until'");
        for (auto& ev : s.events) {
            if (ev.at > s.until)
                return "event " + std::to_string(ev.index) + ": 'at' is after 'until'";
        }
    }
    if (auto it = doc.find("trace"); it != doc.end()) {
        if (!it->is_array()) return std::string("scenario: 'trace' must be an array of object names");
        std::vector<std::string> names;
        for (auto& n : *it) {
            if (!n.is_string()) return std::string("scenario: 'trace' must be an array of object names");
            if (!registry.object(n.get<std::string>()))
                return "scenario: unknown object '" + n.get<std::string>() + "' in 'trace'";
            names.push_back(n.get<std::string>());
        }
        s.trace = std::move(names);
    }
    return s;
}

}  // namespace halvyn
