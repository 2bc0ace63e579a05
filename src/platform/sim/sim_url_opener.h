#pragma once
// Opening a URL on the simulated system: recorded as an effect.

#include <string>

#include "platform/url_opener.h"

namespace halvyn {

class EffectLog;

class SimUrlOpener final : public UrlOpener {
public:
    explicit SimUrlOpener(EffectLog* effects) : effects_(effects) {}
    bool openURL(const std::string& url) override;

private:
    EffectLog* effects_;
};

}  // namespace halvyn
