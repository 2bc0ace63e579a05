#pragma once
// The microphone and camera in use on Linux. The microphone is PulseAudio's recording streams
// (the audio-device client's connection). The cameras are the V4L2 nodes of /dev, watched with
// inotify for opens and closes on a thread of their own; the folder is watched too, so a camera
// plugged in or taken away is followed (inotify on the folder rather than udev: it needs no
// daemon and sees the node itself). The processes holding a node open are found from
// /proc/*/fd only after an open or a close has settled, on the same thread, within bounds.

#include <atomic>
#include <filesystem>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/capture_devices.h"
#include "runtime/logger.h"

namespace halvyn {

class MainQueue;
class PulseAudioDevices;

class CameraWatcher {
public:
    // Watches the video nodes of `devices` and finds their users under `proc`. Nothing is
    // announced until a node opens or closes, or one comes or goes.
    CameraWatcher(MainQueue& main, Logger logger, std::filesystem::path devices = "/dev",
                  std::filesystem::path proc = "/proc");
    ~CameraWatcher();
    CameraWatcher(const CameraWatcher&) = delete;
    CameraWatcher& operator=(const CameraWatcher&) = delete;

    // Whether inotify could watch the folder.
    bool isWatching() const { return inotify_ >= 0; }
    std::vector<CaptureUse> uses() const;
    // The users changed; `firstReading` for the search made at start. On the main queue.
    Subscription onChanged(std::function<void(bool firstReading)> cb);

    // Bounds of one search: the processes and the open files of one process looked at.
    static constexpr int kMaxProcesses = 32768;
    static constexpr int kMaxFilesPerProcess = 4096;

private:
    struct Shared;
    void run();
    void watchNode(const std::string& name);
    // Reads the pending events; true when a node opened or closed, or one came or went.
    bool readEvents();
    std::vector<CaptureUse> findUsers() const;

    MainQueue& main_;
    Logger logger_;
    std::filesystem::path devices_, proc_;
    std::shared_ptr<Shared> shared_;
    int inotify_ = -1;
    int stop_ = -1;  // an eventfd that ends the thread
    std::thread thread_;
    std::vector<std::pair<int, std::string>> nodes_;  // watch descriptor → node path (thread only)
    mutable std::mutex mutex_;
    std::vector<CaptureUse> uses_;
};

// The port over the audio client's streams (absent: no microphone) and the camera watcher.
class LinuxCaptureDevices final : public CaptureDevices {
public:
    LinuxCaptureDevices(PulseAudioDevices* audio, std::unique_ptr<CameraWatcher> cameras);
    ~LinuxCaptureDevices() override;

    std::vector<CaptureUse> uses(CaptureDevice device) const override;
    Subscription observeChanges(std::function<void(CaptureDevice, bool)> cb) override;

private:
    PulseAudioDevices* audio_;
    std::unique_ptr<CameraWatcher> cameras_;
};

}  // namespace halvyn
