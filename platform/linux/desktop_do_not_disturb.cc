#include "platform/linux/desktop_do_not_disturb.h"

#define G_SETTINGS_ENABLE_BACKEND
#include <gio/gio.h>
#include <gio/gsettingsbackend.h>

#include <cstdlib>
#include <map>
#include <string_view>

#include "platform/linux/dbus_object.h"
#include "runtime/main_queue.h"

namespace halvyn {

namespace {
constexpr const char* kSchema = "org.gnome.desktop.notifications";
constexpr const char* kKey = "show-banners";

bool isSet(const char* name) {
    const char* v = std::getenv(name);
    return v && *v;
}

// Why the desktop's own GSettings cannot be read, or nothing. The user's settings database lies
// under XDG_CONFIG_HOME or HOME; with neither, GLib would read the one of the home the user
// database names, which need not be this session's, and the memory backend holds only the
// schema's defaults. Either way a reading would be a default, not the desktop's state.
std::optional<std::string> settingsUnreachable() {
    if (const char* backend = std::getenv("GSETTINGS_BACKEND"); backend && std::string_view(backend) == "memory")
        return "GSettings keeps no settings here (GSETTINGS_BACKEND=memory)";
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (!(config && *config == '/') && !isSet("HOME"))
        return "neither XDG_CONFIG_HOME nor HOME is set, so the desktop's settings cannot be found";
    return std::nullopt;
}
}  // namespace

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

DesktopDoNotDisturb::DesktopDoNotDisturb(QDBusConnection session, MainQueue& main, Logger log,
                                         std::optional<std::string> keyfile)
    : main_(main), log_(std::move(log)), followers_(std::make_shared<Followers>()) {
    GSettingsSchemaSource* source = g_settings_schema_source_get_default();
    GSettingsSchema* schema = source ? g_settings_schema_source_lookup(source, kSchema, TRUE) : nullptr;
    const std::optional<std::string> unreachable = keyfile ? std::nullopt : settingsUnreachable();
    if (schema && unreachable)
        log_.error("GNOME's notification settings are not read: %{public}s; do not disturb follows the notification "
                   "server only",
                   *unreachable);
    if (schema && !unreachable && g_settings_schema_has_key(schema, kKey)) {
        GSettingsBackend* backend = keyfile ? g_keyfile_settings_backend_new(keyfile->c_str(), "/", nullptr) : nullptr;
        GSettings* settings = g_settings_new_full(schema, backend, nullptr);
        if (backend) g_object_unref(backend);
        settings_ = settings;
        handler_ = g_signal_connect(settings, "changed::show-banners", G_CALLBACK(&DesktopDoNotDisturb::settingsChanged), this);
    }
    if (schema) g_settings_schema_unref(schema);
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

DesktopDoNotDisturb::~DesktopDoNotDisturb() {
    if (settings_) {
        g_signal_handler_disconnect(settings_, handler_);
        g_object_unref(settings_);
    }
}

bool DesktopDoNotDisturb::available() const { return settings_ || connected_; }

bool DesktopDoNotDisturb::bannersShown() const {
    return !settings_ || g_settings_get_boolean(static_cast<GSettings*>(settings_), kKey);
}

bool DesktopDoNotDisturb::enabled() const {
    if (!bannersShown()) return true;
    if (notifications_) {
        const QVariant inhibited = notifications_->get(QStringLiteral("Inhibited"));
        if (inhibited.typeId() == QMetaType::Bool && inhibited.toBool()) return true;
    }
    return false;
}

void DesktopDoNotDisturb::settingsChanged(void*, const char*, void* self) {
    static_cast<DesktopDoNotDisturb*>(self)->update();
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
