#pragma once
// The display levels from the context's sources: the volume, brightness and battery managers and
// the recognised output device. A level whose platform service is absent has no reading.

#include "shell/notch_scene.h"

namespace halvyn {

class ContextLevels final : public DisplayLevels {
public:
    explicit ContextLevels(Context& ctx) : ctx_(ctx) {}

    std::optional<float> volume() const override;
    std::optional<float> brightness() const override;
    std::optional<float> keyboardBrightness() const override;
    std::optional<double> batteryLevel() const override;
    std::optional<std::string> outputDeviceSymbol() const override;
    std::optional<Power> power() const override;
    std::optional<Accessory> accessory() const override;
    Subscription observe(std::function<void(const Animation*)> changed) const override;

private:
    Context& ctx_;
};

}  // namespace halvyn
