#include "app/context.h"

#include "platform/platform.h"

namespace halvyn {

Context::Context(std::unique_ptr<Runtime> runtime, std::unique_ptr<Platform> platform, LogSink* logs)
    : detail::ContextParts{std::move(runtime), std::move(platform)}, Services(*ownedRuntime, *ownedPlatform, logs) {}

Context::~Context() = default;

Assembly& Context::assemble(Assembly::Seams seams, const Assembly::Built& built) {
    if (!assembly_) assembly_ = std::make_unique<Assembly>(*this, seams, built);
    return *assembly_;
}

}  // namespace halvyn
