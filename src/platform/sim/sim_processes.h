#pragma once
// Simulated processes and running applications. Signals that reach a process are recorded as
// "signal" effects (pid, signal); existence probes are not effects. A killed process is gone.

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "runtime/lifetime.h"
#include "platform/processes.h"

namespace halvyn {

class EffectLog;
class MainQueue;

class SimProcesses final : public Processes {
public:
    struct Process {
        ProcessID pid = 0;
        std::string name;
        std::optional<std::string> bundleId;  // running applications have one
        bool stopped = false;
        bool onScreenWindow = false;
    };

    SimProcesses(MainQueue& main, EffectLog* effects);

    std::vector<RunningApplication> runningApplications() const override;
    std::vector<RunningApplication> runningApplications(const std::string& bundleIdentifier) const override;
    Subscription observeRunningApplications(std::function<void(const std::vector<RunningApplication>&)> cb) override;
    std::optional<RunningApplication> frontmostApplication() const override;
    Subscription observeActivation(std::function<void(const RunningApplication&)> cb) override;
    bool sendSignal(ProcessID pid, ProcessSignal signal) override;
    // The simulated program's own pid, the same on every run.
    static constexpr ProcessID kOwnProcessID = 99;
    ProcessID ownProcessID() const override { return kOwnProcessID; }
    ProcessStatus status(ProcessID pid) const override;
    std::vector<std::string> onScreenWindowOwners() const override;
    std::optional<std::string> pgrep(const std::string& name) const override;
    std::optional<std::string> output(const std::string& path, const std::vector<std::string>& args) const override;

    // Simulation controls.
    void reset(std::vector<Process> processes);
    void setFrontmost(std::optional<RunningApplication> app) { frontmost_ = std::move(app); }
    // A process starts; observers of the running applications hear of it when it has a bundle id.
    void launch(Process process);
    // A process ends by itself.
    void quit(ProcessID pid);
    void setOnScreenWindow(ProcessID pid, bool onScreen);
    // An application becomes frontmost; observers hear of it on the main queue.
    void activate(RunningApplication app);
    // Makes status() fail for every process with this error text (empty: it works).
    void setStatusError(std::string error) { statusError_ = std::move(error); }
    // What a program prints when run with these arguments; nothing (cannot be run) unless set.
    void setOutput(const std::string& path, const std::vector<std::string>& args, std::optional<std::string> text);

    const Process* find(ProcessID pid) const;
    const std::vector<Process>& all() const { return processes_; }

private:
    void runningApplicationsChanged();

    MainQueue& main_;
    EffectLog* effects_;
    std::vector<Process> processes_;
    std::optional<RunningApplication> frontmost_;
    std::string statusError_;
    std::map<std::vector<std::string>, std::string> outputs_;
    Signal<const std::vector<RunningApplication>&> runningChanged_;
    Signal<const RunningApplication&> activated_;
    Lifetime lifetime_;
};

}  // namespace halvyn
