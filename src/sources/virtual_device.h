#pragma once
// The recognised kind of the current audio output device, with the buds in use for AirPods and
// the colour for AirPods Max. A plain value, copied on assignment.

#include <optional>
#include <string>

#include "runtime/value.h"

namespace halvyn {

enum class AirPodsState { leftOnly, rightOnly, both };

enum class AirPodsMaxColor { spaceGray, skyBlue, silver, green, midnight, starlight, blue, orange, purple };

struct VirtualDevice {
    enum class Kind {
        airPods,
        airPods2,
        airPods3,
        airPods4,
        airPodsPro,
        airPodsPro2,
        airPodsPro3,
        airPodsMax,
        airPodsMax2,
        macBook,
        headphones,
        homePod,
        homePodMini,
        homePod2,
        earPods,
        studioDisplay,
        proDisplayXdr,
        speakers,
    };

    Kind kind = Kind::speakers;
    std::optional<AirPodsState> state;            // AirPods and AirPods Pro: the buds in use, when known
    AirPodsMaxColor color = AirPodsMaxColor::spaceGray;  // AirPods Max only

    // The nine AirPods cases, which carry a state or a colour.
    bool isAirPodsFamily() const { return kind <= Kind::airPodsMax2; }
    bool isAirPodsMax() const { return kind == Kind::airPodsMax || kind == Kind::airPodsMax2; }

    // The device's symbol. `notchedBuiltInScreen`: the built-in screen reports both auxiliary top
    // areas, which picks the notched laptop for `macBook`.
    std::string symbol(bool notchedBuiltInScreen = false) const;
    // The symbol that shows the buds in use, where a view shows them.
    std::string budsSymbol(bool notchedBuiltInScreen = false) const;
    // "AirPods Pro 2", "AirPods Max Midnight", "Speakers" ...
    std::string displayName() const;

    friend bool operator==(const VirtualDevice&, const VirtualDevice&) = default;
};

// The colour of AirPods Max from the accessory's colour identifier; unknown identifiers, or none,
// are "Space Gray".
AirPodsMaxColor airPodsMaxColor(std::optional<int> colorID);

const char* caseName(VirtualDevice::Kind kind);
const char* caseName(AirPodsState state);
// The colour's raw value: "Space Gray", "Sky Blue", ...
const char* rawValue(AirPodsMaxColor color);

// {"kind":"airPodsPro2","state":"leftOnly"}; AirPods Max carry "color"; other kinds only "kind".
Value toValue(const VirtualDevice& device);

}  // namespace halvyn
