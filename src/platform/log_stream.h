#pragma once
// The live system log of chosen processes: each log message with the process that wrote it, its
// category and its text, in the order they were written.

#include <functional>
#include <string>
#include <vector>

#include "platform/processes.h"
#include "runtime/published.h"

namespace halvyn {

struct LogEntry {
    std::string process;
    ProcessID processID = 0;
    std::string category;  // empty when the message has none
    std::string message;
};

class LogStream {
public:
    virtual ~LogStream() = default;
    // Streams the log messages of the processes until the subscription ends. Entries and the
    // one error that ends the stream come on the main queue, in order; after an error nothing
    // more comes. An empty subscription means the stream could not be opened (reported through
    // `failed` first).
    virtual Subscription open(const std::vector<ProcessID>& processes, std::function<void(const LogEntry&)> entry,
                              std::function<void(const std::string& error)> failed) = 0;
};

}  // namespace halvyn
