// halvyn-gnome: GNOME's notification settings, read with GSettings (GIO).

#include "platform/linux/gnome_banners.h"
#include "platform/linux/modules.h"

using namespace halvyn;

HALVYN_MODULE_EXPORT BannerSetting* halvyn_open_banner_setting(const std::optional<std::string>& keyfile,
                                                             std::function<void()> changed, std::string& why) {
    return openGnomeBanners(keyfile, std::move(changed), why);
}
