#pragma once
// Keeping the display awake on a Linux desktop: each power assertion is one idle inhibitor of
// the session — logind's Inhibit("idle", ...) on the system bus, held as long as its file
// descriptor stays open, or, where logind does not answer, the freedesktop screen saver's
// Inhibit/UnInhibit on the session bus.
//
// Assertions are taken without waiting: `create` answers at once and the inhibitor follows when
// the service answers. Both services are followed by their bus names; an inhibitor lost with its
// service is taken again, from the other one meanwhile and from the returning one afterwards,
// for as long as it is wanted.

#include <QDBusConnection>
#include <QObject>

#include <map>
#include <memory>
#include <optional>
#include <string>

#include "platform/power_assertions.h"
#include "runtime/logger.h"

namespace halvyn {

class DBusName;

class IdleInhibitor final : public PowerAssertions {
public:
    // A service that has not answered in this time is asked again.
    static constexpr int kCallTimeoutMs = 5000;

    // `system` or `session` may be disconnected; the inhibitor that needs it is then absent.
    IdleInhibitor(QDBusConnection system, QDBusConnection session, Logger logger);
    ~IdleInhibitor() override;
    IdleInhibitor(const IdleInhibitor&) = delete;
    IdleInhibitor& operator=(const IdleInhibitor&) = delete;

    // Whether logind or the screen saver is on its bus now; nothing until the buses have said.
    std::optional<bool> available() const;

    // kNone only when neither service can be there; otherwise the inhibitor is being taken.
    AssertionID create(const std::string& type, const std::string& reason) override;
    void release(AssertionID id) override;

    // Inhibitors held now (for tests and the log).
    std::size_t heldCount() const;

private:
    enum class By { nothing, logind, screenSaver };
    struct Wanted {
        std::string type, reason;
        By by = By::nothing;      // holds it
        By asking = By::nothing;  // is being asked for it
        unsigned attempt = 0;  // only the latest question's answer counts
        int fd = -1;           // logind's inhibitor
        unsigned cookie = 0;   // the screen saver's
    };

    void take(AssertionID id);
    void ask(AssertionID id, By by);
    void answered(AssertionID id, By by, const QDBusMessage& reply);
    void serviceChanged(By by, bool owned);
    void drop(Wanted& w);
    void unInhibit(unsigned cookie);
    void refused(const std::string& type);

    QDBusConnection system_;
    QDBusConnection session_;
    Logger logger_;
    std::map<AssertionID, Wanted> wanted_;
    AssertionID next_ = 1;
    bool saidRefused_ = false;
    std::unique_ptr<DBusName> logind_, screenSaver_;
    // Goes first: answers still on their way die with it.
    QObject anchor_;
};

}  // namespace halvyn
