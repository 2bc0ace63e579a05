#include "sources/virtual_device.h"

namespace halvyn {

const char* caseName(VirtualDevice::Kind kind) {
    using K = VirtualDevice::Kind;
    switch (kind) {
        case K::airPods: return "airPods";
        case K::airPods2: return "airPods2";
        case K::airPods3: return "airPods3";
        case K::airPods4: return "airPods4";
        case K::airPodsPro: return "airPodsPro";
        case K::airPodsPro2: return "airPodsPro2";
        case K::airPodsPro3: return "airPodsPro3";
        case K::airPodsMax: return "airPodsMax";
        case K::airPodsMax2: return "airPodsMax2";
        case K::macBook: return "macBook";
        case K::headphones: return "headphones";
        case K::homePod: return "homePod";
        case K::homePodMini: return "homePodMini";
        case K::homePod2: return "homePod2";
        case K::earPods: return "earPods";
        case K::studioDisplay: return "studioDisplay";
        case K::proDisplayXdr: return "proDisplayXdr";
        case K::speakers: return "speakers";
    }
    return "speakers";
}

const char* caseName(AirPodsState state) {
    switch (state) {
        case AirPodsState::leftOnly: return "leftOnly";
        case AirPodsState::rightOnly: return "rightOnly";
        case AirPodsState::both: return "both";
    }
    return "both";
}

const char* rawValue(AirPodsMaxColor color) {
    switch (color) {
        case AirPodsMaxColor::spaceGray: return "Space Gray";
        case AirPodsMaxColor::skyBlue: return "Sky Blue";
        case AirPodsMaxColor::silver: return "Silver";
        case AirPodsMaxColor::green: return "Green";
        case AirPodsMaxColor::midnight: return "Midnight";
        case AirPodsMaxColor::starlight: return "Starlight";
        case AirPodsMaxColor::blue: return "Blue";
        case AirPodsMaxColor::orange: return "Orange";
        case AirPodsMaxColor::purple: return "Purple";
    }
    return "Space Gray";
}

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
    using K = Kind;
    switch (kind) {
        case K::airPods: return "AirPods";
        case K::airPods2: return "AirPods 2";
        case K::airPods3: return "AirPods 3";
        case K::airPods4: return "AirPods 4";
        case K::airPodsPro: return "AirPods Pro";
        case K::airPodsPro2: return "AirPods Pro 2";
        case K::airPodsPro3: return "AirPods Pro 3";
        case K::airPodsMax:
        case K::airPodsMax2: return std::string("AirPods Max ") + rawValue(color);
        case K::macBook: return "MacBook";
        case K::headphones: return "Headphones";
        case K::homePod:
        case K::homePod2: return "HomePod";
        case K::homePodMini: return "HomePod Mini";
        case K::earPods: return "EarPods";
        case K::studioDisplay:
        case K::proDisplayXdr: return "Display";
        case K::speakers: return "Speakers";
    }
    return "Speakers";
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
