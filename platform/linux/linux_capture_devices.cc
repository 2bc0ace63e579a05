#include "platform/linux/linux_capture_devices.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <utility>

#include "platform/linux/capture_names.h"
#include "platform/linux/pulse_audio_devices.h"
#include "runtime/main_queue.h"

namespace halvyn {

namespace {
constexpr std::uint32_t kNodeEvents = IN_OPEN | IN_CLOSE_WRITE | IN_CLOSE_NOWRITE;
constexpr std::uint32_t kFolderEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO;
// A camera is often opened for a moment to be probed (udev, a browser listing devices); its
// users are looked for once the opens and closes have been quiet this long.
constexpr int kSettleMs = 250;

// The target of a link, bounded; empty when it cannot be read.
std::string linkTarget(const std::string& path) {
    std::array<char, 512> buf;
    const ssize_t n = ::readlink(path.c_str(), buf.data(), buf.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= buf.size()) return {};
    return std::string(buf.data(), static_cast<std::size_t>(n));
}

std::string processName(const std::filesystem::path& proc, std::int64_t pid) {
    std::ifstream in(proc / std::to_string(pid) / "comm");
    std::array<char, 64> buf{};
    in.read(buf.data(), buf.size());
    return captureApplicationName(std::string_view(buf.data(), static_cast<std::size_t>(in.gcount())));
}
}  // namespace

struct CameraWatcher::Shared {
    Signal<bool> changed;
};

CameraWatcher::CameraWatcher(MainQueue& main, Logger logger, std::filesystem::path devices, std::filesystem::path proc)
    : main_(main), logger_(std::move(logger)), devices_(std::move(devices)), proc_(std::move(proc)),
      shared_(std::make_shared<Shared>()) {
    inotify_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    stop_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (inotify_ < 0 || stop_ < 0 || ::inotify_add_watch(inotify_, devices_.c_str(), kFolderEvents) < 0) {
        logger_.error("Cannot watch %{public}s for cameras (%{public}s); the camera in use is not shown",
                      devices_.string(), std::string(std::strerror(errno)));
        if (inotify_ >= 0) ::close(inotify_);
        inotify_ = -1;
        return;
    }
    std::error_code ec;
    int seen = 0;
    for (const auto& entry : std::filesystem::directory_iterator(devices_, ec)) {
        if (++seen > kMaxProcesses) break;
        const std::string name = entry.path().filename().string();
        if (isVideoDeviceName(name)) watchNode(name);
    }
    // A camera already open at start-up is found at once: the search runs first thing.
    thread_ = std::thread([this] { run(); });
    ::pthread_setname_np(thread_.native_handle(), "halvyn-cameras");
}

CameraWatcher::~CameraWatcher() {
    if (thread_.joinable()) {
        const std::uint64_t one = 1;
        (void)!::write(stop_, &one, sizeof one);
        thread_.join();
    }
    if (inotify_ >= 0) ::close(inotify_);
    if (stop_ >= 0) ::close(stop_);
}

void CameraWatcher::watchNode(const std::string& name) {
    const std::string path = (devices_ / name).string();
    const int wd = ::inotify_add_watch(inotify_, path.c_str(), kNodeEvents);
    if (wd < 0) return;
    std::erase_if(nodes_, [&](const auto& n) { return n.first == wd || n.second == path; });
    nodes_.emplace_back(wd, path);
}

bool CameraWatcher::readEvents() {
    alignas(inotify_event) std::array<char, 4096> buf;
    bool relevant = false;
    for (;;) {
        const ssize_t n = ::read(inotify_, buf.data(), buf.size());
        if (n <= 0) return relevant;
        for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
            inotify_event ev;
            std::memcpy(&ev, buf.data() + at, sizeof ev);
            const std::size_t nameLen = std::min<std::size_t>(ev.len, static_cast<std::size_t>(n - at) - sizeof ev);
            const std::string name = nameLen ? std::string(buf.data() + at + sizeof ev, strnlen(buf.data() + at + sizeof ev, nameLen)) : "";
            at += static_cast<ssize_t>(sizeof ev + ev.len);
            if (ev.mask & IN_Q_OVERFLOW) {
                relevant = true;
            } else if (ev.mask & IN_IGNORED) {
                std::erase_if(nodes_, [&](const auto& node) { return node.first == ev.wd; });
                relevant = true;
            } else if (ev.mask & (IN_CREATE | IN_MOVED_TO)) {
                if (isVideoDeviceName(name)) {
                    watchNode(name);
                    relevant = true;
                }
            } else if (ev.mask & (IN_DELETE | IN_MOVED_FROM)) {
                relevant = relevant || isVideoDeviceName(name);
            } else if (ev.mask & kNodeEvents) {
                relevant = true;
            }
        }
    }
}

std::vector<CaptureUse> CameraWatcher::findUsers() const {
    std::vector<CaptureUse> found;
    if (nodes_.empty()) return found;
    DIR* procDir = ::opendir(proc_.c_str());
    if (!procDir) return found;
    const auto self = static_cast<std::int64_t>(::getpid());
    int processes = 0;
    while (dirent* entry = ::readdir(procDir)) {
        const auto pid = processId(entry->d_name);
        if (!pid) continue;
        if (++processes > kMaxProcesses) break;
        const std::string fdPath = (proc_ / entry->d_name / "fd").string();
        DIR* fds = ::opendir(fdPath.c_str());
        if (!fds) continue;  // another user's process, or gone
        int files = 0;
        bool holds = false;
        while (dirent* fd = ::readdir(fds)) {
            if (!processId(fd->d_name) && std::strcmp(fd->d_name, "0") != 0) continue;
            if (++files > kMaxFilesPerProcess) break;
            const std::string target = linkTarget(fdPath + "/" + fd->d_name);
            holds = std::any_of(nodes_.begin(), nodes_.end(), [&](const auto& node) { return node.second == target; });
            if (holds) break;
        }
        ::closedir(fds);
        if (!holds) continue;
        found.push_back({processName(proc_, *pid), *pid, *pid == self, false});
    }
    ::closedir(procDir);
    return found;
}

void CameraWatcher::run() {
    bool dirty = true, first = true;
    for (;;) {
        std::array<pollfd, 2> fds{pollfd{inotify_, POLLIN, 0}, pollfd{stop_, POLLIN, 0}};
        // Idle, it sleeps until an event; after one, until the events have settled.
        const int ready = ::poll(fds.data(), fds.size(), dirty ? kSettleMs : -1);
        if (ready < 0 && errno != EINTR) return;
        if (fds[1].revents) return;
        if (ready > 0 && (fds[0].revents & POLLIN)) {
            dirty = readEvents() || dirty;
            continue;
        }
        if (!dirty) continue;
        dirty = false;
        std::vector<CaptureUse> found = findUsers();
        const bool firstReading = std::exchange(first, false);
        {
            std::lock_guard lock(mutex_);
            if (found == uses_) continue;
            uses_ = std::move(found);
        }
        main_.post([weak = std::weak_ptr<Shared>(shared_), firstReading] {
            if (auto s = weak.lock()) s->changed.emit(firstReading);
        });
    }
}

std::vector<CaptureUse> CameraWatcher::uses() const {
    std::lock_guard lock(mutex_);
    return uses_;
}

Subscription CameraWatcher::onChanged(std::function<void(bool)> cb) { return shared_->changed.connect(std::move(cb)); }

LinuxCaptureDevices::LinuxCaptureDevices(PulseAudioDevices* audio, std::unique_ptr<CameraWatcher> cameras)
    : audio_(audio), cameras_(std::move(cameras)) {}

LinuxCaptureDevices::~LinuxCaptureDevices() = default;

std::vector<CaptureUse> LinuxCaptureDevices::uses(CaptureDevice device) const {
    if (device == CaptureDevice::microphone) return audio_ ? audio_->microphoneUses() : std::vector<CaptureUse>{};
    return cameras_ ? cameras_->uses() : std::vector<CaptureUse>{};
}

Subscription LinuxCaptureDevices::observeChanges(std::function<void(CaptureDevice, bool)> cb) {
    auto both = std::make_shared<std::array<Subscription, 2>>();
    if (audio_) (*both)[0] = audio_->onMicrophoneChanged([cb](bool first) { cb(CaptureDevice::microphone, first); });
    if (cameras_) (*both)[1] = cameras_->onChanged([cb](bool first) { cb(CaptureDevice::camera, first); });
    return Subscription([both] {
        (*both)[0].reset();
        (*both)[1].reset();
    });
}

}  // namespace halvyn
