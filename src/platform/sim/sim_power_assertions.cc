#include "platform/sim/sim_power_assertions.h"

#include "platform/sim/effect_log.h"

namespace halvyn {

PowerAssertions::AssertionID SimPowerAssertions::create(const std::string& type, const std::string& reason) {
    if (refused.count(type)) return kNone;
    const AssertionID id = next_++;
    if (next_ == kNone) ++next_;
    held_[id] = type;
    reasons_[id] = reason;
    if (effects_) effects_->record("powerAssertion", {{"type", Value(type)}, {"held", Value(true)}});
    return id;
}

void SimPowerAssertions::release(AssertionID id) {
    auto it = held_.find(id);
    if (it == held_.end()) return;
    const std::string type = it->second;
    held_.erase(it);
    reasons_.erase(id);
    if (effects_) effects_->record("powerAssertion", {{"type", Value(type)}, {"held", Value(false)}});
}

const std::string& SimPowerAssertions::reasonOf(AssertionID id) const {
    static const std::string none;
    auto it = reasons_.find(id);
    return it == reasons_.end() ? none : it->second;
}

}  // namespace halvyn
