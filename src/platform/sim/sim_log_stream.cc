#include "platform/sim/sim_log_stream.h"

#include <algorithm>

#include "platform/sim/sim_processes.h"

namespace halvyn {

Subscription SimLogStream::open(const std::vector<ProcessID>& processes, std::function<void(const LogEntry&)> entry,
                                std::function<void(const std::string& error)> failed) {
    const int id = next_++;
    (*streams_)[id] = Stream{processes, std::move(entry), std::move(failed)};
    std::weak_ptr<std::map<int, Stream>> weak = streams_;
    return Subscription([weak, id] {
        if (auto s = weak.lock()) s->erase(id);
    });
}

void SimLogStream::write(const std::string& process, const std::string& category, const std::string& message) {
    std::vector<ProcessID> pids;
    for (auto& app : processes_.all())
        if (app.name == process) pids.push_back(app.pid);
    if (pids.empty()) return;
    const LogEntry entry{process, pids.front(), category, message};
    std::vector<int> ids;
    for (auto& [id, s] : *streams_)
        if (std::find(s.processes.begin(), s.processes.end(), entry.processID) != s.processes.end()) ids.push_back(id);
    for (int id : ids) {
        auto it = streams_->find(id);
        if (it == streams_->end()) continue;  // ended by an earlier receiver
        auto cb = it->second.entry;
        cb(entry);
    }
}

void SimLogStream::fail(const std::string& error) {
    auto streams = std::move(*streams_);
    streams_->clear();
    for (auto& [id, s] : streams)
        if (s.failed) s.failed(error);
}

}  // namespace halvyn
