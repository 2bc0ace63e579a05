#pragma once
// The clock and queues a context runs on: virtual time in tests and halvyn-sim, the toolkit's
// event loop in the desktop program.

#include "runtime/clock.h"
#include "runtime/main_queue.h"

namespace halvyn {

class Runtime {
public:
    virtual ~Runtime() = default;
    virtual Clock& clock() = 0;
    virtual MainQueue& main() = 0;
    virtual BackgroundQueue& background() = 0;
};

}  // namespace halvyn
