#pragma once
// Location fixes from GeoClue2 on the system bus: one client of the manager, started for a fix
// and stopped once it came. Authorization is what GeoClue's agent answers: a started client
// means authorized, a refused start means denied; until the first answer it is not determined.

#include <QDBusConnection>
#include <QObject>
#include <QString>

#include <map>
#include <memory>

#include "platform/location.h"
#include "runtime/logger.h"

namespace halvyn {

class DBusRelay;

class GeoClueLocation final : public Location {
public:
    // How long a started client may look for a fix before it is stopped again.
    static constexpr int kFixWindowMs = 30000;
    static constexpr int kCallTimeoutMs = 5000;

    // Asks GeoClue once right away, so that the authorization is known before the first request.
    GeoClueLocation(QDBusConnection system, Logger log, QString desktopId = QStringLiteral("app.halvyn.Halvyn"));
    ~GeoClueLocation() override;
    GeoClueLocation(const GeoClueLocation&) = delete;
    GeoClueLocation& operator=(const GeoClueLocation&) = delete;

    // GeoClue runs on the bus or the bus can start it.
    static bool available(QDBusConnection& system);

    bool servicesEnabled() const override { return true; }
    LocationAuthorization authorizationStatus() const override { return status_; }
    void requestLocation() override;
    Subscription observe(LocationCallbacks callbacks) override;

private:
    void withClient();
    void start();
    void stop();
    void fixArrived(const QString& path);
    void failed(const QString& error);
    void setStatus(LocationAuthorization status);

    QDBusConnection bus_;
    Logger log_;
    QString desktopId_;
    QObject context_;  // owns the pending calls and timers; their answers die with it
    QString client_;
    bool running_ = false;
    bool asking_ = false;
    int generation_ = 0;
    LocationAuthorization status_ = LocationAuthorization::notDetermined;
    std::unique_ptr<DBusRelay> relay_;
    std::shared_ptr<std::map<int, LocationCallbacks>> observers_ = std::make_shared<std::map<int, LocationCallbacks>>();
    int nextObserver_ = 0;
};

}  // namespace halvyn
