#pragma once
// The simulated system log: a scenario writes a line for a process by name; open streams of
// that process receive it at once (the action runs on the main queue).

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/log_stream.h"

namespace halvyn {

class SimProcesses;

class SimLogStream final : public LogStream {
public:
    explicit SimLogStream(const SimProcesses& processes) : processes_(processes) {}

    Subscription open(const std::vector<ProcessID>& processes, std::function<void(const LogEntry&)> entry,
                      std::function<void(const std::string& error)> failed) override;

    // Simulation controls. A line of a process that is not running, or that no open stream
    // follows, goes nowhere.
    void write(const std::string& process, const std::string& category, const std::string& message);
    // Every open stream fails with `error` and ends.
    void fail(const std::string& error);
    std::size_t openStreams() const { return streams_->size(); }

private:
    struct Stream {
        std::vector<ProcessID> processes;
        std::function<void(const LogEntry&)> entry;
        std::function<void(const std::string&)> failed;
    };
    const SimProcesses& processes_;
    std::shared_ptr<std::map<int, Stream>> streams_ = std::make_shared<std::map<int, Stream>>();
    int next_ = 0;
};

}  // namespace halvyn
