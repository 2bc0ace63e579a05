#include "platform/linux/desktop_do_not_disturb.h"

#include <map>
#include <string_view>
#include <vector>

#include "platform/linux/dbus_object.h"
#include "runtime/main_queue.h"

namespace halvyn {

bool desktopIsGnome(const char* currentDesktop) {
    if (!currentDesktop) return false;
    std::string_view rest(currentDesktop);
    while (true) {
        const size_t colon = rest.find(':');
        const std::string_view name = rest.substr(0, colon);
        // GNOME-Classic and GNOME-Flashback keep GNOME's notification settings too.
        if (name == "GNOME" || name.substr(0, 6) == "GNOME-") return true;
        if (colon == std::string_view::npos) return false;
        rest.remove_prefix(colon + 1);
    }
}

struct DesktopDoNotDisturb::Followers {
    std::map<int, FocusReports> open;
    int next = 0;

    // Tells the follower the state: on is Focus switched on in the Do Not Disturb mode. A
    // follower may stop following on any report.
    void tell(int id, bool on) {
        const std::string said = on ? "Do Not Disturb on" : "Do Not Disturb off";
        if (auto it = open.find(id); it != open.end()) {
            const auto switched = it->second.switched;
            switched(on, said);
        }
        if (!on) return;
        if (auto it = open.find(id); it != open.end()) {
            const auto modeActive = it->second.modeActive;
            modeActive(mode(), "");
        }
    }
};

DesktopDoNotDisturb::DesktopDoNotDisturb(QDBusConnection session, MainQueue& main, Logger log)
    : main_(main), log_(std::move(log)), followers_(std::make_shared<Followers>()) {
    connected_ = session.isConnected();
    if (connected_)
        notifications_ = std::make_unique<DBusObject>(session, QStringLiteral("org.freedesktop.Notifications"),
                                                      QStringLiteral("/org/freedesktop/Notifications"),
                                                      QStringLiteral("org.freedesktop.Notifications"), [this] {
                                                          // Read when it comes; said once when it goes or stops answering.
                                                          const bool present = notifications_->present();
                                                          if (serverPresent_ && !present)
                                                              log_.error("The notification server is gone or does not answer; "
                                                                         "its do not disturb is followed again when it does");
                                                          serverPresent_ = present;
                                                          update();
                                                      });
    last_ = enabled();
}

DesktopDoNotDisturb::~DesktopDoNotDisturb() = default;

bool DesktopDoNotDisturb::followSettings(OpenBannerSetting open, const std::optional<std::string>& keyfile) {
    if (settings_ || !open) return settings_ != nullptr;
    std::string why;
    settings_.reset(open(keyfile, [this] { update(); }, why));
    if (!settings_ && !why.empty())
        log_.error("GNOME's notification settings are not read: %{public}s; do not disturb follows the notification "
                   "server only",
                   why);
    // Read after the first frame: hidden banners found now are reported like any change.
    if (settings_) update();
    return settings_ != nullptr;
}

bool DesktopDoNotDisturb::bannersShown() const { return !settings_ || settings_->shown(); }

bool DesktopDoNotDisturb::enabled() const {
    if (!bannersShown()) return true;
    if (notifications_) {
        const QVariant inhibited = notifications_->get(QStringLiteral("Inhibited"));
        if (inhibited.typeId() == QMetaType::Bool && inhibited.toBool()) return true;
    }
    return false;
}

ReportedFocusMode DesktopDoNotDisturb::mode() {
    return ReportedFocusMode{"do-not-disturb", "Do Not Disturb", "moon.fill", "IndigoColor"};
}

void DesktopDoNotDisturb::update() {
    const bool now = enabled();
    if (now == last_) return;
    last_ = now;
    std::weak_ptr<Followers> weak = followers_;
    main_.post([weak, now] {
        auto followers = weak.lock();
        if (!followers) return;
        std::vector<int> ids;
        for (auto& [id, reports] : followers->open) ids.push_back(id);
        for (int id : ids) followers->tell(id, now);
    });
}

Subscription DesktopDoNotDisturb::follow(FocusReports reports) {
    const int id = ++followers_->next;
    followers_->open[id] = std::move(reports);
    // Following starts with the state as it is.
    std::weak_ptr<Followers> weak = followers_;
    main_.post([weak, id, now = last_] {
        if (auto followers = weak.lock()) followers->tell(id, now);
    });
    return Subscription([weak, id] {
        if (auto f = weak.lock()) f->open.erase(id);
    });
}

}  // namespace halvyn
