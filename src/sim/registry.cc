#include "sim/registry.h"

#include <nlohmann/json.hpp>

namespace halvyn {

void SimRegistry::addAction(ActionSpec spec) {
    auto name = spec.name;
    actions_[name] = std::move(spec);
}

void SimRegistry::addObject(ObjectSpec spec) { objects_.push_back(std::move(spec)); }

void SimRegistry::addPlatformKey(PlatformKeySpec spec) {
    auto name = spec.name;
    platformKeys_[name] = std::move(spec);
}

void SimRegistry::addSetup(std::function<void(SimWorld&)> fn) { setups_.push_back(std::move(fn)); }
void SimRegistry::addAssembled(std::function<void(SimWorld&)> fn) { assembled_.push_back(std::move(fn)); }
void SimRegistry::addStartup(std::function<void(SimWorld&)> fn) { startups_.push_back(std::move(fn)); }
void SimRegistry::setSettingsValidator(std::function<std::optional<std::string>(const nlohmann::json&)> fn) {
    settingsValidator_ = std::move(fn);
}

const ActionSpec* SimRegistry::action(const std::string& name) const {
    auto it = actions_.find(name);
    return it == actions_.end() ? nullptr : &it->second;
}

const ObjectSpec* SimRegistry::object(const std::string& name) const {
    for (auto& o : objects_)
        if (o.name == name) return &o;
    return nullptr;
}

const PlatformKeySpec* SimRegistry::platformKey(const std::string& name) const {
    auto it = platformKeys_.find(name);
    return it == platformKeys_.end() ? nullptr : &it->second;
}

const SimRegistry& SimRegistry::standard() {
    static const SimRegistry registry = [] {
        SimRegistry r;
        registerAllGroups(r);
        return r;
    }();
    return registry;
}

}  // namespace halvyn
