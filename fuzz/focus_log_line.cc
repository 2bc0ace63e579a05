// One line of the Focus daemons' log through the Focus source: the value patterns and the state
// updates must take any bytes, of any length, without a fault. The first byte picks the category.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "app/context.h"
#include "platform/sim/sim_platform.h"
#include "runtime/virtual_time.h"
#include "platform/sim/sim_focus_log.h"
#include "sources/focus_manager.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace halvyn;
    static const char* kCategories[] = {"ServiceProvider", "Registration", "Other"};
    if (size == 0) return 0;
    const char* category = kCategories[data[0] % 3];
    const std::string message(reinterpret_cast<const char*>(data + 1), size - 1);

    focus::identifier(message);
    focus::name(message);
    focus::symbol(message);
    focus::tint(message);
    focus::firstProcessID(message);

    auto rt = std::make_unique<VirtualTime>();
    VirtualTime* time = rt.get();
    auto pf = std::make_unique<SimPlatform>(*time);
    SimPlatform* sim = pf.get();
    sim->simProcesses().reset({{311, "identityservicesd"}, {412, "donotdisturbd"}});
    Context ctx(std::move(rt), std::move(pf), nullptr);
    ctx.focus();
    time->runUntil(time->uptime());
    sim->simLogStream().write(data[0] & 4 ? "donotdisturbd" : "identityservicesd", category, message);
    time->advance(seconds(20));
    return 0;
}
