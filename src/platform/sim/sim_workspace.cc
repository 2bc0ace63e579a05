#include "platform/sim/sim_workspace.h"

namespace halvyn {

namespace {
std::string eventKey(WorkspaceEvent e) {
    switch (e) {
        case WorkspaceEvent::willSleep: return "workspace:willSleep";
        case WorkspaceEvent::didWake: return "workspace:didWake";
        case WorkspaceEvent::screensDidSleep: return "workspace:screensDidSleep";
        case WorkspaceEvent::screensDidWake: return "workspace:screensDidWake";
        case WorkspaceEvent::activeSpaceDidChange: return "workspace:activeSpaceDidChange";
    }
    return "workspace:?";
}
}  // namespace

Signal<>& SimWorkspace::signalFor(const std::string& key) {
    auto& s = signals_[key];
    if (!s) s = std::make_unique<Signal<>>();
    return *s;
}

Subscription SimWorkspace::observe(WorkspaceEvent event, std::function<void()> cb) {
    return signalFor(eventKey(event)).connect(std::move(cb));
}

Subscription SimWorkspace::observeDistributed(const std::string& name, std::function<void()> cb) {
    return signalFor("distributed:" + name).connect(std::move(cb));
}

void SimWorkspace::postDistributed(const std::string& name) {
    posted.push_back(name);
    signalFor("distributed:" + name).emit();
}

void SimWorkspace::post(WorkspaceEvent event) { signalFor(eventKey(event)).emit(); }

}  // namespace halvyn
