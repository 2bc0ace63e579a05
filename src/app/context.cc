#include "app/context.h"

#include "platform/platform.h"
#include "settings/defaults.h"

namespace halvyn {

Context::Context(std::unique_ptr<Runtime> runtime, std::unique_ptr<Platform> platform, LogSink* logs)
    : runtime_(std::move(runtime)), platform_(std::move(platform)), logs_(logs) {}

Context::~Context() = default;

Defaults& Context::defaults() {
    if (!defaults_) defaults_ = std::make_unique<Defaults>(*this);
    return *defaults_;
}

}  // namespace halvyn
