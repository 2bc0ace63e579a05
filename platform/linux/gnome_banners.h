#pragma once
// GNOME's "org.gnome.desktop.notifications show-banners" (GSettings): off is do not disturb. It
// lives in its own module (halvyn-gnome), opened only on a GNOME desktop after the first frame, so
// that GIO, its settings backend and their three threads are not in every start on every desktop.

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace halvyn {

// The desktop's banner setting as read now; `changed` (given when it is opened) is called on the
// main thread after each change.
class BannerSetting {
public:
    virtual ~BannerSetting() = default;
    virtual bool shown() const = 0;
};

// Opens the setting: from the GSettings key file `keyfile`, else from the desktop's own settings
// backend. Null when GNOME's notification schema is not installed (`why` left empty) or when the
// desktop's settings cannot be reached (`why` says so): neither XDG_CONFIG_HOME nor HOME set (the
// database of a home guessed from the user database need not be this session's), or
// GSETTINGS_BACKEND=memory (only the schema's defaults).
using OpenBannerSetting = BannerSetting* (*)(const std::optional<std::string>& keyfile, std::function<void()> changed,
                                             std::string& why);
BannerSetting* openGnomeBanners(const std::optional<std::string>& keyfile, std::function<void()> changed,
                                std::string& why);

}  // namespace halvyn
