#include "platform/sim/sim_http.h"

#include <algorithm>

#include "platform/sim/effect_log.h"
#include "platform/sim/sim_file_system.h"
#include "runtime/main_queue.h"
#include "updates/release.h"

namespace halvyn {

SimHttp::SimHttp(MainQueue& main, EffectLog* effects, SimFileSystem* files)
    : main_(main), effects_(effects), files_(files) {}

SimHttp::~SimHttp() { lifetime_.end(); }

void SimHttp::setServer(const std::string& urlPrefix, Server server) { servers_[urlPrefix] = std::move(server); }

void SimHttp::removeServer(const std::string& urlPrefix) { servers_.erase(urlPrefix); }

void SimHttp::send(const HttpRequest& request, Completion completion) {
    handle(request, std::nullopt, std::move(completion));
}

void SimHttp::download(const HttpRequest& request, const std::string& destination, Completion completion) {
    handle(request, destination, std::move(completion));
}

void SimHttp::handle(const HttpRequest& request, std::optional<std::string> destination, Completion completion) {
    ++requests_;
    if (effects_) {
        Value::Object headers;
        for (auto& [name, value] : request.headers) headers.emplace_back(name, Value(value));
        effects_->record("http", {{"method", Value(request.method)},
                                  {"url", Value(request.url)},
                                  {"headers", Value(std::move(headers))}});
    }
    std::optional<HttpResponse> answer = HttpResponse{0, {}, {}, "Could not connect to the server."};
    Duration latency{};
    // Keys sort in descending order, so the first prefix that matches is the longest one.
    for (auto& [prefix, server] : servers_) {
        if (request.secureOnly && !isSecureUpdateURL(request.url)) break;
        if (request.url.compare(0, prefix.size(), prefix) == 0) {
            answer = server(request);
            if (auto l = latency_.find(prefix); l != latency_.end()) latency = l->second;
            break;
        }
    }
    const Lifetime::Token alive = lifetime_.token();
    if (!answer || latency >= request.deadline) {
        // Silence ends at the time-out; a slow answer at the deadline.
        const bool silent = !answer;
        const Duration after = silent ? std::min(request.timeout, request.deadline) : request.deadline;
        const char* why = silent && request.timeout <= request.deadline ? "The request timed out."
                                                                        : "The request took too long.";
        main_.postAfter(after, [alive, why, completion = std::move(completion)] {
            if (alive) completion(HttpResponse{0, {}, {}, why});
        });
        return;
    }
    HttpResponse response = std::move(*answer);
    if (response.error.empty() && response.body.size() > request.maxBodyBytes)
        response = HttpResponse{response.status, {}, {}, "The response is too large."};
    if (destination && response.ok() && files_) {
        if (auto written = files_->writeFile(*destination, response.body); !written.ok)
            response = HttpResponse{response.status, response.headers, {}, written.error};
        response.body.clear();
    } else if (destination) {
        response.body.clear();
    }
    auto deliver = [alive, completion = std::move(completion), response = std::move(response)]() mutable {
        if (alive) completion(std::move(response));
    };
    if (latency > Duration{}) main_.postAfter(latency, std::move(deliver));
    else main_.post(std::move(deliver));
}

}  // namespace halvyn
