#pragma once
// The recognised kind of the current audio output device, with the buds in use for AirPods and
// the colour for AirPods Max. A plain value, copied on assignment.

#include <optional>
#include <string>

#include "runtime/case_names.h"
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

// Kinds by their raw values, titled with the name a view shows ("AirPods Max" is followed by the colour).
template <>
struct OptionTraits<VirtualDevice::Kind> {
    using K = VirtualDevice::Kind;
    static constexpr OptionCase<K> cases[] = {
        {K::airPods, "airPods", "AirPods"},
        {K::airPods2, "airPods2", "AirPods 2"},
        {K::airPods3, "airPods3", "AirPods 3"},
        {K::airPods4, "airPods4", "AirPods 4"},
        {K::airPodsPro, "airPodsPro", "AirPods Pro"},
        {K::airPodsPro2, "airPodsPro2", "AirPods Pro 2"},
        {K::airPodsPro3, "airPodsPro3", "AirPods Pro 3"},
        {K::airPodsMax, "airPodsMax", "AirPods Max"},
        {K::airPodsMax2, "airPodsMax2", "AirPods Max"},
        {K::macBook, "macBook", "MacBook"},
        {K::headphones, "headphones", "Headphones"},
        {K::homePod, "homePod", "HomePod"},
        {K::homePodMini, "homePodMini", "HomePod Mini"},
        {K::homePod2, "homePod2", "HomePod"},
        {K::earPods, "earPods", "EarPods"},
        {K::studioDisplay, "studioDisplay", "Display"},
        {K::proDisplayXdr, "proDisplayXdr", "Display"},
        {K::speakers, "speakers", "Speakers"},
    };
};
template <>
struct OptionTraits<AirPodsState> {
    static constexpr OptionCase<AirPodsState> cases[] = {
        {AirPodsState::leftOnly, "leftOnly", ""},
        {AirPodsState::rightOnly, "rightOnly", ""},
        {AirPodsState::both, "both", ""},
    };
};
// Colours by their raw values, which are also what a view shows.
template <>
struct OptionTraits<AirPodsMaxColor> {
    using C = AirPodsMaxColor;
    static constexpr OptionCase<C> cases[] = {
        {C::spaceGray, "Space Gray", ""}, {C::skyBlue, "Sky Blue", ""},   {C::silver, "Silver", ""},
        {C::green, "Green", ""},          {C::midnight, "Midnight", ""},  {C::starlight, "Starlight", ""},
        {C::blue, "Blue", ""},            {C::orange, "Orange", ""},      {C::purple, "Purple", ""},
    };
};

// {"kind":"airPodsPro2","state":"leftOnly"}; AirPods Max carry "color"; other kinds only "kind".
Value toValue(const VirtualDevice& device);

}  // namespace halvyn
