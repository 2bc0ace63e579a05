#pragma once
// Where the simulated services report their side effects ("window", "darwinNotify", "haptic", ...):
// one object of fields per effect. halvyn-sim turns them into trace lines; tests read them back.

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "runtime/value.h"

namespace halvyn {

class SimEffectLog {
public:
    struct Effect {
        std::string kind;
        Value fields;  // an object, in trace order
    };

    void record(std::string kind, Value fields) {
        effects.push_back({kind, fields});
        if (onEffect) onEffect(effects.back().kind, effects.back().fields);
    }
    std::vector<Effect> ofKind(const std::string& kind) const {
        std::vector<Effect> out;
        for (auto& e : effects)
            if (e.kind == kind) out.push_back(e);
        return out;
    }

    std::vector<Effect> effects;
    std::function<void(const std::string& kind, const Value& fields)> onEffect;
};

}  // namespace halvyn
