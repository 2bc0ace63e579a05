#include "sim/scenario.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
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
    if (t > kMaxScenarioSeconds) return where + "'at' is beyond " + std::to_string(int(kMaxScenarioSeconds)) + " seconds";
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

// The text the parser names in an overflow message ("... parsing '1e400'").
std::string offendingNumber(const char* what) {
    std::string_view w(what);
    const auto from = w.find("parsing '");
    const auto to = w.rfind('\'');
    if (from == std::string_view::npos || to <= from + 9) return {};
    return ": " + std::string(w.substr(from + 9, to - from - 9));
}

// The length of the UTF-8 sequence `s` starts with, or 0 when it is not a valid one.
std::size_t utf8Length(std::string_view s) {
    const auto b = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    const auto cont = [&](std::size_t i) { return i < s.size() && (b(i) & 0xC0) == 0x80; };
    const unsigned char c = b(0);
    if (c >= 0xC2 && c <= 0xDF) return cont(1) ? 2 : 0;
    if (c >= 0xE0 && c <= 0xEF) {
        if (!cont(1) || !cont(2)) return 0;
        if ((c == 0xE0 && b(1) < 0xA0) || (c == 0xED && b(1) > 0x9F)) return 0;  // overlong, surrogate
        return 3;
    }
    if (c >= 0xF0 && c <= 0xF4) {
        if (!cont(1) || !cont(2) || !cont(3)) return 0;
        if ((c == 0xF0 && b(1) < 0x90) || (c == 0xF4 && b(1) > 0x8F)) return 0;
        return 4;
    }
    return 0;
}

}  // namespace

std::string printableLine(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    char buf[8];
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20 || c == 0x7F) {
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (const std::size_t n = utf8Length(text.substr(i))) {
            // C1 controls (U+0080..U+009F) act as terminal commands too.
            if (n == 2 && c == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0) {
                std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned char>(text[i + 1]));
                out += buf;
            } else {
                out.append(text.substr(i, n));
            }
            i += n;
            continue;
        } else {
            std::snprintf(buf, sizeof buf, "\\x%02x", c);
            out += buf;
        }
        ++i;
    }
    return out;
}

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
    bool inEvents = false;
    // Where the parser is, for a refusal found in the middle of a value.
    auto where = [&] {
        if (inEvents) return "event " + std::to_string(eventIndex) + ": ";
        if (!topKey.empty()) return "scenario: '" + topKey + "': ";
        return std::string("scenario: ");
    };
    auto callback = [&](int depth, nlohmann::json::parse_event_t ev, nlohmann::json& parsed) {
        using E = nlohmann::json::parse_event_t;
        if (depth == 1 && ev == E::key) topKey = parsed.get<std::string>();
        if (depth == 1 && ev == E::array_start && topKey == "events") eventsIsArray = inEvents = true;
        if (depth == 1 && ev == E::array_end) inEvents = false;
        // The reader itself keeps its own stack, but the walks over a value afterwards recurse.
        if ((ev == E::object_start || ev == E::array_start) && depth >= kMaxScenarioDepth)
            throw Refused{where() + "nested deeper than " + std::to_string(kMaxScenarioDepth) + " levels"};
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
    } catch (const nlohmann::json::out_of_range& e) {
        // A number beyond the range of a double ("1e400").
        return where() + "number out of range" + offendingNumber(e.what());
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
    s.until = s.events.empty() ? 10.0 : std::min(s.events.back().at + 10.0, kMaxScenarioSeconds);
    if (auto it = doc.find("until"); it != doc.end()) {
        if (!it->is_number() || !std::isfinite(it->get<double>())) return std::string("scenario: 'until' must be a number");
        s.until = it->get<double>();
        if (s.until < 0) return std::string("scenario: negative 'until'");
        if (s.until > kMaxScenarioSeconds)
            return "scenario: 'until' is beyond " + std::to_string(int(kMaxScenarioSeconds)) + " seconds";
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
