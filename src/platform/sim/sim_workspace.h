#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/workspace.h"

namespace halvyn {

// Workspace and distributed notifications, delivered at once to the observers.
class SimWorkspace final : public Workspace {
public:
    Subscription observe(WorkspaceEvent event, std::function<void()> cb) override;
    Subscription observeDistributed(const std::string& name, std::function<void()> cb) override;
    void postDistributed(const std::string& name) override;

    // Simulation controls.
    void post(WorkspaceEvent event);
    // Every distributed notification posted, in order.
    std::vector<std::string> posted;

private:
    Signal<>& signalFor(const std::string& key);
    std::map<std::string, std::unique_ptr<Signal<>>> signals_;
};

}  // namespace halvyn
