#pragma once
// HTTP on Qt Network. Requests run in the event loop without blocking it; each completion runs
// once, on the main thread. A request gives up after its time-out without data, at its deadline
// however steadily data comes, after a bounded number of redirects, or as soon as its body grows
// beyond its limit. Redirects go only to http and https, never from https down to plain http, and
// for a secure-only request only where the request itself may go.

#include <memory>

#include "platform/http.h"

class QNetworkAccessManager;

namespace halvyn {

class QtHttp final : public Http {
public:
    static constexpr int kMaxRedirects = 10;

    QtHttp();
    ~QtHttp() override;

    void send(const HttpRequest& request, Completion completion) override;
    void download(const HttpRequest& request, const std::string& destination, Completion completion) override;

private:
    void start(const HttpRequest& request, const std::string* destination, Completion completion);
    QNetworkAccessManager& manager();

    std::unique_ptr<QNetworkAccessManager> manager_;
};

}  // namespace halvyn
