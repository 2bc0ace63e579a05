#include "platform/linux/sysfs_backlight.h"

#include <QSocketNotifier>

#include <libudev.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <system_error>

#include "runtime/value.h"

namespace halvyn {

namespace {
std::optional<long long> readNumber(const std::filesystem::path& file) {
    std::ifstream in(file);
    long long n = 0;
    if (!(in >> n)) return std::nullopt;
    return n;
}
}  // namespace

struct SysfsBacklight::Udev {
    udev* context = nullptr;
    udev_monitor* monitor = nullptr;
    std::unique_ptr<QSocketNotifier> notifier;
    ~Udev() {
        notifier.reset();
        if (monitor) udev_monitor_unref(monitor);
        if (context) udev_unref(context);
    }
};

SysfsBacklight::SysfsBacklight(std::filesystem::path root, Logger logger) : logger_(std::move(logger)) {
    std::error_code ec;
    std::vector<std::filesystem::path> found;
    for (const auto& entry : std::filesystem::directory_iterator(root, ec))
        if (std::filesystem::exists(entry.path() / "max_brightness", ec)) found.push_back(entry.path());
    std::sort(found.begin(), found.end());
    if (found.empty()) {
        logger_.info("No backlight under %{public}s; brightness absent", root.string());
        return;
    }
    // The first device with a usable range; a firmware interface that reports a maximum of 0
    // often sits beside the panel's real one.
    device_ = found.front();
    for (const auto& d : found)
        if (readNumber(d / "max_brightness").value_or(0) > 0) {
            device_ = d;
            break;
        }
    if (!read()) {
        logger_.error("Backlight %{public}s cannot be read (no level or a maximum of 0); brightness absent",
                      device_.string());
        saidUnreadable_ = true;
    }
}

SysfsBacklight::~SysfsBacklight() = default;

std::optional<float> SysfsBacklight::read() const {
    if (device_.empty()) return std::nullopt;
    const auto max = readNumber(device_ / "max_brightness");
    // Prefer the level the hardware reports; some drivers only keep the requested one.
    auto level = readNumber(device_ / "actual_brightness");
    if (!level) level = readNumber(device_ / "brightness");
    if (!max || *max <= 0 || !level) return std::nullopt;
    return static_cast<float>(std::clamp(static_cast<double>(*level) / static_cast<double>(*max), 0.0, 1.0));
}

std::optional<float> SysfsBacklight::brightness(DisplayID) const { return read(); }

bool SysfsBacklight::canChangeBrightness(DisplayID) const { return read().has_value(); }

int SysfsBacklight::registerForBrightnessChanges(DisplayID, Callback callback) {
    if (device_.empty()) return 1;
    callbacks_.push_back(std::move(callback));
    if (udev_) return 0;
    auto u = std::make_unique<Udev>();
    u->context = udev_new();
    if (u->context) u->monitor = udev_monitor_new_from_netlink(u->context, "udev");
    if (!u->monitor || udev_monitor_filter_add_match_subsystem_devtype(u->monitor, "backlight", nullptr) < 0 ||
        udev_monitor_enable_receiving(u->monitor) < 0) {
        logger_.error("No udev events for the backlight; brightness changes are not followed");
        callbacks_.pop_back();
        return 2;
    }
    const std::string name = device_.filename().string();
    u->notifier = std::make_unique<QSocketNotifier>(udev_monitor_get_fd(u->monitor), QSocketNotifier::Read);
    QObject::connect(u->notifier.get(), &QSocketNotifier::activated, u->notifier.get(), [this, name] {
        while (udev_device* d = udev_monitor_receive_device(udev_->monitor)) {
            const char* action = udev_device_get_action(d);
            const char* sysname = udev_device_get_sysname(d);
            const bool ours = action && sysname && std::string(action) == "change" && name == sysname;
            udev_device_unref(d);
            if (ours) deviceChanged();
        }
    });
    udev_ = std::move(u);
    return 0;
}

void SysfsBacklight::deviceChanged() {
    const auto level = read();
    if (!level) {
        if (!saidUnreadable_) logger_.error("Backlight %{public}s cannot be read; brightness absent", device_.string());
        saidUnreadable_ = true;
        return;
    }
    saidUnreadable_ = false;
    const Value info(Value::Object{{"value", Value(*level)}});
    // A callback may register another; the list is walked by index.
    for (std::size_t i = 0; i < callbacks_.size(); ++i) callbacks_[i](info);
}

bool SysfsBacklight::threadFlag(const std::string& key) const {
    return std::find(flags_.begin(), flags_.end(), key) != flags_.end();
}

void SysfsBacklight::setThreadFlag(const std::string& key, bool value) {
    const bool has = threadFlag(key);
    if (value && !has) flags_.push_back(key);
    if (!value && has) std::erase(flags_, key);
}

}  // namespace halvyn
