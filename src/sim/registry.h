#pragma once
// What halvyn-sim knows: the actions it can play, the objects it can trace, the platform state
// it can set up and what runs at start-up. Each group of actions registers itself from its own
// file (sim/group_*.cc) through registerAllGroups.

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

namespace halvyn {

class Context;
class PropertySet;
class SimPlatform;
class TraceWriter;
class VirtualTime;
struct Scenario;

// Everything an action may touch while it runs.
struct SimWorld {
    Context& ctx;
    SimPlatform& platform;
    VirtualTime& time;
    const Scenario& scenario;
    // Where actions that print their own lines (the status menu) write them.
    TraceWriter* trace = nullptr;
    // The application ended: no event runs after it.
    bool ended = false;
};

enum class ArgType { number, boolean, string, object, array, any };

struct ArgSpec {
    std::string name;
    ArgType type;
    bool required = true;
    std::vector<std::string> oneOf;  // for strings: the allowed values (empty = any)
};

struct ActionSpec {
    std::string name;
    std::vector<ArgSpec> args;
    // Checks beyond the argument shapes (an unknown setting key, say); returns the problem.
    std::function<std::optional<std::string>(const nlohmann::json& event)> validate;
    std::function<void(SimWorld&, const nlohmann::json& event)> run;
};

struct ObjectSpec {
    std::string name;
    // Returns the object's properties, once its manager is built.
    std::function<const PropertySet&(SimWorld&)> properties;
    // The class name of that manager, where it is not the object's name.
    std::string manager;
};

struct PlatformKeySpec {
    std::string name;
    // Checks the value given under "platform"; returns the problem.
    std::function<std::optional<std::string>(const nlohmann::json& value)> validate;
    // Applies it to the simulated system before start-up.
    std::function<void(SimWorld&, const nlohmann::json& value)> apply;
};

class SimRegistry {
public:
    void addAction(ActionSpec spec);
    void addObject(ObjectSpec spec);
    void addPlatformKey(PlatformKeySpec spec);
    // Runs before start-up, after the platform state is applied (storing the scenario's
    // settings, say). In registration order.
    void addSetup(std::function<void(SimWorld&)> fn);
    // Runs once every manager is built, before start-up (lending a manager what the simulated
    // system provides). In registration order.
    void addAssembled(std::function<void(SimWorld&)> fn);
    // Start-up steps, in registration order.
    void addStartup(std::function<void(SimWorld&)> fn);
    // Checks of the scenario's top-level "settings" object; returns the problem.
    void setSettingsValidator(std::function<std::optional<std::string>(const nlohmann::json&)> fn);

    const ActionSpec* action(const std::string& name) const;
    const ObjectSpec* object(const std::string& name) const;
    const PlatformKeySpec* platformKey(const std::string& name) const;
    const std::vector<ObjectSpec>& objects() const { return objects_; }
    const std::vector<std::function<void(SimWorld&)>>& setups() const { return setups_; }
    const std::vector<std::function<void(SimWorld&)>>& assembled() const { return assembled_; }
    const std::vector<std::function<void(SimWorld&)>>& startups() const { return startups_; }
    const std::function<std::optional<std::string>(const nlohmann::json&)>& settingsValidator() const {
        return settingsValidator_;
    }

    // The registry with every group that exists.
    static const SimRegistry& standard();

private:
    std::map<std::string, ActionSpec> actions_;
    std::vector<ObjectSpec> objects_;
    std::map<std::string, PlatformKeySpec> platformKeys_;
    std::vector<std::function<void(SimWorld&)>> setups_;
    std::vector<std::function<void(SimWorld&)>> assembled_;
    std::vector<std::function<void(SimWorld&)>> startups_;
    std::function<std::optional<std::string>(const nlohmann::json&)> settingsValidator_;
};

// One line per group; each is defined in its sim/group_*.cc.
void registerAllGroups(SimRegistry& registry);

}  // namespace halvyn
