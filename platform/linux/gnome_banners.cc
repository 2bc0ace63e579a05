#include "platform/linux/gnome_banners.h"

#define G_SETTINGS_ENABLE_BACKEND
#include <gio/gio.h>
#include <gio/gsettingsbackend.h>

#include <cstdlib>
#include <string_view>

namespace halvyn {

namespace {
constexpr const char* kSchema = "org.gnome.desktop.notifications";
constexpr const char* kKey = "show-banners";

bool isSet(const char* name) {
    const char* v = std::getenv(name);
    return v && *v;
}

// Why the desktop's own GSettings cannot be read, or nothing: a reading would be a default, not
// the desktop's state.
std::optional<std::string> settingsUnreachable() {
    if (const char* backend = std::getenv("GSETTINGS_BACKEND"); backend && std::string_view(backend) == "memory")
        return "GSettings keeps no settings here (GSETTINGS_BACKEND=memory)";
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (!(config && *config == '/') && !isSet("HOME"))
        return "neither XDG_CONFIG_HOME nor HOME is set, so the desktop's settings cannot be found";
    return std::nullopt;
}

class GnomeBanners final : public BannerSetting {
public:
    GnomeBanners(GSettings* settings, std::function<void()> changed) : settings_(settings), changed_(std::move(changed)) {
        handler_ = g_signal_connect(settings_, "changed::show-banners", G_CALLBACK(&GnomeBanners::onChanged), this);
    }
    ~GnomeBanners() override {
        g_signal_handler_disconnect(settings_, handler_);
        g_object_unref(settings_);
    }
    GnomeBanners(const GnomeBanners&) = delete;
    GnomeBanners& operator=(const GnomeBanners&) = delete;

    bool shown() const override { return g_settings_get_boolean(settings_, kKey); }

private:
    static void onChanged(GSettings*, const char*, gpointer self) {
        if (auto& changed = static_cast<GnomeBanners*>(self)->changed_) changed();
    }

    GSettings* settings_;
    std::function<void()> changed_;
    gulong handler_ = 0;
};
}  // namespace

BannerSetting* openGnomeBanners(const std::optional<std::string>& keyfile, std::function<void()> changed,
                                std::string& why) {
    why.clear();
    GSettingsSchemaSource* source = g_settings_schema_source_get_default();
    GSettingsSchema* schema = source ? g_settings_schema_source_lookup(source, kSchema, TRUE) : nullptr;
    if (!schema) return nullptr;
    BannerSetting* opened = nullptr;
    if (!g_settings_schema_has_key(schema, kKey)) {
        why = std::string("the schema ") + kSchema + " has no key " + kKey;
    } else if (const std::optional<std::string> unreachable = keyfile ? std::nullopt : settingsUnreachable()) {
        why = *unreachable;
    } else {
        GSettingsBackend* backend = keyfile ? g_keyfile_settings_backend_new(keyfile->c_str(), "/", nullptr) : nullptr;
        GSettings* settings = g_settings_new_full(schema, backend, nullptr);
        if (backend) g_object_unref(backend);
        opened = new GnomeBanners(settings, std::move(changed));
    }
    g_settings_schema_unref(schema);
    return opened;
}

}  // namespace halvyn
