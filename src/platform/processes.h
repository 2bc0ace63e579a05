#pragma once
// Processes and running applications: look-up by bundle identifier, observation of the running
// applications, the frontmost application, signals, the stopped state, the owners of on-screen
// windows, and a pgrep-style look-up by name.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

#include "runtime/published.h"

namespace halvyn {

using ProcessID = std::int32_t;

struct RunningApplication {
    ProcessID pid = 0;
    std::optional<std::string> bundleIdentifier;
    std::string name;

    friend bool operator==(const RunningApplication&, const RunningApplication&) = default;
};

// Signals by name: a real adapter maps each to its platform's number.
enum class ProcessSignal {
    probe,  // 0: does the process exist? Sends nothing.
    kill,   // "SIGKILL"
    stop,   // "SIGSTOP"
    cont,   // "SIGCONT"
};
inline const char* signalName(ProcessSignal signal) {
    switch (signal) {
        case ProcessSignal::probe: return "0";
        case ProcessSignal::kill: return "SIGKILL";
        case ProcessSignal::stop: return "SIGSTOP";
        case ProcessSignal::cont: return "SIGCONT";
    }
    return "0";
}

// The state of a process as the kernel reports it.
struct ProcessStatus {
    bool ok = false;        // the query succeeded
    bool stopped = false;   // the process is held stopped
    std::string error;      // the system error text when the query failed
};

class Processes {
public:
    virtual ~Processes() = default;

    // Running applications, in launch order; those with the bundle identifier.
    virtual std::vector<RunningApplication> runningApplications() const = 0;
    virtual std::vector<RunningApplication> runningApplications(const std::string& bundleIdentifier) const = 0;
    // Calls `cb` with the new list of running applications whenever it changes. May be called on
    // any thread.
    virtual Subscription observeRunningApplications(
        std::function<void(const std::vector<RunningApplication>&)> cb) = 0;

    virtual std::optional<RunningApplication> frontmostApplication() const = 0;
    // Calls `cb` on the main queue when another application becomes frontmost.
    virtual Subscription observeActivation(std::function<void(const RunningApplication&)> cb) = 0;

    // kill(2): true when the signal was delivered (for `probe`: the process exists).
    virtual bool sendSignal(ProcessID pid, ProcessSignal signal) = 0;
    // What the logic calls: sendSignal, except to the pids that must never be signalled, whatever
    // a look-up returned — 0 and negatives (kill(2) would reach a process group or every
    // process of the user), 1 (init) and this program itself.
    bool signal(ProcessID pid, ProcessSignal which) { return maySignal(pid) && sendSignal(pid, which); }
    bool maySignal(ProcessID pid) const { return pid > 1 && pid != ownProcessID(); }
    // This program's own process.
    virtual ProcessID ownProcessID() const { return static_cast<ProcessID>(::getpid()); }
    virtual ProcessStatus status(ProcessID pid) const = 0;
    // The owner names of the windows on screen (desktop elements excluded).
    virtual std::vector<std::string> onScreenWindowOwners() const = 0;
    // What "/usr/bin/pgrep NAME" prints (one process identifier a line), or nothing when it
    // cannot be run.
    virtual std::optional<std::string> pgrep(const std::string& name) const = 0;
    // What the program at `path` prints on standard output and standard error together when run
    // with `args` (never through a shell), once it has exited; nothing when it cannot be run.
    // Blocks: called on the background queue.
    virtual std::optional<std::string> output(const std::string& path, const std::vector<std::string>& args) const {
        (void)path;
        (void)args;
        return std::nullopt;
    }
};

}  // namespace halvyn
