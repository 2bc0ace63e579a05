#pragma once
// What every manager is given: the runtime it runs on, the platform's ports and logging. The
// application's context is one; it adds the managers' assembly, which no manager reaches.

#include <string>
#include <string_view>

#include "runtime/logger.h"
#include "runtime/runtime.h"
#include "runtime/value.h"

namespace halvyn {

class Platform;

// Receives the calls of the notch's operations, for halvyn-sim's trace.
class CallRecorder {
public:
    virtual ~CallRecorder() = default;
    virtual void call(std::string_view name, Value args) = 0;
};

class Services {
public:
    static constexpr const char* kSubsystem = "com.halvyn.app";

    Services(Runtime& runtime, Platform& platform, LogSink* logs)
        : runtime_(runtime), platform_(platform), logs_(logs) {}
    Services(const Services&) = delete;
    Services& operator=(const Services&) = delete;

    Runtime& runtime() { return runtime_; }
    Clock& clock() { return runtime_.clock(); }
    MainQueue& main() { return runtime_.main(); }
    BackgroundQueue& background() { return runtime_.background(); }
    Platform& platform() { return platform_; }

    LogSink* logSink() const { return logs_; }
    Logger logger(std::string category) const { return Logger(logs_, kSubsystem, std::move(category)); }

    CallRecorder* callRecorder() const { return calls_; }
    void setCallRecorder(CallRecorder* r) { calls_ = r; }

protected:
    ~Services() = default;

private:
    Runtime& runtime_;
    Platform& platform_;
    LogSink* logs_;
    CallRecorder* calls_ = nullptr;
};

}  // namespace halvyn
