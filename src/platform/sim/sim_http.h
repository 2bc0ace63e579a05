#pragma once
// Simulated HTTP. Every request is the effect "http" (method, url, headers). A server is a handler
// chosen by URL prefix (longest first); it answers at once, on a later turn of the main queue, or
// never (the request then fails when its time-out passes). A server given a latency sends its
// answer slowly, finishing only that long after the request, so only the request's deadline cuts
// it short. A request no server claims fails as a refused connection, as does a secure-only
// request to an address that is not.

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "runtime/lifetime.h"
#include "platform/http.h"

namespace halvyn {

class EffectLog;
class MainQueue;
class SimFileSystem;

class SimHttp final : public Http {
public:
    // nullopt: the server never answers.
    using Server = std::function<std::optional<HttpResponse>(const HttpRequest&)>;

    SimHttp(MainQueue& main, EffectLog* effects, SimFileSystem* files);
    ~SimHttp() override;

    void send(const HttpRequest& request, Completion completion) override;
    void download(const HttpRequest& request, const std::string& destination, Completion completion) override;

    // Simulation controls.
    void setServer(const std::string& urlPrefix, Server server);
    void removeServer(const std::string& urlPrefix);
    void setLatency(const std::string& urlPrefix, Duration latency) { latency_[urlPrefix] = latency; }
    int requests() const { return requests_; }

private:
    void handle(const HttpRequest& request, std::optional<std::string> destination, Completion completion);

    MainQueue& main_;
    EffectLog* effects_;
    SimFileSystem* files_;
    std::map<std::string, Server, std::greater<>> servers_;  // longest prefix first among shared ones
    std::map<std::string, Duration> latency_;
    int requests_ = 0;
    Lifetime lifetime_;
};

}  // namespace halvyn
