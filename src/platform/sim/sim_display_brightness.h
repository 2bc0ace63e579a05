#pragma once
// Simulated display brightness. Change callbacks are called at once, as from the framework's own
// thread; the manager hands them to the main queue itself.

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/display_brightness.h"

namespace halvyn {

class SimDisplayBrightness final : public DisplayBrightness {
public:
    struct Display {
        DisplayID id = 1;
        std::optional<float> level = 0.5f;  // nothing: the level cannot be read
        bool canChange = true;
    };

    SimDisplayBrightness();

    std::optional<float> brightness(DisplayID display) const override;
    bool canChangeBrightness(DisplayID display) const override;
    int registerForBrightnessChanges(DisplayID display, Callback callback) override;
    bool threadFlag(const std::string& key) const override;
    void setThreadFlag(const std::string& key, bool value) override;

    // Simulation controls.
    void reset(std::vector<Display> displays);
    // The display's level changed: callbacks registered for it get {"value": level}.
    void change(DisplayID display, double level);
    // Raw user information to every registered callback (malformed cases).
    void callback(const Value& userInfo);
    // Registrations fail with this code from now on (0: they succeed).
    void setRegistrationResult(int code) { registrationResult_ = code; }
    // How many registrations were made for the display.
    int registrations(DisplayID display) const;

private:
    std::vector<Display> displays_;
    std::vector<std::pair<DisplayID, Callback>> callbacks_;
    std::map<DisplayID, int> registrationCount_;
    std::map<std::string, bool> flags_;
    int registrationResult_ = 0;
};

}  // namespace halvyn
