#pragma once
// The drawn notch (the object `Outline`): its size, corner radii, shadow and fill, recomputed
// whenever the notch's state, the vertical swipe or one of the settings they depend on changes.

#include <string>
#include <vector>

#include "notch/notch_shape.h"
#include "notch/outline_metrics.h"
#include "runtime/properties.h"
#include "runtime/published.h"

namespace halvyn {

class Services;
class Defaults;
class Notch;
class NotchInput;

class Outline {
public:
    Outline(Services& ctx, Defaults& defaults, Notch& notch, NotchInput& input);
    ~Outline();
    Outline(const Outline&) = delete;
    Outline& operator=(const Outline&) = delete;

    Owned<double, Outline> width{0};
    Owned<double, Outline> height{0};
    Owned<double, Outline> topRadius{0};
    Owned<double, Outline> bottomRadius{0};
    Owned<double, Outline> shadowOpacity{0};
    Owned<double, Outline> shadowRadius{0};
    Owned<double, Outline> shadowY{0};
    Owned<std::string, Outline> fill{"black"};

    // What the metrics are computed from, as of now.
    OutlineInput input() const;
    OutlineMetrics metrics() const { return outlineMetrics(input()); }
    NotchShape shape() const { return {topRadius, bottomRadius}; }

    const PropertySet& properties() const { return properties_; }

private:
    void recompute();

    Services& ctx_;
    Defaults& defaults_;
    Notch& notch_;
    NotchInput& input_;
    std::vector<Subscription> observations_;
    PropertySet properties_;
};

}  // namespace halvyn
