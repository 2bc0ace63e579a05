#pragma once
// Paired Bluetooth devices with their connection, colour and battery levels, and the
// application's Bluetooth authorisation.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/case_names.h"
#include "runtime/published.h"

namespace halvyn {

enum class BluetoothAuthorization { notDetermined, restricted, denied, allowedAlways };

template <>
struct OptionTraits<BluetoothAuthorization> {
    using A = BluetoothAuthorization;
    static constexpr OptionCase<A> cases[] = {
        {A::notDetermined, "notDetermined", ""},
        {A::restricted, "restricted", ""},
        {A::denied, "denied", ""},
        {A::allowedAlways, "allowedAlways", ""},
    };
};

struct PairedDevice {
    std::string addressString;          // as the system writes it, e.g. "a1-b2-c3-d4-e5-f6"
    bool isConnected = false;
    std::optional<int> colorID;         // absent when the accessory reports none
    // Battery percentages as the accessory reports them: 1 to 100 are percentages, anything else
    // (0 included) means no reading.
    std::uint8_t batteryPercentLeft = 0;
    std::uint8_t batteryPercentRight = 0;
    std::uint8_t batteryPercentSingle = 0;
};

class Bluetooth {
public:
    virtual ~Bluetooth() = default;

    // The paired devices, or nothing when the list cannot be had. May block: call it off the
    // main queue.
    virtual std::optional<std::vector<PairedDevice>> pairedDevices() = 0;
    virtual BluetoothAuthorization authorization() const = 0;
    // The authorisation changed. Callbacks come on the main queue.
    virtual Subscription observeAuthorization(std::function<void()> cb) = 0;
    // Makes the system ask the user for Bluetooth access when it has not yet; the answer comes
    // through observeAuthorization. Where nothing can be asked, nothing happens.
    virtual void requestAuthorization() {}
};

}  // namespace halvyn
