#pragma once
// What the notch asks of the status sources, without knowing them: each source registers itself
// here (on the context) for its kinds and answers the notch's questions. A kind that no source
// has registered is never allowed and never wanted.

#include <map>
#include <memory>
#include <optional>
#include <string>

#include "notch/notch.h"
#include "runtime/published.h"
#include "sources/virtual_device.h"

namespace halvyn {

// Asked before a notification of one of the source's kinds shows.
class NotificationSource {
public:
    virtual ~NotificationSource() = default;
    virtual bool allowsNotification(Notch::Notification kind) const = 0;
};

// The lock, Focus, calendar and now-playing sources: whether their live activity should show now.
class LiveActivitySource {
public:
    virtual ~LiveActivitySource() = default;
    virtual bool wantsLiveActivity() const = 0;
};

// The lock source: the screen is locked.
class LockStateSource {
public:
    virtual ~LockStateSource() = default;
    virtual bool isScreenLocked() const = 0;
};

// The now-playing source: media is playing.
class MediaStateSource {
public:
    virtual ~MediaStateSource() = default;
    virtual bool isMediaPlaying() const = 0;
};

// The accessory source: the recognised current output device.
class AccessorySource {
public:
    virtual ~AccessorySource() = default;
    virtual std::optional<VirtualDevice> currentDevice() const = 0;
};

class NotchSources {
public:
    NotchSources();

    // Each registration lasts as long as the returned subscription. A later registration for
    // the same kind takes over; ending an earlier one then leaves the later in place.
    Subscription addNotificationSource(Notch::Notification kind, NotificationSource& source);
    Subscription addLiveActivitySource(Notch::LiveActivity kind, LiveActivitySource& source);
    Subscription setLockState(LockStateSource& source);
    Subscription setMediaState(MediaStateSource& source);
    Subscription setAccessory(AccessorySource& source);

    NotificationSource* notificationSource(Notch::Notification kind) const;
    LiveActivitySource* liveActivitySource(Notch::LiveActivity kind) const;
    LockStateSource* lockState() const { return state_->lock; }
    MediaStateSource* mediaState() const { return state_->media; }
    AccessorySource* accessory() const { return state_->accessory; }

    // An object kept alive, under a name, as long as this registry: a source that belongs to no
    // manager (halvyn-sim's scenario test source) lives here. Empty until set.
    std::shared_ptr<void>& attachment(const std::string& name) { return attachments_[name]; }

private:
    struct State {
        std::map<Notch::Notification, NotificationSource*> notifications;
        std::map<Notch::LiveActivity, LiveActivitySource*> activities;
        LockStateSource* lock = nullptr;
        MediaStateSource* media = nullptr;
        AccessorySource* accessory = nullptr;
    };
    std::shared_ptr<State> state_;
    std::map<std::string, std::shared_ptr<void>> attachments_;
};

// Gives back and takes the system's own volume and brightness display on systems before 26
// (the display-process suppression). Absent until that manager exists: then nothing happens.
class SystemHUDSuppression {
public:
    virtual ~SystemHUDSuppression() = default;
    virtual void suppressSystemHUD() = 0;
    virtual void restoreSystemHUD() = 0;
    virtual void suspendDisplayProcess() = 0;
};

}  // namespace halvyn
