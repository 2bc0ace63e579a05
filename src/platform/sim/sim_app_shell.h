#pragma once
// The simulated shell of the application state: its named windows, each opening and closing
// recorded as a `window` effect (owner: the window's name), and whether the process was ended.

#include <set>
#include <string>

#include "app/app_shell.h"
#include "platform/sim/effect_log.h"

namespace halvyn {

class SimAppShell final : public AppShell {
public:
    explicit SimAppShell(EffectLog* effects) : effects_(effects) {}

    bool openWindow(const std::string& name) override {
        // Bringing an open window to the front again is not a change a user sees.
        if (open_.insert(name).second) record(name, "open");
        return true;
    }
    void closeWindow(const std::string& name) override {
        if (open_.erase(name)) record(name, "close");
    }
    // Shown through the application state's own traced properties.
    void setStatusItemVisible(bool) override {}
    void terminate() override { terminated = true; }

    bool isOpen(const std::string& name) const { return open_.count(name) != 0; }
    bool terminated = false;

private:
    void record(const std::string& name, const char* action) {
        if (effects_) effects_->record("window", {{"owner", Value(name)}, {"action", Value(action)}});
    }

    EffectLog* effects_;
    std::set<std::string> open_;
};

}  // namespace halvyn
