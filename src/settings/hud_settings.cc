#include "settings/hud_settings.h"

#include "settings/defaults.h"

namespace halvyn {

HUDSettings hudSettings(const Defaults& d, HUDKind kind) {
    if (d.get(keys::synchronizedHUD)) {
        return {d.get(keys::hudDuration),      d.get(keys::hudProgressStyle), d.get(keys::hudSpeed),
                d.get(keys::showHUDPercentage), d.get(keys::hideHUDLabel),     d.get(keys::symbolScaling)};
    }
    if (kind == HUDKind::volume) {
        return {d.get(keys::volumeDuration),       d.get(keys::volumeProgressStyle), d.get(keys::volumeSpeed),
                d.get(keys::showVolumePercentage), d.get(keys::hideVolumeLabel),     d.get(keys::volumeSymbolScaling)};
    }
    return {d.get(keys::brightnessDuration),       d.get(keys::brightnessProgressStyle),
            d.get(keys::brightnessSpeed),          d.get(keys::showBrightnessPercentage),
            d.get(keys::hideBrightnessLabel),      d.get(keys::brightnessSymbolScaling)};
}

}  // namespace halvyn
