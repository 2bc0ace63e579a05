#include "platform/sim/sim_url_opener.h"

#include "platform/sim/effect_log.h"

namespace halvyn {

bool SimUrlOpener::openURL(const std::string& url) {
    if (effects_) effects_->record("openURL", {{"url", Value(url)}});
    return true;
}

}  // namespace halvyn
