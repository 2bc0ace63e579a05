#pragma once
// Display brightness from the first backlight device under /sys/class/backlight: the level is
// brightness / max_brightness, and changes are noticed through udev "change" events on the
// "backlight" subsystem, not by reading the files again and again. A backlight that cannot be
// read (no device, max_brightness 0, unreadable files) has no level.

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/display_brightness.h"
#include "runtime/logger.h"

namespace halvyn {

class SysfsBacklight final : public DisplayBrightness {
public:
    explicit SysfsBacklight(std::filesystem::path root, Logger logger);
    ~SysfsBacklight() override;
    SysfsBacklight(const SysfsBacklight&) = delete;
    SysfsBacklight& operator=(const SysfsBacklight&) = delete;

    // The device followed, e.g. /sys/class/backlight/intel_backlight; empty without one.
    const std::filesystem::path& device() const { return device_; }

    // The one backlight serves whichever display asks: the desktop knows only the panel it lights.
    std::optional<float> brightness(DisplayID display) const override;
    bool canChangeBrightness(DisplayID display) const override;
    int registerForBrightnessChanges(DisplayID display, Callback callback) override;
    bool threadFlag(const std::string& key) const override;
    void setThreadFlag(const std::string& key, bool value) override;

    // What a udev "change" event of the device does: read the level again and tell the callbacks.
    void deviceChanged();

private:
    struct Udev;
    std::optional<float> read() const;

    std::filesystem::path device_;
    Logger logger_;
    std::vector<Callback> callbacks_;
    std::vector<std::string> flags_;
    std::unique_ptr<Udev> udev_;
    bool saidUnreadable_ = false;
};

}  // namespace halvyn
