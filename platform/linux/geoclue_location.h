#pragma once
// Location fixes from GeoClue2 on the system bus: one client of the manager, started for a fix
// and stopped once it came. Authorization is what GeoClue's agent answers: a started client
// means authorized, a refused start means denied; until the first answer it is not determined.
// GeoClue is followed by name: missing or late at start, it is asked when it appears; gone, its
// client is dropped and the next request asks the new one. No call is waited for.

#include <QDBusConnection>
#include <QDBusError>
#include <QObject>
#include <QString>

#include <map>
#include <memory>

#include "platform/location.h"
#include "runtime/logger.h"

class QDBusServiceWatcher;

namespace halvyn {

class DBusRelay;

class GeoClueLocation final : public Location {
public:
    // How long a started client may look for a fix before it is stopped again.
    static constexpr int kFixWindowMs = 30000;
    static constexpr int kCallTimeoutMs = 5000;

    // Asks GeoClue once right away, so that the authorization is known before the first request;
    // returns at once.
    GeoClueLocation(QDBusConnection system, Logger log, QString desktopId = QStringLiteral("app.halvyn.halvyn"));
    ~GeoClueLocation() override;
    GeoClueLocation(const GeoClueLocation&) = delete;
    GeoClueLocation& operator=(const GeoClueLocation&) = delete;

    bool servicesEnabled() const override { return true; }
    LocationAuthorization authorizationStatus() const override { return status_; }
    void requestLocation() override;
    Subscription observe(LocationCallbacks callbacks) override;

private:
    void withClient();
    void start();
    void stop();
    void fixArrived(const QString& path);
    void ownerChanged(bool wasThere, bool isThere);
    void retryLater();
    void failed(const QDBusError& error);
    void failed(const QString& error, QDBusError::ErrorType type = QDBusError::Other);
    void setStatus(LocationAuthorization status);

    QDBusConnection bus_;
    Logger log_;
    QString desktopId_;
    QObject context_;  // owns the pending calls and timers; their answers die with it
    QString client_;
    bool running_ = false;
    bool asking_ = false;
    int generation_ = 0;
    int owner_ = 0;  // answers from before GeoClue last came or went are dropped
    int retryMs_ = 0;
    bool saidAbsent_ = false;
    LocationAuthorization status_ = LocationAuthorization::notDetermined;
    std::unique_ptr<DBusRelay> relay_;
    std::unique_ptr<QDBusServiceWatcher> watcher_;
    std::shared_ptr<std::map<int, LocationCallbacks>> observers_ = std::make_shared<std::map<int, LocationCallbacks>>();
    int nextObserver_ = 0;
};

}  // namespace halvyn
