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
