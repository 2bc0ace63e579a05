#pragma once
// Every side effect the simulated system is asked to make (a sound played, a window framed, a
// signal sent ...), in order. Tests assert on it; halvyn-sim traces it.

#include <functional>
#include <string>
#include <vector>

#include "runtime/value.h"

namespace halvyn {

struct Effect {
    std::string kind;     // "sound", "window", "haptic" ...
    Value::Object fields; // in trace order
};

class EffectLog {
public:
    void record(std::string kind, Value::Object fields) {
        effects_.push_back({std::move(kind), std::move(fields)});
        if (listener_) listener_(effects_.back());
    }
    const std::vector<Effect>& all() const { return effects_; }
    std::vector<Effect> ofKind(const std::string& kind) const {
        std::vector<Effect> out;
        for (auto& e : effects_)
            if (e.kind == kind) out.push_back(e);
        return out;
    }
    void clear() { effects_.clear(); }
    void setListener(std::function<void(const Effect&)> l) { listener_ = std::move(l); }

private:
    std::vector<Effect> effects_;
    std::function<void(const Effect&)> listener_;
};

}  // namespace halvyn
