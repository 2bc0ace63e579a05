#pragma once
// The desktop's Do Not Disturb as its Focus: the notification server's "Inhibited" property
// (org.freedesktop.Notifications) where the server offers it and, on GNOME, its "show-banners"
// setting (off means do not disturb; read through the halvyn-gnome module, gnome_banners.h). On,
// it is Focus in the Do Not Disturb mode; off, Focus is off.

#include <QDBusConnection>

#include <memory>
#include <optional>
#include <string>

#include "platform/focus_status.h"
#include "platform/linux/gnome_banners.h"
#include "runtime/logger.h"

namespace halvyn {

class MainQueue;
class DBusObject;

// Whether this session's desktop is GNOME, whose shell is the one that honours show-banners
// (`currentDesktop`: XDG_CURRENT_DESKTOP, a colon-separated list such as "ubuntu:GNOME").
bool desktopIsGnome(const char* currentDesktop);

class DesktopDoNotDisturb final : public FocusStatus {
public:
    DesktopDoNotDisturb(QDBusConnection session, MainQueue& main, Logger log);
    ~DesktopDoNotDisturb() override;
    DesktopDoNotDisturb(const DesktopDoNotDisturb&) = delete;
    DesktopDoNotDisturb& operator=(const DesktopDoNotDisturb&) = delete;

    // From now on GNOME's banner setting counts too, opened by `open` (the module's function, or
    // openGnomeBanners itself) from the key file `keyfile` or the desktop's settings. A state that
    // differs from the one reported so far is reported as a change. False when there is no such
    // setting to follow (why is logged when the schema is there but the settings are not).
    bool followSettings(OpenBannerSetting open, const std::optional<std::string>& keyfile = std::nullopt);

    bool hasSettings() const { return settings_ != nullptr; }
    // GNOME's "show-banners" as the settings read now; true without the settings.
    bool bannersShown() const;
    // Do not disturb, by either source.
    bool enabled() const;
    // The mode reported while do not disturb is on.
    static ReportedFocusMode mode();

    // Reports the state as it is, then each change.
    Subscription follow(FocusReports reports) override;

private:
    void update();

    MainQueue& main_;
    Logger log_;
    std::unique_ptr<DBusObject> notifications_;
    bool connected_ = false;
    bool serverPresent_ = false;
    bool last_ = false;
    struct Followers;
    std::shared_ptr<Followers> followers_;
    // Last: it calls back into this object until it is gone.
    std::unique_ptr<BannerSetting> settings_;
};

}  // namespace halvyn
