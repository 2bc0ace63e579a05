#include "sim/test_source.h"

#include "app/context.h"

namespace halvyn {

TestSource& TestSource::of(Context& ctx) {
    auto& slot = ctx.notchSources().attachment("halvyn-sim.testSource");
    if (!slot) slot = std::make_shared<TestSource>(ctx);
    return *static_cast<TestSource*>(slot.get());
}

bool TestSource::allowsNotification(Notch::Notification kind) const {
    auto it = allowed_.find(kind);
    return it == allowed_.end() || it->second;
}

void TestSource::own(Notch::Notification kind) {
    if (allowed_.count(kind)) return;
    allowed_[kind] = true;
    registrations_.push_back(ctx_.notchSources().addNotificationSource(kind, *this));
}

void TestSource::notify(Notch::Notification kind, double duration, double dismissAfter) {
    own(kind);
    ctx_.notch().setNotification(true, kind, duration, dismissAfter);
}

void TestSource::allow(Notch::Notification kind, bool allowed) {
    own(kind);
    allowed_[kind] = allowed;
}

void TestSource::activity(Notch::LiveActivity kind, bool wants) {
    if (kind == Notch::LiveActivity::none) return;
    auto [it, fresh] = wants_.try_emplace(kind);
    if (fresh) registrations_.push_back(ctx_.notchSources().addLiveActivitySource(kind, it->second));
    it->second.wants = wants;
    Notch& notch = ctx_.notch();
    if (wants)
        notch.setLiveActivity(true, kind, false, {}, 0.35);
    else if (notch.hasLiveActivity && notch.liveActivity.get() == kind)
        notch.setLiveActivity(false, Notch::LiveActivity::none, false, {}, 0.35);
}

}  // namespace halvyn
