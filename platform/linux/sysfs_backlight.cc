#include "platform/linux/sysfs_backlight.h"

#include <QSocketNotifier>

#include <dlfcn.h>
#include <libudev.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <system_error>
#include <type_traits>

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

// libudev is opened only where a backlight is followed: most machines that run the program have
// none to follow, and the library would be mapped at every start for nothing.
struct SysfsBacklight::Udev {
    void* library = nullptr;
    decltype(&udev_new) newContext = nullptr;
    decltype(&udev_unref) unref = nullptr;
    decltype(&udev_monitor_new_from_netlink) newMonitor = nullptr;
    decltype(&udev_monitor_filter_add_match_subsystem_devtype) addMatch = nullptr;
    decltype(&udev_monitor_enable_receiving) enable = nullptr;
    decltype(&udev_monitor_get_fd) fd = nullptr;
    decltype(&udev_monitor_receive_device) receive = nullptr;
    decltype(&udev_monitor_unref) unrefMonitor = nullptr;
    decltype(&udev_device_get_action) action = nullptr;
    decltype(&udev_device_get_sysname) sysname = nullptr;
    decltype(&udev_device_unref) unrefDevice = nullptr;
    udev* context = nullptr;
    udev_monitor* monitor = nullptr;
    std::unique_ptr<QSocketNotifier> notifier;

    // Whether the library and every function are there.
    bool open() {
        library = ::dlopen("libudev.so.1", RTLD_NOW | RTLD_LOCAL);
        if (!library) return false;
        auto get = [this](auto& f, const char* name) {
            f = reinterpret_cast<std::remove_reference_t<decltype(f)>>(::dlsym(library, name));
        };
        get(newContext, "udev_new");
        get(unref, "udev_unref");
        get(newMonitor, "udev_monitor_new_from_netlink");
        get(addMatch, "udev_monitor_filter_add_match_subsystem_devtype");
        get(enable, "udev_monitor_enable_receiving");
        get(fd, "udev_monitor_get_fd");
        get(receive, "udev_monitor_receive_device");
        get(unrefMonitor, "udev_monitor_unref");
        get(action, "udev_device_get_action");
        get(sysname, "udev_device_get_sysname");
        get(unrefDevice, "udev_device_unref");
        return newContext && unref && newMonitor && addMatch && enable && fd && receive && unrefMonitor && action &&
               sysname && unrefDevice;
    }
    ~Udev() {
        notifier.reset();
        if (monitor) unrefMonitor(monitor);
        if (context) unref(context);
        // The library stays open: unloading it would save next to nothing.
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
    if (u->open()) u->context = u->newContext();
    if (u->context) u->monitor = u->newMonitor(u->context, "udev");
    if (!u->monitor || u->addMatch(u->monitor, "backlight", nullptr) < 0 || u->enable(u->monitor) < 0) {
        logger_.error("No udev events for the backlight; brightness changes are not followed");
        callbacks_.pop_back();
        return 2;
    }
    const std::string name = device_.filename().string();
    u->notifier = std::make_unique<QSocketNotifier>(u->fd(u->monitor), QSocketNotifier::Read);
    QObject::connect(u->notifier.get(), &QSocketNotifier::activated, u->notifier.get(), [this, name] {
        while (udev_device* d = udev_->receive(udev_->monitor)) {
            const char* action = udev_->action(d);
            const char* sysname = udev_->sysname(d);
            const bool ours = action && sysname && std::string(action) == "change" && name == sysname;
            udev_->unrefDevice(d);
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
