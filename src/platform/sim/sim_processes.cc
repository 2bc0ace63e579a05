#include "platform/sim/sim_processes.h"

#include <algorithm>

#include "platform/sim/effect_log.h"
#include "runtime/main_queue.h"

namespace halvyn {

SimProcesses::SimProcesses(MainQueue& main, EffectLog* effects) : main_(main), effects_(effects) {}

std::vector<RunningApplication> SimProcesses::runningApplications() const {
    std::vector<RunningApplication> out;
    for (auto& p : processes_)
        if (p.bundleId) out.push_back({p.pid, p.bundleId, p.name});
    return out;
}

std::vector<RunningApplication> SimProcesses::runningApplications(const std::string& bundleIdentifier) const {
    std::vector<RunningApplication> out;
    for (auto& p : processes_)
        if (p.bundleId && *p.bundleId == bundleIdentifier) out.push_back({p.pid, p.bundleId, p.name});
    return out;
}

Subscription SimProcesses::observeRunningApplications(
    std::function<void(const std::vector<RunningApplication>&)> cb) {
    return runningChanged_.connect(std::move(cb));
}

std::optional<RunningApplication> SimProcesses::frontmostApplication() const { return frontmost_; }

Subscription SimProcesses::observeActivation(std::function<void(const RunningApplication&)> cb) {
    return activated_.connect(std::move(cb));
}

const SimProcesses::Process* SimProcesses::find(ProcessID pid) const {
    for (auto& p : processes_)
        if (p.pid == pid) return &p;
    return nullptr;
}

bool SimProcesses::sendSignal(ProcessID pid, ProcessSignal signal) {
    auto it = std::find_if(processes_.begin(), processes_.end(), [pid](const Process& p) { return p.pid == pid; });
    if (!maySignal(pid) || it == processes_.end()) return false;
    if (signal == ProcessSignal::probe) return true;
    if (effects_) effects_->record("signal", {{"pid", Value(pid)}, {"signal", Value(signalName(signal))}});
    switch (signal) {
        case ProcessSignal::kill: {
            const bool wasApplication = it->bundleId.has_value();
            processes_.erase(it);
            if (wasApplication) runningApplicationsChanged();
            break;
        }
        case ProcessSignal::stop: it->stopped = true; break;
        case ProcessSignal::cont: it->stopped = false; break;
        case ProcessSignal::probe: break;
    }
    return true;
}

ProcessStatus SimProcesses::status(ProcessID pid) const {
    if (!statusError_.empty()) return {false, false, statusError_};
    auto* p = find(pid);
    if (!p) return {false, false, "No such process"};
    return {true, p->stopped, {}};
}

std::vector<std::string> SimProcesses::onScreenWindowOwners() const {
    std::vector<std::string> out;
    for (auto& p : processes_)
        if (p.onScreenWindow) out.push_back(p.name);
    return out;
}

std::optional<std::string> SimProcesses::pgrep(const std::string& name) const {
    std::string out;
    if (name.empty()) return out;
    for (auto& p : processes_)
        if (p.name.find(name) != std::string::npos) out += std::to_string(p.pid) + "\n";
    return out;
}

namespace {
std::vector<std::string> commandLine(const std::string& path, const std::vector<std::string>& args) {
    std::vector<std::string> line{path};
    line.insert(line.end(), args.begin(), args.end());
    return line;
}
}  // namespace

std::optional<std::string> SimProcesses::output(const std::string& path, const std::vector<std::string>& args) const {
    auto it = outputs_.find(commandLine(path, args));
    if (it == outputs_.end()) return std::nullopt;
    return it->second;
}

void SimProcesses::setOutput(const std::string& path, const std::vector<std::string>& args,
                             std::optional<std::string> text) {
    if (text)
        outputs_[commandLine(path, args)] = std::move(*text);
    else
        outputs_.erase(commandLine(path, args));
}

void SimProcesses::reset(std::vector<Process> processes) { processes_ = std::move(processes); }

void SimProcesses::launch(Process process) {
    const bool application = process.bundleId.has_value();
    auto it = std::find_if(processes_.begin(), processes_.end(),
                           [&](const Process& p) { return p.pid == process.pid; });
    if (it != processes_.end())
        *it = std::move(process);
    else
        processes_.push_back(std::move(process));
    if (application) runningApplicationsChanged();
}

void SimProcesses::quit(ProcessID pid) {
    auto it = std::find_if(processes_.begin(), processes_.end(), [pid](const Process& p) { return p.pid == pid; });
    if (it == processes_.end()) return;
    const bool application = it->bundleId.has_value();
    processes_.erase(it);
    if (application) runningApplicationsChanged();
}

void SimProcesses::setOnScreenWindow(ProcessID pid, bool onScreen) {
    for (auto& p : processes_)
        if (p.pid == pid) p.onScreenWindow = onScreen;
}

void SimProcesses::activate(RunningApplication app) {
    frontmost_ = app;
    main_.post([alive = lifetime_.token(), this, app] {
        if (alive) activated_.emit(app);
    });
}

void SimProcesses::runningApplicationsChanged() {
    // Observers hear at once, as from the observation's own thread.
    runningChanged_.emit(runningApplications());
}

}  // namespace halvyn
