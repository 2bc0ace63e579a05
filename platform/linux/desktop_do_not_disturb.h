#pragma once
// The desktop's Do Not Disturb as its Focus: GNOME's "org.gnome.desktop.notifications
// show-banners" (GSettings; off means do not disturb) and the notification server's "Inhibited"
// property (org.freedesktop.Notifications) where the server offers it. On, it is Focus in the
// Do Not Disturb mode; off, Focus is off.

#include <QDBusConnection>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/focus_status.h"
#include "runtime/logger.h"

namespace halvyn {

class MainQueue;
class DBusObject;

class DesktopDoNotDisturb final : public FocusStatus {
public:
    // `keyfile`: read the settings from this GSettings key file instead of the desktop's own
    // settings backend. Without GNOME's notification schema only the notification server counts,
    // and so without a settings backend that holds the desktop's state: neither XDG_CONFIG_HOME
    // nor HOME set (the database of a home guessed from the user database need not be this
    // session's), or GSETTINGS_BACKEND=memory (only the schema's defaults).
    DesktopDoNotDisturb(QDBusConnection session, MainQueue& main, Logger log,
                        std::optional<std::string> keyfile = std::nullopt);
    ~DesktopDoNotDisturb() override;
    DesktopDoNotDisturb(const DesktopDoNotDisturb&) = delete;
    DesktopDoNotDisturb& operator=(const DesktopDoNotDisturb&) = delete;

    // Neither the settings schema nor a session bus: nothing to follow.
    bool available() const;
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
    static void settingsChanged(void* settings, const char* key, void* self);

    MainQueue& main_;
    Logger log_;
    void* settings_ = nullptr;  // GSettings
    unsigned long handler_ = 0;
    std::unique_ptr<DBusObject> notifications_;
    bool connected_ = false;
    bool serverPresent_ = false;
    bool last_ = false;
    struct Followers;
    std::shared_ptr<Followers> followers_;
};

}  // namespace halvyn
