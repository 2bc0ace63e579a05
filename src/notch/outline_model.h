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

class Context;
class Notch;
class NotchInput;

class Outline {
public:
    explicit Outline(Context& ctx);
    ~Outline();
    Outline(const Outline&) = delete;
    Outline& operator=(const Outline&) = delete;

    Published<double> width{0};
    Published<double> height{0};
    Published<double> topRadius{0};
    Published<double> bottomRadius{0};
    Published<double> shadowOpacity{0};
    Published<double> shadowRadius{0};
    Published<double> shadowY{0};
    Published<std::string> fill{"black"};

    // What the metrics are computed from, as of now.
    OutlineInput input() const;
    OutlineMetrics metrics() const { return outlineMetrics(input()); }
    NotchShape shape() const { return {topRadius, bottomRadius}; }

    const PropertySet& properties() const { return properties_; }

private:
    void recompute();

    Context& ctx_;
    Notch& notch_;
    NotchInput& input_;
    std::vector<Subscription> observations_;
    PropertySet properties_;
};

}  // namespace halvyn
