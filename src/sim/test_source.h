#pragma once
// A scenario-only status source for halvyn-sim: it posts notifications and starts or ends live
// activities of any kind on request, and answers the notch's questions from plain flags. It
// stands in for the real sources until they exist; a kind is taken over from whatever source
// owns it only once a scenario names that kind in a "test.*" action.

#include <map>
#include <vector>

#include "notch/notch.h"
#include "notch/notch_sources.h"

namespace halvyn {

class Context;

class TestSource final : public NotificationSource {
public:
    // The context's test source, created on first use.
    static TestSource& of(Context& ctx);

    explicit TestSource(Context& ctx) : ctx_(ctx) {}

    bool allowsNotification(Notch::Notification kind) const override;

    // test.notify: as a source posting its notification.
    void notify(Notch::Notification kind, double duration, double dismissAfter);
    // test.allow: what allowsNotification answers for the kind from now on.
    void allow(Notch::Notification kind, bool allowed);
    // test.activity: the source starts wanting its activity (and asks for it) or stops (and
    // ends it when it shows).
    void activity(Notch::LiveActivity kind, bool wants);

private:
    struct Wants final : LiveActivitySource {
        bool wants = false;
        bool wantsLiveActivity() const override { return wants; }
    };
    void own(Notch::Notification kind);

    Context& ctx_;
    std::map<Notch::Notification, bool> allowed_;
    std::map<Notch::LiveActivity, Wants> wants_;
    std::vector<Subscription> registrations_;
};

}  // namespace halvyn
