#pragma once
// The internal battery: its hardware registry entry, the platform's list of power sources, and
// the change and low-power notifications. Values come as the registry holds them: a missing key
// is null, and a value may be of any kind; the reader decides what it accepts.

#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

#include "runtime/published.h"
#include "runtime/value.h"

namespace halvyn {

class PowerSources {
public:
    // A registry entry; 0 is none.
    using Service = std::uint32_t;

    virtual ~PowerSources() = default;

    // The registry entry with the given name, or 0.
    virtual Service matchingService(std::string_view name) = 0;
    // One property of a registry entry; null when the entry or the key is missing.
    virtual Value registryProperty(Service service, std::string_view key) = 0;
    // The description of each power source, in list order: objects keyed "Type",
    // "Current Capacity", ...
    virtual std::vector<Value> powerSourceDescriptions() = 0;

    // The power sources changed. Callbacks come on the main queue.
    virtual Subscription observeChanges(std::function<void()> cb) = 0;
    // The battery service was (re)connected and read in full; the battery may only now be found.
    // What it reports is where later changes start from, not a change. A platform whose battery
    // service is there from the start never sends it. Callbacks come on the main queue.
    virtual Subscription observeConnected(std::function<void()> cb) {
        (void)cb;
        return {};
    }
    // The process's power state changed; carries its low-power flag when the notification has
    // one. Callbacks come on the main queue.
    virtual Subscription observeLowPowerMode(std::function<void(std::optional<bool>)> cb) = 0;
};

}  // namespace halvyn
