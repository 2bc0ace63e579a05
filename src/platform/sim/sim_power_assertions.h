#pragma once
// Simulated power assertions. Taking and releasing one are "powerAssertion" effects (type, held);
// a type the scenario refuses is not granted.

#include <map>
#include <set>
#include <string>

#include "platform/power_assertions.h"

namespace halvyn {

class EffectLog;

class SimPowerAssertions final : public PowerAssertions {
public:
    explicit SimPowerAssertions(EffectLog* effects) : effects_(effects) {}

    AssertionID create(const std::string& type, const std::string& reason) override;
    void release(AssertionID id) override;

    // Simulation controls and inspection.
    std::set<std::string> refused;
    // The assertions held now: id → type.
    const std::map<AssertionID, std::string>& held() const { return held_; }
    const std::string& reasonOf(AssertionID id) const;

private:
    EffectLog* effects_;
    std::map<AssertionID, std::string> held_;
    std::map<AssertionID, std::string> reasons_;
    AssertionID next_ = 1;
};

}  // namespace halvyn
