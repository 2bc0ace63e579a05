#pragma once
// Processes on Linux: signals and the stopped state from the kernel, pgrep, and the running
// applications, the frontmost one and the owners of on-screen windows from the window manager's
// list (EWMH). Without an X display the application parts are empty.

#include "platform/processes.h"

namespace halvyn {

class EwmhWatcher;

class LinuxProcesses final : public Processes {
public:
    // `windows` may be null or disconnected.
    explicit LinuxProcesses(EwmhWatcher* windows) : windows_(windows) {}

    std::vector<RunningApplication> runningApplications() const override;
    std::vector<RunningApplication> runningApplications(const std::string& bundleIdentifier) const override;
    Subscription observeRunningApplications(std::function<void(const std::vector<RunningApplication>&)> cb) override;
    std::optional<RunningApplication> frontmostApplication() const override;
    Subscription observeActivation(std::function<void(const RunningApplication&)> cb) override;
    bool sendSignal(ProcessID pid, ProcessSignal signal) override;
    ProcessStatus status(ProcessID pid) const override;
    std::vector<std::string> onScreenWindowOwners() const override;
    std::optional<std::string> pgrep(const std::string& name) const override;

private:
    EwmhWatcher* windows_;
};

}  // namespace halvyn
