#include "hud/osdui_manager.h"

#include <algorithm>

#include "notch/gui_manager.h"
#include "platform/platform.h"
#include "platform/services.h"
#include "settings/defaults.h"
#include "settings/keys.h"

namespace halvyn {

OSDUIManager::OSDUIManager(Services& ctx, Defaults& defaults, GUIManager& gui)
    : ctx_(ctx),
      defaults_(defaults),
      gui_(gui),
      processes_(ctx.platform().processes()),
      logger_(ctx.logger("OSDUIManager")),
      self_(std::make_shared<OSDUIManager*>(this)) {
    properties_.add("osduiPID", osduiPID);
}

OSDUIManager::~OSDUIManager() { *self_ = nullptr; }

void OSDUIManager::suppressSystemHUD() {
    if (!processes_) return;
    const auto apps = processes_->runningApplications(kBundleIdentifier);
    osduiPID = apps.empty() ? 0 : apps.front().pid;
    // The running instance goes; the next one the system starts is caught by the observation.
    if (osduiPID != 0) processes_->signal(osduiPID, ProcessSignal::kill);
    suspendDisplayProcess();

    // The list may come on any thread: the work moves to the main queue.
    MainQueue* main = &ctx_.main();
    std::weak_ptr<OSDUIManager*> weak = self_;
    observer = processes_->observeRunningApplications([main, weak](const std::vector<RunningApplication>& apps) {
        if (apps.empty()) return;
        auto it = std::find_if(apps.begin(), apps.end(), [](const RunningApplication& a) {
            return a.bundleIdentifier && *a.bundleIdentifier == kBundleIdentifier;
        });
        if (it == apps.end()) return;
        const ProcessID pid = it->pid;
        main->post([weak, pid] {
            auto s = weak.lock();
            if (!s || !*s) return;
            (*s)->osduiPID = pid;
            (*s)->suspendDisplayProcess();
        });
    });
}

void OSDUIManager::suspendDisplayProcess() {
    if (!processes_ || osduiPID == 0) return;
    const ProcessID pid = osduiPID;
    if (!processes_->signal(pid, ProcessSignal::probe)) {
        osduiPID = 0;
        return;
    }
    const ProcessStatus status = processes_->status(pid);
    if (!status.ok) logger_.error("sysctl: %{public}s", status.error);
    const bool stopped = status.ok && status.stopped;
    const auto owners = processes_->onScreenWindowOwners();
    // A display that is drawing right now is left alone until the next chance.
    const bool showing = std::find(owners.begin(), owners.end(), kWindowOwner) != owners.end();
    if (!stopped && !showing) processes_->signal(pid, ProcessSignal::stop);
}

void OSDUIManager::restoreSystemHUD() {
    observer.reset();
    if (processes_ && osduiPID != 0) processes_->signal(osduiPID, ProcessSignal::cont);
}

void OSDUIManager::followSettings() {
    if (!settingsObservers_.empty()) return;
    auto& d = defaults_;
    settingsObservers_.push_back(d.observe<bool>(keys::enableVolume, [this](const bool&, const bool& now) {
        settingChanged(now, defaults_.get(keys::enableBrightness));
    }));
    settingsObservers_.push_back(d.observe<bool>(keys::enableBrightness, [this](const bool&, const bool& now) {
        settingChanged(now, defaults_.get(keys::enableVolume));
    }));
}

void OSDUIManager::settingChanged(bool newValue, bool otherValue) {
    gui_.setSystemHUDSuppressed(newValue || otherValue);
}

void OSDUIManager::applicationWillTerminate() {
    auto& d = defaults_;
    if (d.get(keys::enableVolume) || d.get(keys::enableBrightness)) gui_.setSystemHUDSuppressed(false);
}

}  // namespace halvyn
