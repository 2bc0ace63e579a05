#include "platform/linux/geoclue_location.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QTimer>

#include <algorithm>
#include <cmath>

#include "platform/linux/dbus_object.h"

namespace halvyn {

namespace {

const QString kService = QStringLiteral("org.freedesktop.GeoClue2");
const QString kManager = QStringLiteral("/org/freedesktop/GeoClue2/Manager");
const QString kManagerInterface = QStringLiteral("org.freedesktop.GeoClue2.Manager");
const QString kClientInterface = QStringLiteral("org.freedesktop.GeoClue2.Client");
const QString kLocationInterface = QStringLiteral("org.freedesktop.GeoClue2.Location");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");
// City level: enough for the weather, and no more of the user's whereabouts than that.
constexpr uint kAccuracyCity = 4;
constexpr uint kDistanceThresholdMetres = 1000;
// GeoClue's "unknown altitude".
constexpr double kUnknownAltitude = -1.7976931348623157e308;

}  // namespace

GeoClueLocation::GeoClueLocation(QDBusConnection system, Logger log, QString desktopId)
    : bus_(std::move(system)), log_(std::move(log)), desktopId_(std::move(desktopId)) {
    relay_ = std::make_unique<DBusRelay>([this](const QDBusMessage& m) {
        const auto args = m.arguments();
        if (args.size() == 2 && running_) fixArrived(args[1].value<QDBusObjectPath>().path());
    });
    watcher_ = std::make_unique<QDBusServiceWatcher>(kService, bus_, QDBusServiceWatcher::WatchForOwnerChange);
    QObject::connect(watcher_.get(), &QDBusServiceWatcher::serviceOwnerChanged, &context_,
                     [this](const QString&, const QString& was, const QString& is) {
                         ownerChanged(!was.isEmpty(), !is.isEmpty());
                     });
    requestLocation();
}

GeoClueLocation::~GeoClueLocation() {
    if (running_) stop();
}

// GeoClue leaves the bus when idle and is started again by the next request; a client and the
// answers on their way go with the process that made them. A GeoClue that appears while the
// authorization is still unknown (missing or late at start) is asked at once.
void GeoClueLocation::ownerChanged(bool wasThere, bool isThere) {
    if (wasThere) {
        ++owner_;
        ++generation_;
        client_.clear();
        running_ = asking_ = false;
        retryMs_ = 0;
        if (!isThere) log_.info("GeoClue left the bus; a new client is asked for when a location is wanted");
    }
    if (isThere && status_ == LocationAuthorization::notDetermined) requestLocation();
}

// Asks again later when GeoClue holds its name but does not answer: after 1, 2, 4 ... 30 s.
void GeoClueLocation::retryLater() {
    retryMs_ = retryMs_ == 0 ? 1000 : std::min(retryMs_ * 2, 30000);
    QTimer::singleShot(retryMs_, &context_, [this, owner = owner_] {
        if (owner == owner_) requestLocation();
    });
}

Subscription GeoClueLocation::observe(LocationCallbacks callbacks) {
    const int id = ++nextObserver_;
    (*observers_)[id] = std::move(callbacks);
    std::weak_ptr<std::map<int, LocationCallbacks>> weak = observers_;
    return Subscription([weak, id] {
        if (auto o = weak.lock()) o->erase(id);
    });
}

void GeoClueLocation::setStatus(LocationAuthorization status) {
    if (status == status_) return;
    status_ = status;
    auto observers = *observers_;
    for (auto& [id, o] : observers)
        if (observers_->count(id) && o.didChangeAuthorization) o.didChangeAuthorization();
}

void GeoClueLocation::failed(const QDBusError& error) { failed(error.message(), error.type()); }

void GeoClueLocation::failed(const QString& error, QDBusError::ErrorType type) {
    // A missing GeoClue is said once, however often the weather asks; it is watched for.
    if (type == QDBusError::ServiceUnknown) {
        if (!saidAbsent_) log_.info("No GeoClue on the system bus (%{public}s); location absent until it starts", error.toStdString());
        saidAbsent_ = true;
    } else {
        log_.error("GeoClue: %{public}s", error.toStdString());
    }
    auto observers = *observers_;
    for (auto& [id, o] : observers)
        if (observers_->count(id) && o.didFail) o.didFail(error.toStdString());
}

void GeoClueLocation::requestLocation() {
    if (running_ || asking_) return;  // the fix on its way answers this request too
    asking_ = true;
    if (client_.isEmpty()) withClient();
    else start();
}

void GeoClueLocation::withClient() {
    auto call = QDBusMessage::createMethodCall(kService, kManager, kManagerInterface, QStringLiteral("GetClient"));
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call, kCallTimeoutMs), &context_);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, &context_, [this, owner = owner_](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        if (owner != owner_) return;
        QDBusPendingReply<QDBusObjectPath> reply = *w;
        if (reply.isError()) {
            asking_ = false;
            if (reply.error().type() == QDBusError::AccessDenied) setStatus(LocationAuthorization::denied);
            if (noAnswer(w->reply())) retryLater();
            return failed(reply.error());
        }
        saidAbsent_ = false;
        retryMs_ = 0;
        client_ = reply.value().path();
        relay_->listen(bus_, kService, client_, kClientInterface, QStringLiteral("LocationUpdated"));
        auto set = [this](const char* name, const QVariant& value) {
            auto m = QDBusMessage::createMethodCall(kService, client_, kProperties, QStringLiteral("Set"));
            m << kClientInterface << QString::fromLatin1(name) << QVariant::fromValue(QDBusVariant(value));
            bus_.asyncCall(m, kCallTimeoutMs);  // the service handles them in order, before Start
        };
        set("DesktopId", desktopId_);
        set("DistanceThreshold", QVariant::fromValue(kDistanceThresholdMetres));
        set("RequestedAccuracyLevel", QVariant::fromValue(kAccuracyCity));
        start();
    });
}

void GeoClueLocation::start() {
    auto call = QDBusMessage::createMethodCall(kService, client_, kClientInterface, QStringLiteral("Start"));
    running_ = true;
    const int generation = ++generation_;
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call, kCallTimeoutMs), &context_);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, &context_,
                     [this, generation, owner = owner_](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        // A GeoClue that went meanwhile took this client with it; the new one is asked anew.
        if (owner != owner_) return;
        asking_ = false;
        const QDBusPendingReply<> reply = *w;
        if (!reply.isError()) {
            setStatus(LocationAuthorization::authorizedAlways);
            return;
        }
        if (generation == generation_) running_ = false;
        const QDBusError error = reply.error();
        if (error.type() == QDBusError::AccessDenied) {
            setStatus(LocationAuthorization::denied);
        } else if (error.type() == QDBusError::UnknownObject || error.type() == QDBusError::UnknownMethod) {
            client_.clear();  // GeoClue restarted: the next request asks for a new client
        }
        failed(error);
    });
    // A fix that does not come within the window is given up; the client stops searching.
    QTimer::singleShot(kFixWindowMs, &context_, [this, generation] {
        if (running_ && generation == generation_) stop();
    });
}

void GeoClueLocation::stop() {
    running_ = false;
    ++generation_;
    if (client_.isEmpty()) return;
    auto call = QDBusMessage::createMethodCall(kService, client_, kClientInterface, QStringLiteral("Stop"));
    bus_.asyncCall(call, kCallTimeoutMs);
}

void GeoClueLocation::fixArrived(const QString& path) {
    // A fix means GeoClue let the client start, whether or not Start's answer came yet.
    setStatus(LocationAuthorization::authorizedAlways);
    auto call = QDBusMessage::createMethodCall(kService, path, kProperties, QStringLiteral("GetAll"));
    call << kLocationInterface;
    stop();
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call, kCallTimeoutMs), &context_);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, &context_, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        QDBusPendingReply<QVariantMap> reply = *w;
        if (reply.isError()) return failed(reply.error().message());
        const QVariantMap p = reply.value();
        bool okLat = false, okLon = false;
        const double lat = p.value(QStringLiteral("Latitude")).toDouble(&okLat);
        const double lon = p.value(QStringLiteral("Longitude")).toDouble(&okLon);
        if (!okLat || !okLon || !std::isfinite(lat) || !std::isfinite(lon) || std::fabs(lat) > 90 || std::fabs(lon) > 180)
            return failed(QStringLiteral("GeoClue reported a location without a valid coordinate"));
        double altitude = p.value(QStringLiteral("Altitude")).toDouble();
        if (!std::isfinite(altitude) || altitude <= kUnknownAltitude / 2) altitude = 0;
        const std::vector<GeoLocation> fix{GeoLocation{{lat, lon}, altitude}};
        auto observers = *observers_;
        for (auto& [id, o] : observers)
            if (observers_->count(id) && o.didUpdateLocations) o.didUpdateLocations(fix);
    });
}

}  // namespace halvyn
