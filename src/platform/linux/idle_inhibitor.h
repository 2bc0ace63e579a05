#pragma once
// Keeping the display awake on a Linux desktop: each power assertion is one idle inhibitor of
// the session — logind's Inhibit("idle", ...) on the system bus, held as long as its file
// descriptor stays open, or, where logind does not answer, the freedesktop screen saver's
// Inhibit/UnInhibit on the session bus.

#include <QDBusConnection>

#include <map>
#include <string>

#include "platform/power_assertions.h"
#include "runtime/logger.h"

namespace halvyn {

class IdleInhibitor final : public PowerAssertions {
public:
    // `system` or `session` may be disconnected; the inhibitor that needs it is then absent.
    IdleInhibitor(QDBusConnection system, QDBusConnection session, Logger logger);
    ~IdleInhibitor() override;
    IdleInhibitor(const IdleInhibitor&) = delete;
    IdleInhibitor& operator=(const IdleInhibitor&) = delete;

    // Whether logind or the screen saver is on its bus now.
    bool available() const;

    AssertionID create(const std::string& type, const std::string& reason) override;
    void release(AssertionID id) override;

    // Inhibitors held now (for tests and the log).
    std::size_t heldCount() const { return held_.size(); }

private:
    struct Held {
        int fd = -1;               // logind's inhibitor
        unsigned cookie = 0;       // the screen saver's
        bool screenSaver = false;
    };

    bool inhibitWithLogind(const std::string& reason, Held& held);
    bool inhibitWithScreenSaver(const std::string& reason, Held& held);

    QDBusConnection system_;
    QDBusConnection session_;
    Logger logger_;
    std::map<AssertionID, Held> held_;
    AssertionID next_ = 1;
    bool saidRefused_ = false;
};

}  // namespace halvyn
