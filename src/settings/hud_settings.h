#pragma once
// The display settings the volume and brightness displays use. With "synchronizedHUD" on, both
// use the shared hud keys; otherwise each display has its own six keys.

#include "settings/options.h"

namespace halvyn {

class Defaults;

enum class HUDKind { volume, brightness };

struct HUDSettings {
    double duration;  // seconds the display stays
    HUDProgressStyle progressStyle;
    HUDSpeed speed;
    bool showPercentage;
    bool hideLabel;
    SymbolScaling symbolScaling;

    friend bool operator==(const HUDSettings&, const HUDSettings&) = default;
};

HUDSettings hudSettings(const Defaults& defaults, HUDKind kind);

}  // namespace halvyn
