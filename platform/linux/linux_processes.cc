#include "platform/linux/linux_processes.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/linux/ewmh_watcher.h"

extern char** environ;

namespace halvyn {

namespace {
RunningApplication application(const XWindowInfo& w) {
    RunningApplication app;
    app.pid = w.pid;
    if (!w.applicationId.empty()) app.bundleIdentifier = w.applicationId;
    app.name = w.name;
    return app;
}
}  // namespace

std::vector<RunningApplication> LinuxProcesses::runningApplications() const {
    std::vector<RunningApplication> out;
    if (!windows_) return out;
    for (const XWindowInfo& w : windows_->clients()) {
        if (w.pid <= 0) continue;
        if (std::none_of(out.begin(), out.end(), [&](const RunningApplication& a) { return a.pid == w.pid; }))
            out.push_back(application(w));
    }
    // Process numbers grow with time: the nearest thing to launch order the desktop offers.
    std::sort(out.begin(), out.end(), [](const auto& a, const auto& b) { return a.pid < b.pid; });
    return out;
}

std::vector<RunningApplication> LinuxProcesses::runningApplications(const std::string& bundleIdentifier) const {
    auto all = runningApplications();
    std::erase_if(all, [&](const RunningApplication& a) { return a.bundleIdentifier != bundleIdentifier; });
    return all;
}

Subscription LinuxProcesses::observeRunningApplications(std::function<void(const std::vector<RunningApplication>&)> cb) {
    if (!windows_) return {};
    return windows_->onClientsChanged([this, cb = std::move(cb)] { cb(runningApplications()); });
}

std::optional<RunningApplication> LinuxProcesses::frontmostApplication() const {
    if (!windows_) return std::nullopt;
    const auto active = windows_->active();
    if (!active || active->pid <= 0) return std::nullopt;
    return application(*active);
}

Subscription LinuxProcesses::observeActivation(std::function<void(const RunningApplication&)> cb) {
    if (!windows_) return {};
    // Another window of the same application is no new activation.
    auto last = std::make_shared<std::optional<RunningApplication>>(frontmostApplication());
    return windows_->onActiveChanged([this, last, cb = std::move(cb)] {
        auto now = frontmostApplication();
        if (!now || *now == *last) return;
        *last = now;
        cb(*now);
    });
}

bool LinuxProcesses::sendSignal(ProcessID pid, ProcessSignal signal) {
    // A number of 0 or below would reach a whole process group.
    if (pid <= 0) return false;
    int number = 0;
    switch (signal) {
        case ProcessSignal::probe: number = 0; break;
        case ProcessSignal::kill: number = SIGKILL; break;
        case ProcessSignal::stop: number = SIGSTOP; break;
        case ProcessSignal::cont: number = SIGCONT; break;
    }
    return ::kill(pid, number) == 0;
}

ProcessStatus LinuxProcesses::status(ProcessID pid) const {
    ProcessStatus s;
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text;
    if (pid <= 0 || !std::getline(in, text)) {
        s.error = std::strerror(pid <= 0 ? EINVAL : ESRCH);
        return s;
    }
    // "pid (name) S ...": the name may hold spaces and parentheses; the state follows the last ')'.
    const auto close = text.rfind(')');
    if (close == std::string::npos || close + 2 >= text.size()) {
        s.error = "unreadable process state";
        return s;
    }
    const char state = text[close + 2];
    s.ok = true;
    s.stopped = state == 'T' || state == 't';
    return s;
}

std::vector<std::string> LinuxProcesses::onScreenWindowOwners() const {
    std::vector<std::string> out;
    if (windows_)
        for (const XWindowInfo& w : windows_->clients()) out.push_back(w.name);
    return out;
}

std::optional<std::string> LinuxProcesses::pgrep(const std::string& name) const {
    // The name goes to pgrep as one argument, never through a shell.
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) return std::nullopt;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::string program = "pgrep", separator = "--", pattern = name;
    char* argv[] = {program.data(), separator.data(), pattern.data(), nullptr};
    pid_t child = -1;
    const int spawned = posix_spawnp(&child, "pgrep", &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    std::string out;
    if (spawned == 0) {
        char buf[4096];
        ssize_t n;
        while ((n = ::read(pipeFds[0], buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR))
            if (n > 0) out.append(buf, static_cast<std::size_t>(n));
    }
    ::close(pipeFds[0]);
    if (spawned != 0) return std::nullopt;
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    // pgrep exits 1 when nothing matches: that is an answer, not a failure.
    if (!WIFEXITED(status) || WEXITSTATUS(status) > 1) return std::nullopt;
    return out;
}

}  // namespace halvyn
