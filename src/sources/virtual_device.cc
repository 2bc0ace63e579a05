#include "sources/virtual_device.h"

namespace halvyn {

AirPodsMaxColor airPodsMaxColor(std::optional<int> colorID) {
    if (!colorID) return AirPodsMaxColor::spaceGray;
    switch (*colorID) {
        case 3: return AirPodsMaxColor::skyBlue;
        case 16: return AirPodsMaxColor::silver;
        case 17: return AirPodsMaxColor::green;
        case 18: return AirPodsMaxColor::midnight;
        case 19: return AirPodsMaxColor::starlight;
        case 84: return AirPodsMaxColor::blue;
        case 85: return AirPodsMaxColor::orange;
        case 86: return AirPodsMaxColor::purple;
        default: return AirPodsMaxColor::spaceGray;
    }
}

std::string VirtualDevice::symbol(bool notchedBuiltInScreen) const {
    using K = Kind;
    switch (kind) {
        case K::airPods:
        case K::airPods2: return "airpods";
        case K::airPods3: return "airpods.gen3";
        case K::airPods4: return "airpods.gen4";
        case K::airPodsPro:
        case K::airPodsPro2:
        case K::airPodsPro3: return "airpods.pro";
        case K::airPodsMax:
        case K::airPodsMax2: return "airpodsmax";
        case K::macBook: return notchedBuiltInScreen ? "macbook" : "laptopcomputer";
        case K::headphones: return "headphones";
        case K::homePod:
        case K::homePod2: return "homepod.fill";
        case K::homePodMini: return "homepodmini.fill";
        case K::earPods: return "earpods";
        case K::studioDisplay:
        case K::proDisplayXdr: return "display";
        case K::speakers: return "hifispeaker.fill";
    }
    return "hifispeaker.fill";
}

std::string VirtualDevice::budsSymbol(bool notchedBuiltInScreen) const {
    const bool pro = kind == Kind::airPodsPro || kind == Kind::airPodsPro2 || kind == Kind::airPodsPro3;
    if (!pro && kind > Kind::airPods4) return symbol(notchedBuiltInScreen);
    const std::string base = pro ? "airpods.pro" : "airpods.gen4";
    if (state == AirPodsState::leftOnly) return base + ".left";
    if (state == AirPodsState::rightOnly) return base + ".right";
    return base;
}

std::string VirtualDevice::displayName() const {
    std::string name(title(kind));
    if (isAirPodsMax()) name.append(" ").append(rawValue(color));
    return name;
}

Value toValue(const VirtualDevice& device) {
    Value v = Value::object();
    v.set("kind", caseName(device.kind));
    if (device.isAirPodsMax()) {
        v.set("color", rawValue(device.color));
    } else if (device.isAirPodsFamily()) {
        v.set("state", device.state ? Value(caseName(*device.state)) : Value());
    }
    return v;
}

}  // namespace halvyn
